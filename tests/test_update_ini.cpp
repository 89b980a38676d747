// The shipped language file, read as the window reads it (the copy beside this program), and
// the CLI's text subcommand over it.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/lang_strings.h"
#include "cli/text_command.h"
#include "platform/platform.h"
#include "platform/utf8.h"
#include "tests/support/profile_fixture.h"

namespace {

struct Language {
  uint16_t langId;
  const wchar_t* section;
};

const Language SHIPPED[] = {
    {0x0409, L"English"},
    {0x0404, L"ChineseTraditional"},
    {0x0804, L"ChineseSimplified"},
    {0x0411, L"Japanese"},
    {0x0412, L"Korean"},
    {0x0416, L"PortugueseBrazil"},
    {0x0816, L"PortuguesePortugal"},
    {0x0407, L"German"},
    {0x040C, L"French"},
    {0x040A, L"Spanish"},
    {0x0410, L"Italian"},
    {0x0C04, L"ChineseTraditional"},
    {0x7C04, L"ChineseTraditional"},
    {0x0004, L"ChineseSimplified"},
};

// Buffer sizes of the window: 512 for the layout texts, 256 for the results, and the error
// text still needs room for " (0X%08X)" behind it.
struct Key {
  const wchar_t* name;
  size_t maxLength;
};
const Key KEYS[] = {
    {L"IDS_UPDATE", 511},     {L"IDS_EXIT", 511},        {L"IDS_PROMPT", 511},
    {L"IDS_CAUTION", 511},    {L"IDS_SHUTDOWN", 511},    {L"IDS_SHUTDOWN_LATER", 511},
    {L"IDS_SUCCESS", 255},    {L"IDS_FIND_NO_SW", 255},  {L"IDS_DOWNGRADE", 255},
    {L"IDS_ERROR", 255 - 13}, {L"IDS_FIND_NO_QVR", 255},
};

std::wstring EntryName(uint16_t langId) {
  std::wostringstream name;
  name << L"0x" << std::uppercase << std::hex << langId;
  return name.str();
}

std::wstring Text(uint16_t langId, const wchar_t* key) {
  std::vector<wchar_t> out(1024);
  LoadLangString(langId, key, out.data(), static_cast<uint32_t>(out.size()));
  return out.data();
}

TEST(UpdateIni, IsTheUtf16FormOfItsReadableSource) {
  std::vector<uint8_t> shipped, source;
  ASSERT_EQ(PlatformSystem().ReadWholeFile(PlatformDataFolder() + L"\\Update.ini", shipped),
            FileReadStatus::Ok);
  ASSERT_EQ(PlatformSystem().ReadWholeFile(PlatformDataFolder() + L"\\Update.ini.txt", source),
            FileReadStatus::Ok);
  std::string crlf;
  for (uint8_t b : source) {
    if (b == '\r')
      continue;
    if (b == '\n')
      crlf += '\r';
    crlf += static_cast<char>(b);
  }
  EXPECT_TRUE(shipped == Utf16LeWithBom(crlf)) << "run tools/make-update-ini";
}

TEST(UpdateIni, EveryLanguageHasEveryTextInItsOwnSection) {
  const std::wstring path = PlatformDataFolder() + L"\\Update.ini";
  for (const Language& language : SHIPPED) {
    SCOPED_TRACE(Utf8FromWide(language.section));
    wchar_t section[30] = {};
    const std::wstring name = EntryName(MapLanguageId(language.langId));
    PlatformSystem().ReadProfileString(L"Language", name.c_str(), L"", section, 30, path.c_str());
    EXPECT_STREQ(section, language.section);
    for (const Key& key : KEYS) {
      const std::wstring text = Text(language.langId, key.name);
      EXPECT_FALSE(text.empty()) << Utf8FromWide(key.name);
      EXPECT_LE(text.size(), key.maxLength) << Utf8FromWide(key.name);
      if (language.langId != 0x0409 && std::wstring_view(key.name) == L"IDS_PROMPT") {
        EXPECT_NE(text, Text(0x0409, key.name)) << "left untranslated";
      }
    }
  }
}

TEST(CliText, PrintsTheWindowTextAsUtf8) {
  std::ostringstream out, err;
  const std::vector<std::wstring> args = {L"IDS_PROMPT", L"--lid", L"411"};
  EXPECT_EQ(CliText(args, out, err), CLI_TEXT_OK);
  EXPECT_EQ(out.str(), Utf8FromWide(Text(0x0411, L"IDS_PROMPT")) + "\n");
  EXPECT_NE(out.str().find("アップデート"), std::string::npos);
  EXPECT_EQ(err.str(), "");
}

TEST(CliText, ReadsTheFolderDataNamesAndCutsAsTheWindowDoes) {
  CScratchFolder folder;
  const std::string longText(300, 'x');
  folder.Write("Update.ini", Utf16LeWithBom("[Language]\r\n0x409=E\r\n[E]\r\nIDS_EXIT=Quit\r\n"
                                            "IDS_SUCCESS=" +
                                            longText + "\r\n"));
  std::ostringstream out, err;
  const std::vector<std::wstring> exitArgs = {L"--data", folder.Path(), L"IDS_EXIT", L"--lid",
                                              L"0x0C09"};
  EXPECT_EQ(CliText(exitArgs, out, err), CLI_TEXT_OK);
  EXPECT_EQ(out.str(), "Quit\n");
  out.str("");
  const std::vector<std::wstring> successArgs = {L"IDS_SUCCESS", L"--lid", L"409", L"--data",
                                                 folder.Path()};
  EXPECT_EQ(CliText(successArgs, out, err), CLI_TEXT_OK);
  EXPECT_EQ(out.str(), std::string(255, 'x') + "\n") << "result texts have 256 characters";
  PlatformSetDataFolder(L"");
}

TEST(CliText, ReportsUsageErrorsAndMissingTexts) {
  struct Case {
    std::vector<std::wstring> args;
    int status;
  };
  const Case cases[] = {
      {{}, CLI_TEXT_USAGE},
      {{L"IDS_EXIT", L"--lid"}, CLI_TEXT_USAGE},
      {{L"IDS_EXIT", L"--lid", L"zz"}, CLI_TEXT_USAGE},
      {{L"IDS_EXIT", L"--lid", L"10411"}, CLI_TEXT_USAGE},
      {{L"IDS_EXIT", L"--lid", L""}, CLI_TEXT_USAGE},
      {{L"IDS_EXIT", L"--data"}, CLI_TEXT_USAGE},
      {{L"IDS_EXIT", L"--verbose"}, CLI_TEXT_USAGE},
      {{L"IDS_EXIT", L"IDS_UPDATE"}, CLI_TEXT_USAGE},
      {{L"IDS_NO_SUCH_TEXT", L"--lid", L"411"}, CLI_TEXT_NOT_FOUND},
  };
  for (const Case& c : cases) {
    std::ostringstream out, err;
    EXPECT_EQ(CliText(c.args, out, err), c.status) << "case " << (&c - cases);
    EXPECT_EQ(out.str(), "") << "case " << (&c - cases);
    EXPECT_NE(err.str(), "") << "case " << (&c - cases);
  }
}

}  // namespace
