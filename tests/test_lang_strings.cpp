// Language-id folding and the text lookup, read through the platform's profile reader from a
// small language file in a scratch data folder.
#include "app/lang_strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/utf8.h"
#include "tests/support/profile_fixture.h"

namespace {

TEST(MapLanguageId, FoldsToTheEntryTheFileHas) {
  struct Case {
    uint16_t id;
    uint16_t folded;
  };
  const Case cases[] = {
      {0x0404, 0x0404}, {0x0C04, 0x0404}, {0x1404, 0x0404},  // Taiwan, Hong Kong, Macao
      {0x0804, 0x0804}, {0x1004, 0x0804},                    // PRC, Singapore
      {0x7C04, 0x7C04}, {0x0004, 0x0004},                    // other Chinese ids pass
      {0x0416, 0x0416}, {0x0816, 0x0816}, {0x0016, 0x0016},  // Portuguese keeps its own
      {0x0411, 0x0411}, {0x0809, 0x0409}, {0x0C0A, 0x040A},  // the rest: sublanguage 1
      {0x0000, 0x0400}, {0xFFFF, 0x07FF}, {0x0412, 0x0412},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MapLanguageId(c.id), c.folded) << std::hex << c.id;
  }
}

// A data folder with an Update.ini of the given text, installed for the life of the fixture.
class LangStringsTest : public ::testing::Test {
 protected:
  void UseFile(const std::string& text) {
    m_folder.Write("Update.ini", Utf16LeWithBom(text));
    PlatformSetDataFolder(m_folder.Path());
  }
  void TearDown() override { PlatformSetDataFolder(L""); }

  std::string Load(uint16_t langId, const wchar_t* key, uint32_t capacity = 256) {
    std::vector<wchar_t> out(capacity + 1, L'#');
    LoadLangString(langId, key, out.data(), capacity);
    return Utf8FromWide(out.data());
  }

  CScratchFolder m_folder;
};

const char* const FILE_TEXT =
    "[Language]\r\n"
    "0x409=English\r\n"
    "0x404=ChineseTraditional\r\n"
    "0x804=ChineseSimplified\r\n"
    "0x411=Japanese\r\n"
    "0x416=PortugueseBrazil\r\n"
    "0x816=PortuguesePortugal\r\n"
    "0x40a=Spanish\r\n"
    "0x412=\r\n"
    "0x407=ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789\r\n"
    "0x40C=Missing\r\n"
    "[English]\r\nIDS_UPDATE=Update\r\nIDS_EXIT=Exit\r\n"
    "[ChineseTraditional]\r\nIDS_UPDATE=更新\r\n"
    "[ChineseSimplified]\r\nIDS_UPDATE=更新固件\r\n"
    "[Japanese]\r\nIDS_UPDATE=アップデート\r\n"
    "[PortugueseBrazil]\r\nIDS_UPDATE=Atualizar\r\n"
    "[PortuguesePortugal]\r\nIDS_UPDATE=Actualizar\r\n"
    "[Spanish]\r\nIDS_UPDATE=Actualizar ahora\r\n"
    "[ABCDEFGHIJKLMNOPQRSTUVWXYZ012]\r\nIDS_UPDATE=cut name\r\n"
    "[ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789]\r\nIDS_UPDATE=whole name\r\n";

TEST_F(LangStringsTest, ChoosesTheSectionByFoldedLanguageId) {
  UseFile(FILE_TEXT);
  struct Case {
    uint16_t langId;
    const char* expected;
  };
  const Case cases[] = {
      {0x0409, "Update"},     {0x0C04, "更新"},
      {0x1004, "更新固件"},   {0x0411, "アップデート"},
      {0x0816, "Actualizar"}, {0x0416, "Atualizar"},
      {0x0809, "Update"},     {0x080A, "Actualizar ahora"},  // lower-case "0x40a"
      {0x0000, "Update"},     {0x0412, "Update"},            // no 0x400; an empty entry
      {0x0407, "cut name"},                                  // 29 characters of the name
      {0x0419, "Update"},                                    // no entry at all
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Load(c.langId, L"IDS_UPDATE"), c.expected) << std::hex << c.langId;
  }
}

TEST_F(LangStringsTest, LanguageIdZeroReadsEntry0x400First) {
  UseFile(
      "[Language]\r\n0x400=Neutral\r\n0x409=English\r\n[Neutral]\r\nIDS_EXIT=neutral\r\n"
      "[English]\r\nIDS_EXIT=Exit\r\n");
  EXPECT_EQ(Load(0x0000, L"IDS_EXIT"), "neutral");
}

TEST_F(LangStringsTest, MissingTextsAreEmptyWithoutFallbackToEnglish) {
  UseFile(FILE_TEXT);
  EXPECT_EQ(Load(0x0411, L"IDS_EXIT"), "") << "a missing key stays empty";
  EXPECT_EQ(Load(0x040C, L"IDS_EXIT"), "") << "an entry naming no section";
  UseFile("[Language]\r\n0x411=Japanese\r\n[Japanese]\r\nIDS_EXIT=終了\r\n");
  EXPECT_EQ(Load(0x0407, L"IDS_EXIT"), "") << "neither own entry nor 0x409";
  EXPECT_EQ(Load(0x0411, L"IDS_EXIT"), "終了");
}

TEST_F(LangStringsTest, CutsAtCapacityAndClearsTheWholeBuffer) {
  UseFile(FILE_TEXT);
  std::vector<wchar_t> out(8, L'#');
  LoadLangString(0x0411, L"IDS_UPDATE", out.data(), 5);
  EXPECT_STREQ(out.data(), L"アップデ");
  LoadLangString(0x0411, L"IDS_MISSING", out.data(), 5);
  EXPECT_TRUE(std::all_of(out.begin(), out.begin() + 5, [](wchar_t c) { return c == 0; }));
  EXPECT_EQ(std::wstring(out.begin() + 5, out.end()), L"###") << "nothing past capacity";
}

TEST_F(LangStringsTest, NullArgumentsAndMissingFile) {
  std::vector<wchar_t> out(8, L'#');
  const std::vector<wchar_t> untouched = out;
  UseFile(FILE_TEXT);
  LoadLangString(0x0409, nullptr, out.data(), 8);
  EXPECT_EQ(out, untouched) << "a null key leaves the buffer as it was";
  LoadLangString(0x0409, L"IDS_UPDATE", nullptr, 8);  // must not crash
  LoadLangString(0x0409, L"IDS_UPDATE", out.data(), 0);
  EXPECT_EQ(out, untouched) << "capacity 0 writes nothing";

  PlatformSetDataFolder(m_folder.Path("absent"));
  LoadLangString(0x0409, L"IDS_UPDATE", out.data(), 8);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](wchar_t c) { return c == 0; }))
      << "a missing file leaves all zeros";
}

}  // namespace
