#include "cli/cli_options.h"

#include <cerrno>
#include <cstdlib>

namespace {

// Hexadecimal digits, with or without "0x": "1578" is 0x1578, never decimal 1578.
std::optional<uint32_t> ParseHex(std::string text, uint32_t max) {
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
    text.erase(0, 2);
  if (text.empty() || text.size() > 8 ||
      text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return std::nullopt;
  }
  const unsigned long value = std::strtoul(text.c_str(), nullptr, 16);
  if (value > max)
    return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::optional<uint32_t> ParseNumber(const std::string& text, uint32_t max) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
    return std::nullopt;
  errno = 0;
  char* end = nullptr;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const unsigned long long value = std::strtoull(text.c_str(), &end, hex ? 16 : 10);
  if (errno || *end || value > max)
    return std::nullopt;
  return static_cast<uint32_t>(value);
}

// "0x04:3,0x10:1"
bool ParseBlocks(const std::string& text, std::vector<std::pair<uint8_t, uint16_t>>& blocks) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(',', start);
    if (end == std::string::npos)
      end = text.size();
    const std::string item = text.substr(start, end - start);
    const size_t colon = item.find(':');
    if (colon == std::string::npos)
      return false;
    const auto flag = ParseNumber(item.substr(0, colon), 0xFF);
    const auto count = ParseNumber(item.substr(colon + 1), 0xFFFF);
    if (!flag || !count)
      return false;
    blocks.emplace_back(static_cast<uint8_t>(*flag), static_cast<uint16_t>(*count));
    start = end + 1;
  }
  return true;
}

}  // namespace

const char* CliShortUsage() {
  return R"(Usage:
  kelvane-cli update  [--emulate DIR] [--data DIR] [--downgradable] [--json]
                      [--controller DOMAIN-0]
  kelvane-cli check   [--emulate DIR] [--data DIR] [--downgradable] [--json]
                      [--controller DOMAIN-0]
  kelvane-cli inspect IMAGE [--json]
  kelvane-cli text    KEY [--lid HEX] [--data DIR]
  kelvane-cli make-image FILE --device HEX [--version N] [--level N]
                      [--header zero|0x1000|erased] [--base HEX] [--blocks FLAG:COUNT,...]
  kelvane-cli --help
)";
}

const char* CliUsage() {
  static const std::string usage = std::string(CliShortUsage()) + R"(
Commands:
  update      run one firmware update attempt, as the window's Update button does: switch the
              Thunderbolt platform device on, start the Thunderbolt service, wait 10 s, read
              the controller's version, load the first *.bin image, check that it belongs to
              the controller, refuse an older image, write it, wait 10 s, switch the device off.
              Each step is printed as it begins, with the folder searched, the file taken and
              the entries passed over (a name holding a path separator is never an image).
              On Linux (as root) the kernel's Thunderbolt interface in /sys takes the place
              of the Thunderbolt software: force_power for the platform device,
              nvm_non_active and nvm_authenticate for the write, after which the controller
              restarts and its status and version are read back.
  check       the same attempt without the write: tells whether update would write.
  inspect     parse one image file alone, as the check does: print what it could read (the
              header words, the main section, device ID, family and variant, version, level,
              for family 3 the extension offset and the block chain) and its check-table
              fields, or why the check would refuse it.
  text        print the text the window shows for an IDS_ key (IDS_PROMPT, IDS_ERROR, ...) in
              a language, as the window would cut it, for translators checking Update.ini.
  make-image  write a synthetic image of a device ID's family and variant (for tests, demos
              and emulated notebooks; never for real hardware).

Options:
  --emulate DIR    use the emulated notebook described by DIR/notebook.ini instead of the
                   hardware (the image discovery, the check and the flow run as in production);
                   without --data the image comes from DIR/data when that folder exists
  --controller R   Linux: the host router to use, as the kernel names it (0-0, 1-0, ...),
                   when there is more than one
  --data DIR       take the image (update, check) or Update.ini (text) from DIR instead of
                   the folder "data" beside the program
  --lid HEX        text: the language id, 1 to 4 hex digits (default: the user's language)
  --downgradable   allow an image older than the controller's firmware
  --json           print one JSON object on the last line, whatever the outcome: "result"
                   ("0x%08X", or null when no attempt ran), "name" (the UR_ name, "provider"
                   for the provider's own code, or why no attempt ran), "advice"; update and
                   check add "imageFolder", "image", "imageEntries" and "noImage" (why no image)
  --device HEX     make-image: the device ID in hexadecimal, with or without 0x (1578 is
                   0x1578; listed: 147E, 156B, 156D, 1576, 1578; family 0: 1567, 1569)
  --version N      make-image: the image version byte (default 0)
  --level N        make-image: the level byte at the start of the main section (default 0)
  --header KIND    make-image: where the header names the main section: the word at 0
                   (zero), the word at 0x1000 (0x1000), or 0x1000 behind erased flash (erased)
  --base HEX       make-image: the file offset of the main section, hexadecimal
  --blocks LIST    make-image: optional blocks of family 3, as flag bit:dword count pairs

Exit status:
  0  success: the image was written (update), would be written (check), the image was parsed
     (inspect) or written (make-image), the text was printed (text)
  1  the attempt ended with a result other than UR_OK (a refusal, or an error of the
     Thunderbolt software), the image does not parse, or there is no text for the key
  2  the command line is not valid
  3  refused before the attempt: the notebook runs on battery power
  4  refused before the attempt: the ACPI control device cannot be opened (UR_NO_ACPI_DEVICE)
  5  the emulated notebook folder or the named file cannot be read or written
  6  refused: another update attempt is running on this notebook (UR_ATTEMPT_RUNNING);
     nothing was switched, checked or written
)";
  return usage.c_str();
}

