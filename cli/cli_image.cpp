#include "cli/cli_image.h"

#include <cstdio>
#include <vector>

#include "emulator/emulated_controller.h"
#include "emulator/nvm_image_builder.h"
#include "engine/compatibility_check.h"
#include "platform/platform.h"
#include "platform/utf8.h"

namespace {

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

// Little-endian, or nothing when the bytes lie outside the image.
std::optional<uint32_t> ImageValue(const std::vector<uint8_t>& image, uint64_t at,
                                   uint32_t length) {
  if (at + length > image.size())
    return std::nullopt;
  uint32_t value = 0;
  for (uint32_t i = 0; i < length; ++i)
    value |= uint32_t{image[at + i]} << (8 * i);
  return value;
}

std::optional<uint32_t> RowBase(const NvmLayout& layout, int32_t selector) {
  switch (selector) {
    case NVM_BASE_MAIN:
      return layout.base;
    case NVM_BASE_EXT:
      if (layout.hasExtBase)
        return layout.extBase;
      break;
    case NVM_BASE_BLOCK:
      if (layout.hasBlockBase)
        return layout.blockBase;
      break;
  }
  return std::nullopt;
}

struct CFieldLine {
  std::string label;
  std::optional<uint64_t> offset;
  std::optional<uint32_t> value;
  uint32_t length;
  bool variant0Only;
};

std::vector<CFieldLine> CheckFields(const std::vector<uint8_t>& image, const NvmLayout& layout) {
  std::vector<CFieldLine> fields;
  for (const NvmCheckEntry& row : g_nvmCheckTable) {
    if (row.family != layout.family)
      continue;
    CFieldLine line{Utf8FromWide(row.label), std::nullopt, std::nullopt, row.fieldLength,
                    row.anyVariant == 0};
    if (const auto base = RowBase(layout, row.baseSelector)) {
      line.offset = uint64_t{*base} + row.fieldOffset;
      line.value = ImageValue(image, *line.offset, row.fieldLength);
    }
    fields.push_back(line);
  }
  return fields;
}

std::string FieldText(const CFieldLine& f) {
  char text[160];
  std::snprintf(text, sizeof text, "  %-20s %-10s %s%s\n", f.label.c_str(),
                f.offset ? Hex(static_cast<uint32_t>(*f.offset)).c_str() : "-",
                f.value ? Hex(*f.value).c_str() : "outside the image",
                f.variant0Only ? "  (variant 0 only)" : "");
  return text;
}

std::string FieldJson(const CFieldLine& f) {
  return "{\"label\":" + JsonString(f.label) +
         ",\"offset\":" + (f.offset ? std::to_string(*f.offset) : "null") +
         ",\"length\":" + std::to_string(f.length) +
         ",\"value\":" + (f.value ? std::to_string(*f.value) : "null") +
         ",\"variant0Only\":" + (f.variant0Only ? "true" : "false") + "}";
}

void ReportLayout(ICliOutput& output, const CCliOptions& options, const std::vector<uint8_t>& image,
                  UpdateResult result, const NvmLayout& layout) {
  const char* name = UpdateResultName(result);
  const std::string shown = name ? name : "provider";
  const auto deviceId = ImageValue(image, uint64_t{layout.base} + 5, 2);
  const auto level = ImageValue(image, layout.base, 1);
  std::vector<CFieldLine> fields;
  std::string text = "image: " + options.file + " (" + std::to_string(image.size()) + " bytes)\n";
  if (result == UR_OK) {
    fields = CheckFields(image, layout);
    text += "main section at " + Hex(layout.base) + "\ndevice ID " + Hex(deviceId.value_or(0)) +
            ", family " + std::to_string(layout.family) + ", variant " +
            std::to_string(layout.variant) + ", level " + std::to_string(level.value_or(0) & 7) +
            ", version " + Hex(layout.version) + "\n";
    if (layout.hasExtBase)
      text += "extension section at " + Hex(layout.extBase) + "\n";
    if (layout.hasBlockBase)
      text += "after the optional blocks: " + Hex(layout.blockBase) + "\n";
    text += "check-table fields (label, file offset, value):\n";
    for (const CFieldLine& f : fields)
      text += FieldText(f);
  }
  text += "result: " + HexCode(result) + " " + shown + "\n";
  output.Out(text);
  if (!options.json)
    return;
  std::string json = "{\"command\":\"inspect\",\"result\":" + JsonString(HexCode(result)) +
                     ",\"name\":" + JsonString(shown) + ",\"size\":" + std::to_string(image.size());
  if (result == UR_OK) {
    json += ",\"base\":" + std::to_string(layout.base) +
            ",\"deviceId\":" + std::to_string(deviceId.value_or(0)) +
            ",\"family\":" + std::to_string(layout.family) +
            ",\"variant\":" + std::to_string(layout.variant) +
            ",\"level\":" + std::to_string(level.value_or(0) & 7) +
            ",\"version\":" + std::to_string(layout.version) + ",\"fields\":[";
    for (size_t i = 0; i < fields.size(); ++i)
      json += (i ? "," : "") + FieldJson(fields[i]);
    json += "]";
  }
  output.Out(json + "}\n");
}

const char* ReadFailureText(FileReadStatus status) {
  switch (status) {
    case FileReadStatus::Ok:
      break;
    case FileReadStatus::OpenFailed:
      return "cannot be opened (missing, a folder, no permission, or in use)";
    case FileReadStatus::TooLarge:
      return "is 2 GiB or more, too large to be an image";
    case FileReadStatus::NoMemory:
      return "needs more memory than is free";
    case FileReadStatus::ShortRead:
      return "could not be read in full";
  }
  return "cannot be read";
}

}  // namespace

