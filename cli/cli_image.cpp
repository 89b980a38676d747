#include "cli/cli_image.h"

#include <cstdio>
#include <vector>

#include "cli/image_explain.h"
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

template <typename T>
std::string JsonNumber(const std::optional<T>& value) {
  return value ? std::to_string(*value) : "null";
}

std::string HexOr(const std::optional<uint64_t>& value, const char* none) {
  return value ? Hex(static_cast<uint32_t>(*value)) : none;
}

std::string Word(const std::optional<uint16_t>& word) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", word.value_or(0));
  return word ? text : "past the end";
}

std::string ByteHex(uint8_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value);
  return text;
}

std::string HeaderText(const CImageFacts& f) {
  return "header: word at 0x0000 " + Word(f.word0) + ", word at 0x1000 " + Word(f.word1000) + "\n";
}

std::string MainText(const CImageFacts& f) {
  if (!f.base)
    return {};
  std::string text = "main section at " + Hex(*f.base) + " (named by the word at " +
                     (*f.headerAt ? "0x1000" : "0x0000") + ")\n";
  if (!f.version)
    return text;
  text += "device ID " + Hex(*f.deviceId) + ": ";
  if (!f.family)
    text += "not a listed controller\n";
  else
    text += "family " + std::to_string(*f.family) + ", variant " + std::to_string(*f.variant) +
            (*f.family == 0 ? " (a family this tool updates no controller of)\n" : "\n");
  text += "version " + Hex(*f.version) + ", level " + std::to_string(*f.levelByte & 7) + " (byte " +
          ByteHex(*f.levelByte) + ")\n";
  return text;
}

std::string Family3Text(const CImageFacts& f) {
  if (f.family != 3)
    return {};
  std::string text;
  if (f.extOffset) {
    text += "extension offset " + Hex(*f.extOffset) + " at " + Hex(*f.base + 0x10E) +
            ": extension section at " + HexOr(f.extBase, "(past the end)") + "\n";
  }
  if (!f.extBase)
    return text;
  text += "block flags " + ByteHex(*f.blockFlags);
  if (!f.firstBlock)
    return text + ": no optional blocks\n";
  text += ": optional blocks from " + Hex(*f.base + *f.firstBlock) + "\n";
  for (const CBlockFact& b : f.blocks) {
    const std::string count = !b.count        ? "count past the end"
                              : *b.count == 1 ? "1 dword"
                                              : std::to_string(*b.count) + " dwords";
    text += "  block " + ByteHex(b.flag) + " at " + Hex(static_cast<uint32_t>(b.offset)) + ": " +
            count + "\n";
  }
  if (f.blockEnd)
    text += "  chain ends at " + Hex(static_cast<uint32_t>(*f.blockEnd)) + "\n";
  return text;
}

std::string BlocksJson(const CImageFacts& f) {
  std::string json = "[";
  for (size_t i = 0; i < f.blocks.size(); ++i) {
    json += std::string(i ? "," : "") + "{\"flag\":" + std::to_string(f.blocks[i].flag) +
            ",\"offset\":" + std::to_string(f.blocks[i].offset) +
            ",\"count\":" + JsonNumber(f.blocks[i].count) + "}";
  }
  return json + "]";
}

std::string FactsJson(const CImageFacts& f) {
  const std::optional<uint32_t> level =
      f.levelByte && f.version ? std::optional<uint32_t>(*f.levelByte & 7) : std::nullopt;
  return ",\"word0\":" + JsonNumber(f.word0) + ",\"word1000\":" + JsonNumber(f.word1000) +
         ",\"base\":" + JsonNumber(f.base) + ",\"deviceId\":" + JsonNumber(f.deviceId) +
         ",\"family\":" + JsonNumber(f.family) + ",\"variant\":" + JsonNumber(f.variant) +
         ",\"level\":" + JsonNumber(level) + ",\"version\":" + JsonNumber(f.version) +
         ",\"headerAt\":" + JsonNumber(f.headerAt) +
         ",\"listed\":" + (f.family ? "true" : "false") +
         ",\"extensionOffset\":" + JsonNumber(f.extOffset) +
         ",\"extensionBase\":" + JsonNumber(f.extBase) +
         ",\"blockFlags\":" + JsonNumber(f.blockFlags) +
         ",\"firstBlock\":" + JsonNumber(f.firstBlock) + ",\"blocks\":" + BlocksJson(f) +
         ",\"blockEnd\":" + JsonNumber(f.blockEnd) +
         ",\"refusal\":" + (f.refusal.empty() ? "null" : JsonString(f.refusal));
}

// The check's own parse decides; the explanation says what it read and, when refused, why.
void ReportLayout(ICliOutput& output, const CCliOptions& options, const std::vector<uint8_t>& image,
                  UpdateResult result, const NvmLayout& layout) {
  const char* name = UpdateResultName(result);
  const std::string shown = name ? name : "provider";
  CImageFacts facts = ImageExplain(image);
  if (result != UR_OK && facts.refusal.empty())
    facts.refusal = "the image's layout does not parse";
  std::vector<CFieldLine> fields;
  std::string text = "image: " + options.file + " (" + std::to_string(image.size()) + " bytes)\n" +
                     HeaderText(facts) + MainText(facts) + Family3Text(facts);
  if (result == UR_OK) {
    fields = CheckFields(image, layout);
    text += "check-table fields (label, file offset, value):\n";
    for (const CFieldLine& f : fields)
      text += FieldText(f);
  } else {
    text += "refused: " + facts.refusal + "\n";
  }
  text += "result: " + HexCode(result) + " " + shown + "\n";
  output.Out(text);
  if (!options.json)
    return;
  std::string json = "{\"command\":\"inspect\",\"result\":" + JsonString(HexCode(result)) +
                     ",\"name\":" + JsonString(shown) +
                     ",\"size\":" + std::to_string(image.size()) + FactsJson(facts);
  if (result == UR_OK) {
    json += ",\"fields\":[";
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
