#include "cli/text_command.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "app/lang_strings.h"
#include "platform/platform.h"
#include "platform/utf8.h"

namespace {

// The window reads the layout texts into 512 characters and the result texts into 256.
constexpr uint32_t CLI_TEXT_LAYOUT_CAPACITY = 512;
constexpr uint32_t CLI_TEXT_RESULT_CAPACITY = 256;

uint32_t WindowCapacity(std::wstring_view key) {
  constexpr std::wstring_view resultKeys[] = {L"IDS_SUCCESS", L"IDS_FIND_NO_SW", L"IDS_DOWNGRADE",
                                              L"IDS_ERROR", L"IDS_FIND_NO_QVR"};
  for (std::wstring_view k : resultKeys) {
    if (k == key)
      return CLI_TEXT_RESULT_CAPACITY;
  }
  return CLI_TEXT_LAYOUT_CAPACITY;
}

// One to four hexadecimal digits, with or without "0x": a typo is an error here, not the
// silent 0 the window's /LID: would make of it.
std::optional<uint16_t> ParseLanguageId(std::wstring_view text) {
  if (text.starts_with(L"0x") || text.starts_with(L"0X"))
    text.remove_prefix(2);
  if (text.empty() || text.size() > 4)
    return std::nullopt;
  uint16_t value = 0;
  for (wchar_t c : text) {
    int digit = c >= L'0' && c <= L'9'   ? c - L'0'
                : c >= L'a' && c <= L'f' ? c - L'a' + 10
                : c >= L'A' && c <= L'F' ? c - L'A' + 10
                                         : -1;
    if (digit < 0)
      return std::nullopt;
    value = static_cast<uint16_t>(value * 16 + digit);
  }
  return value;
}

std::string LanguageName(uint16_t langId) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string name = "0x";
  for (int shift = 12; shift >= 0; shift -= 4)
    name += digits[(langId >> shift) & 0xF];
  return name;
}

constexpr char TEXT_USAGE[] = "usage: kelvane-cli text KEY [--lid HEX] [--data DIR]\n";

int Usage(std::ostream& err, std::string_view problem) {
  err << "kelvane-cli text: " << problem << "\n" << TEXT_USAGE;
  return CLI_TEXT_USAGE;
}

int Help(std::ostream& out) {
  out << TEXT_USAGE
      << "Prints the text the window shows for an IDS_ key (IDS_PROMPT, IDS_ERROR, ...) in a\n"
         "language, cut where the window cuts it.\n"
         "  --lid HEX   the language id, 1 to 4 hex digits (default: the user's language)\n"
         "  --data DIR  the folder that holds Update.ini (default: \"data\" beside the program)\n"
         "Exit status: 0 printed, 1 no text for the key in that language (or no language\n"
         "file), 2 the command line is not valid.\n";
  return CLI_TEXT_OK;
}

// Why a key gave no text: the file itself, or the key in that language.
int NoText(std::ostream& err, const std::wstring& key, uint16_t language) {
  const std::wstring path = PlatformDataFolder() + L"\\Update.ini";
  std::vector<uint8_t> bytes;
  if (PlatformSystem().ReadWholeFile(path, bytes) != FileReadStatus::Ok) {
    err << "kelvane-cli text: the language file " << PlatformDisplayPath(path)
        << " is missing or cannot be read\n";
  } else {
    err << "kelvane-cli text: no text for " << Utf8FromWide(key) << " in language "
        << LanguageName(language) << " in " << PlatformDisplayPath(path) << "\n";
  }
  return CLI_TEXT_NOT_FOUND;
}

}  // namespace

int CliText(std::span<const std::wstring> args, std::ostream& out, std::ostream& err) {
  std::optional<std::wstring> key;
  std::optional<uint16_t> langId;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (arg == L"--help" || arg == L"-h")
      return Help(out);
    const bool hasValue = i + 1 < args.size();
    if (arg == L"--lid" || arg == L"--data") {
      if (!hasValue)
        return Usage(err, Utf8FromWide(arg) + " needs a value");
      const std::wstring& value = args[++i];
      if (arg == L"--data") {
        PlatformSetDataFolder(value);
      } else if (!(langId = ParseLanguageId(value))) {
        return Usage(
            err, "--lid takes one to four hexadecimal digits, not \"" + Utf8FromWide(value) + "\"");
      }
    } else if (arg.starts_with(L"--") || key) {
      return Usage(err, "unexpected argument \"" + Utf8FromWide(arg) + "\"");
    } else {
      key = arg;
    }
  }
  if (!key)
    return Usage(err, "which text? Give an IDS_ key such as IDS_PROMPT");

  const uint16_t language = langId.value_or(PlatformSystem().UserUiLanguage());
  std::vector<wchar_t> text(WindowCapacity(*key), L'\0');
  LoadLangString(language, key->c_str(), text.data(), static_cast<uint32_t>(text.size()));
  if (text[0] == 0)
    return NoText(err, *key, language);
  out << Utf8FromWide(text.data()) << "\n";
  return CLI_TEXT_OK;
}
