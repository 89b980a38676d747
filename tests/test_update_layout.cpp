// The main window's numbers: size class, scaled places, font sizes, font families, the result
// message and the /emulate: option.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "app/emulate_option.h"
#include "app/result_message.h"
#include "app/update_layout.h"

namespace {

TEST(UpdateLayout, SizeClassByDesktop) {
  struct Case {
    int width, height;
    bool full;
  };
  const Case cases[] = {{1920, 1080, false}, {1366, 768, false}, {1600, 900, false},
                        {2560, 1440, true},  {1920, 1200, true}, {1921, 1080, true},
                        {1920, 1081, true},  {0, 0, false}};
  for (const Case& c : cases)
    EXPECT_EQ(LayoutFullScale(c.width, c.height), c.full) << c.width << "x" << c.height;
}

TEST(UpdateLayout, HalfScaleTruncatesEachValue) {
  const LayoutRect icon = LayoutScaled(LAYOUT_CAUTION_ICON, 0.5);
  EXPECT_EQ(icon.width, 24);
  EXPECT_EQ(icon.height, 21);
  EXPECT_EQ(icon.x, 35);
  EXPECT_EQ(LayoutScaled(LAYOUT_UPDATE, 0.5).y, 554);
  const LayoutRect full = LayoutScaled(LAYOUT_VERSION, 1.0);
  EXPECT_EQ(full.x + full.width, 1624);  // past the 1560-pixel background, cut at its edge
}

TEST(UpdateLayout, MulDivRoundsHalvesAwayFromZero) {
  struct Case {
    int a, b, c, result;
  };
  const Case cases[] = {{24, 96, 72, 32},
                        {12, 96, 72, 16},
                        {20, 120, 72, 33},
                        {10, 120, 72, 17},
                        {3, 1, 2, 2},
                        {-3, 1, 2, -2},
                        {3, -1, 2, -2},
                        {5, 1, 0, -1},
                        {1, 1, 3, 0},
                        {2, 1, 3, 1},
                        {0x7FFFFFFF, 2, 2, 0x7FFFFFFF}};
  for (const Case& c : cases)
    EXPECT_EQ(LayoutMulDiv(c.a, c.b, c.c), c.result) << c.a << "*" << c.b << "/" << c.c;
}

TEST(UpdateLayout, FontPixels) {
  struct Case {
    int points;
    double scale;
    int dpi;
    float pixels;
  };
  const Case cases[] = {{24, 1.0, 96, 32.0f}, {24, 0.5, 96, 16.0f},  {20, 1.0, 96, 27.0f},
                        {20, 0.5, 96, 13.0f}, {20, 1.0, 120, 26.4f}, {24, 1.0, 120, 32.0f},
                        {24, 0.5, 144, 16.0f}};
  for (const Case& c : cases) {
    EXPECT_FLOAT_EQ(LayoutFontPixels(c.points, c.scale, c.dpi), c.pixels)
        << c.points << " pt at " << c.scale << ", " << c.dpi << " dpi";
  }
}

TEST(UpdateLayout, FontFamiliesByLanguage) {
  const std::wstring chinese = L"\u5FAE\u8EDF\u6B63\u9ED1\u9AD4";
  struct Case {
    uint16_t lang;
    std::wstring button;
    int style;
    std::wstring text;
  };
  const Case cases[] = {{0x0C04, chinese, 1, chinese},
                        {0x0804, chinese, 1, chinese},
                        {0x0404, chinese, 1, chinese},
                        {0x0411, L"MS P Gothic", 1, L"MS P Gothic"},
                        {0x0412, L"Segoe WP N Semibold", 0, L"Segoe WP"},
                        {0x0409, L"Segoe WP N Semibold", 0, L"Segoe WP"},
                        // Only the exact Japanese id picks the Japanese family.
                        {0x0811, L"Segoe WP N Semibold", 0, L"Segoe WP"}};
  for (const Case& c : cases) {
    const LayoutFonts fonts = LayoutFontsFor(c.lang);
    EXPECT_EQ(fonts.buttonFamily, c.button) << std::hex << c.lang;
    EXPECT_EQ(fonts.buttonStyle, c.style) << std::hex << c.lang;
    EXPECT_EQ(fonts.textFamily, c.text) << std::hex << c.lang;
  }
}

TEST(ResultMessage, KeyByResult) {
  struct Case {
    UpdateResult result;
    std::wstring key;
  };
  const Case cases[] = {{UR_OK, L"IDS_SUCCESS"},
                        {UR_NO_TBT_SOFTWARE, L"IDS_FIND_NO_SW"},
                        {UR_DOWNGRADE_REFUSED, L"IDS_DOWNGRADE"},
                        {UR_NO_IMAGE, L"IDS_ERROR"},
                        {UR_NO_ACPI_DEVICE, L"IDS_ERROR"},
                        {5, L"IDS_ERROR"}};
  for (const Case& c : cases)
    EXPECT_EQ(ResultMessageKey(c.result), c.key) << std::hex << c.result;
}

std::wstring FormatError(const std::wstring& text, UpdateResult code, size_t capacity) {
  std::vector<wchar_t> out(capacity, L'#');
  ResultErrorFormat(text.c_str(), code, out.data(), capacity);
  return out.data();
}

TEST(ResultMessage, ErrorFormat) {
  EXPECT_EQ(FormatError(L"Failed", 0x10430005, 256), L"Failed (0X10430005)");
  EXPECT_EQ(FormatError(L"Failed", 5, 256), L"Failed (0X00000005)");
  EXPECT_EQ(FormatError(L"", 0xDEADBEEF, 256), L" (0XDEADBEEF)");
}

TEST(ResultMessage, LongErrorTextIsCutAndTheCodeStays) {
  const std::wstring suffix = L" (0X10430006)";
  for (const size_t length : {241u, 242u, 243u, 255u, 300u, 1000u}) {
    const std::wstring text(length, L'e');
    const std::wstring message = FormatError(text, 0x10430006, 256);
    ASSERT_LE(message.size(), 255u) << length;
    ASSERT_GE(message.size(), suffix.size());
    EXPECT_EQ(message.substr(message.size() - suffix.size()), suffix) << length;
    EXPECT_EQ(message.size(), std::min<size_t>(length, 242) + suffix.size()) << length;
  }
}

TEST(ResultMessage, CutKeepsSurrogatePairsWhole) {
  // 241 letters, then a pair whose high half would be the 242nd and last character kept.
  std::wstring text(241, L'e');
  text += static_cast<wchar_t>(0xD83D);
  text += static_cast<wchar_t>(0xDE00);
  text += L"tail";
  const std::wstring message = FormatError(text, 1, 256);
  EXPECT_EQ(message, std::wstring(241, L'e') + L" (0X00000001)");
}

TEST(ResultMessage, CapacityTooSmallForTheCodeGivesEmpty) {
  EXPECT_EQ(FormatError(L"text", 1, 13), L"");
  EXPECT_EQ(FormatError(L"text", 1, 14), L" (0X00000001)");
}

TEST(EmulateOption, FolderOfTheLastOption) {
  struct Case {
    std::vector<const wchar_t*> args;
    std::wstring folder;
  };
  const Case cases[] = {{{}, L""},
                        {{L"/emulate:C:\\nb"}, L"C:\\nb"},
                        {{L"/EMULATE:x"}, L"x"},
                        {{L"/emulate:a", L"/downgradable", L"/Emulate:b"}, L"b"},
                        {{L"/emulate:"}, L""},
                        {{L"/emulate"}, L""},
                        {{L"-emulate:x"}, L""},
                        {{L"/emulatex"}, L""}};
  for (const Case& c : cases) {
    std::vector<const wchar_t*> argv = {L"kelvane.exe"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(ParseEmulateOption(static_cast<int>(argv.size()), argv.data()), c.folder);
  }
}

}  // namespace