namespace {

// One option of a command; false when the argument or its value is not valid there.
bool TakeOption(const std::vector<std::string>& args, size_t& i, CCliOptions& options,
                bool& haveDevice) {
  const std::string& arg = args[i];
  const bool attempt =
      options.command == CliCommand::Update || options.command == CliCommand::Check;
  const bool make = options.command == CliCommand::MakeImage;
  const std::string* next = i + 1 < args.size() ? &args[i + 1] : nullptr;
  auto number = [&](uint32_t max) -> std::optional<uint32_t> {
    if (!next)
      return std::nullopt;
    ++i;
    return ParseNumber(*next, max);
  };
  auto hex = [&](uint32_t max) -> std::optional<uint32_t> {
    if (!next)
      return std::nullopt;
    ++i;
    return ParseHex(*next, max);
  };

  if (arg == "--json" && !make) {
    options.json = true;
  } else if (attempt && arg == "--downgradable") {
    options.downgradable = true;
  } else if (attempt && (arg == "--emulate" || arg == "--data" || arg == "--controller")) {
    // "--data --json" lacks its folder; it does not name one called "--json".
    if (!next || next->empty() || next->starts_with("--"))
      return false;
    (arg == "--emulate" ? options.emulate
     : arg == "--data"  ? options.data
                        : options.controller) = *next;
    ++i;
  } else if (make && arg == "--device") {
    const auto v = hex(0xFFFF);
    if (!v)
      return false;
    options.deviceId = static_cast<uint16_t>(*v);
    haveDevice = true;
  } else if (make && (arg == "--version" || arg == "--level")) {
    const auto v = number(0xFF);
    if (!v)
      return false;
    (arg == "--version" ? options.version : options.level) = static_cast<uint8_t>(*v);
  } else if (make && arg == "--base") {
    const auto v = hex(0xFFFF);
    if (!v || *v == 0)
      return false;
    options.base = static_cast<uint16_t>(*v);
  } else if (make && arg == "--header") {
    if (!next || (*next != "zero" && *next != "0x1000" && *next != "erased"))
      return false;
    options.header = *next;
    ++i;
  } else if (make && arg == "--blocks") {
    if (!next || !ParseBlocks(*next, options.blocks))
      return false;
    ++i;
  } else if (!attempt && options.file.empty() && !arg.starts_with("--")) {
    options.file = arg;
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool CliParseOptions(const std::vector<std::string>& args, CCliOptions& options,
                     std::string& error) {
  options = CCliOptions{};
  if (args.empty()) {
    error = "no command given";
    return false;
  }
  static const std::pair<const char*, CliCommand> commands[] = {
      {"update", CliCommand::Update},   {"check", CliCommand::Check},
      {"inspect", CliCommand::Inspect}, {"make-image", CliCommand::MakeImage},
      {"--help", CliCommand::Help},     {"-h", CliCommand::Help},
      {"help", CliCommand::Help},
  };
  bool known = false;
  for (const auto& [name, command] : commands) {
    if (args[0] == name) {
      options.command = command;
      known = true;
    }
  }
  if (!known) {
    error = "unknown command \"" + args[0] + "\"";
    return false;
  }
  if (options.command == CliCommand::Help)
    return true;

  bool haveDevice = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      options.command = CliCommand::Help;
      return true;
    }
    const std::string arg = args[i];
    if (!TakeOption(args, i, options, haveDevice)) {
      error = "\"" + arg + "\" is not valid here, or its value is missing or wrong";
      return false;
    }
  }
  const bool needsFile =
      options.command == CliCommand::Inspect || options.command == CliCommand::MakeImage;
  if (needsFile && options.file.empty()) {
    error = "no file named";
    return false;
  }
  if (options.command == CliCommand::MakeImage && !haveDevice) {
    error = "make-image needs --device";
    return false;
  }
  return true;
}