int CliInspect(const CCliOptions& options, ICliOutput& output) {
  std::vector<uint8_t> image;
  const FileReadStatus read = PlatformSystem().ReadWholeFile(WideFromUtf8(options.file), image);
  if (read != FileReadStatus::Ok) {
    const std::string message = options.file + ": " + ReadFailureText(read);
    output.Err("kelvane-cli: " + message + "\n");
    if (options.json) {
      output.Out("{\"command\":\"inspect\",\"result\":null,\"name\":\"unreadable\",\"advice\":" +
                 JsonString(message) + "}\n");
    }
    return CLI_EXIT_UNREADABLE;
  }
  NvmLayout layout;
  const UpdateResult result =
      NvmLayoutFromImage(image.data(), static_cast<uint32_t>(image.size()), &layout);
  ReportLayout(output, options, image, result, layout);
  return result == UR_OK ? CLI_EXIT_OK : CLI_EXIT_FAILED;
}

int CliMakeImage(const CCliOptions& options, ICliOutput& output) {
  CNvmImageBuilder builder(options.deviceId);
  builder.Version(options.version).Level(options.level);
  const NvmHeader header = options.header == "0x1000"   ? NvmHeader::At0x1000
                           : options.header == "erased" ? NvmHeader::Erased
                                                        : NvmHeader::AtZero;
  builder.Header(header, options.base.value_or(header == NvmHeader::AtZero ? 0x100 : 0x1100));
  for (const auto& [flag, count] : options.blocks)
    builder.AddBlock(flag, count);
  const std::vector<uint8_t> image = builder.Build();
  if (!EmuWriteFileAtomically(EmuPathFromUtf8(options.file),
                              std::string(image.begin(), image.end()))) {
    output.Err("kelvane-cli: cannot write " + options.file + "\n");
    return CLI_EXIT_UNREADABLE;
  }
  output.Out("wrote " + options.file + " (" + std::to_string(image.size()) + " bytes, device ID " +
             Hex(options.deviceId) + ", version " + Hex(options.version) + ")\n");
  return CLI_EXIT_OK;
}
