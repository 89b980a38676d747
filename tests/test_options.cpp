// The two command-line options, as the window program and the CLI parse them.
#include "app/options.h"

#include <gtest/gtest.h>

#include <climits>
#include <cwchar>
#include <initializer_list>
#include <vector>

#include "platform/utf8.h"

namespace {

constexpr uint16_t START_LANG = 0x0409;

UpdateOptions Parse(std::initializer_list<const wchar_t*> args) {
  std::vector<const wchar_t*> argv = {L"kelvane.exe"};
  argv.insert(argv.end(), args.begin(), args.end());
  UpdateOptions options;
  options.m_langId = START_LANG;
  EXPECT_EQ(ParseArguments(static_cast<int>(argv.size()), argv.data(), options), 1);
  return options;
}

TEST(ParseArguments, Options) {
  struct Case {
    std::initializer_list<const wchar_t*> args;
    int32_t downgradable;
    uint16_t langId;
  };
  const Case cases[] = {
      {{}, 0, START_LANG},
      {{L"/downgradable"}, 1, START_LANG},
      {{L"/DOWNGRADABLE"}, 1, START_LANG},
      {{L"/DownGradable", L"/downgradable"}, 1, START_LANG},
      {{L"/downgradable=1"}, 0, START_LANG},
      {{L"-downgradable"}, 0, START_LANG},
      {{L"downgradable"}, 0, START_LANG},
      {{L"/downgradabl"}, 0, START_LANG},
      {{L"/lid:411"}, 0, 0x0411},
      {{L"/LID:0x411"}, 0, 0x0411},
      {{L"/Lid:0X804"}, 0, 0x0804},
      {{L"/LID:"}, 0, START_LANG},  // nothing after the colon
      {{L"/LID:zz"}, 0, 0x0000},
      {{L"/LID:10411"}, 0, 0x0411},  // five digits: the low 16 bits
      {{L"/LID:-1"}, 0, 0xFFFF},
      {{L"/LID:404", L"/LID:804"}, 0, 0x0804},
      {{L"/LIDX404"}, 0, START_LANG},
      {{L"/LI:404"}, 0, START_LANG},
      {{L"-LID:404"}, 0, START_LANG},
      {{L"/LID: 411"}, 0, 0x0411},       // blanks before the value
      {{L"/LID:411x"}, 0, 0x0411},       // stops at the first non-digit
      {{L"/LID:123456789"}, 0, 0xFFFF},  // out of range saturates to LONG_MAX
      {{L"/LID:411", L"/downgradable", L"/unknown", L"file.bin"}, 1, 0x0411},
  };
  for (const Case& c : cases) {
    const UpdateOptions options = Parse(c.args);
    std::wstring line;
    for (const wchar_t* a : c.args)
      line += std::wstring(a) + L" ";
    SCOPED_TRACE(Utf8FromWide(line));
    EXPECT_EQ(options.m_downgradable, c.downgradable);
    EXPECT_EQ(options.m_langId, c.langId);
  }
}

TEST(ParseArguments, SkipsTheProgramAndNullEntries) {
  UpdateOptions options;
  const wchar_t* programOnly[] = {L"/downgradable"};
  ParseArguments(1, programOnly, options);
  EXPECT_EQ(options.m_downgradable, 0) << "the first element is the program";
  const wchar_t* withNull[] = {L"kelvane.exe", nullptr, L"/downgradable"};
  ParseArguments(3, withNull, options);
  EXPECT_EQ(options.m_downgradable, 1);
  ParseArguments(0, nullptr, options);
}

TEST(OptionParseHex, BehavesAsWcstolWithA32BitLong) {
  struct Case {
    const wchar_t* text;
    int32_t value;
  };
  const Case cases[] = {
      {L"411", 0x411},
      {L"0x411", 0x411},
      {L"0XfF", 0xFF},
      {L"  \t+1a", 0x1A},
      {L"-0x10", -0x10},
      {L"", 0},
      {L"0x", 0},
      {L"0xg", 0},
      {L"-", 0},
      {L"zz", 0},
      {L"7FFFFFFF", INT32_MAX},
      {L"80000000", INT32_MAX},
      {L"-80000000", INT32_MIN},
      {L"-80000001", INT32_MIN},
      {L"123456789abcdef", INT32_MAX},
      {L"00000000000411", 0x411},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OptionParseHex(c.text), c.value) << "case " << (&c - cases);
#ifdef _WIN32
    // Where long is 32 bits, the C library's own wcstol is the reference.
    EXPECT_EQ(OptionParseHex(c.text), std::wcstol(c.text, nullptr, 16)) << "case " << (&c - cases);
#endif
  }
}

}  // namespace
