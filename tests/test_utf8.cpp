#include "platform/utf8.h"

#include <gtest/gtest.h>

TEST(Utf8, RoundTripsEveryPlane) {
  const std::wstring wide = L"A\u00e9\u65e5\u672c\U0001F600";
  const std::string utf8 = Utf8FromWide(wide);
  EXPECT_EQ(utf8, "A\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(WideFromUtf8(utf8), wide);
}

TEST(Utf8, MalformedInputBecomesReplacementCharacters) {
  struct Case {
    const char* input;
    std::wstring expected;
  };
  const Case cases[] = {
      {"\xFF", L"\uFFFD"},  // not a lead byte
      {"\xC3", L"\uFFFD"},  // cut short at the end
      {"\xC3"
       "A",
       L"\uFFFD"
       L"A"},                           // cut short by an ASCII byte
      {"\xC0\xAF", L"\uFFFD"},          // overlong
      {"\xED\xA0\x80", L"\uFFFD"},      // an encoded surrogate
      {"\xF4\x90\x80\x80", L"\uFFFD"},  // beyond U+10FFFF
  };
  for (const Case& c : cases)
    EXPECT_EQ(WideFromUtf8(c.input), c.expected) << c.input;
}
