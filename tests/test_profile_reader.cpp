// The profile reader's rules, checked against every reader this build has: the platform's own
// (the Windows reader under Wine, ours natively) and, on Windows, ours beside it, so that one
// table shows the two agree.
#include "platform/profile_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/utf8.h"
#include "tests/support/profile_fixture.h"

namespace {

struct Lookup {
  const wchar_t* section;
  const wchar_t* key;
  const wchar_t* fallback;
  uint32_t capacity;
};

struct Outcome {
  std::wstring text;
  uint32_t count;
  bool writesStayedInside;
};

constexpr wchar_t SENTINEL = 0x2591;
constexpr uint32_t SPARE = 4;

Outcome Run(const Lookup& lookup, const std::function<uint32_t(wchar_t*, const Lookup&)>& read) {
  std::vector<wchar_t> buffer(lookup.capacity + SPARE, SENTINEL);
  const uint32_t count = read(buffer.data(), lookup);
  const bool inside = std::all_of(buffer.begin() + lookup.capacity, buffer.end(),
                                  [](wchar_t c) { return c == SENTINEL; });
  return {lookup.capacity ? std::wstring(buffer.data()) : std::wstring(), count, inside};
}

// Each reader's outcome for the lookup in a file of these bytes, by reader name.
std::vector<std::pair<std::string, Outcome>> ReadWithEveryReader(const std::vector<uint8_t>& file,
                                                                 const Lookup& lookup) {
  CScratchFolder folder;
  folder.Write("profile.ini", file);
  const std::wstring path = folder.Path("profile.ini");
  std::vector<std::pair<std::string, Outcome>> outcomes;
  outcomes.emplace_back("platform", Run(lookup, [&](wchar_t* out, const Lookup& l) {
                          return PlatformSystem().ReadProfileString(l.section, l.key, l.fallback,
                                                                    out, l.capacity, path.c_str());
                        }));
#ifdef _WIN32
  outcomes.emplace_back("ours", Run(lookup, [&](wchar_t* out, const Lookup& l) {
                          return ProfileReadFromBytes(file, l.section, l.key, l.fallback, out,
                                                      l.capacity);
                        }));
#endif
  return outcomes;
}

struct ReadCase {
  const char* name;
  std::vector<uint8_t> file;
  Lookup lookup;
  std::wstring expected;
};

void ExpectEveryReader(const ReadCase& c) {
  for (const auto& [reader, outcome] : ReadWithEveryReader(c.file, c.lookup)) {
    SCOPED_TRACE(std::string(c.name) + " with the " + reader + " reader");
    EXPECT_EQ(Utf8FromWide(outcome.text), Utf8FromWide(c.expected));
    EXPECT_EQ(outcome.count, c.expected.size());
    EXPECT_TRUE(outcome.writesStayedInside);
  }
}

const char* const BASIC = "[Strings]\r\nHello=World\r\nEmpty=\r\nBare\r\n";

TEST(ProfileReader, LooksUpNamesAndFallsBackToTheDefault) {
  const ReadCase cases[] = {
      {"plain", BytesOf(BASIC), {L"Strings", L"Hello", L"d", 64}, L"World"},
      {"names in any case", BytesOf(BASIC), {L"sTRINGS", L"HELLO", L"d", 64}, L"World"},
      {"blanks around the asked names",
       BytesOf(BASIC),
       {L" Strings ", L"\tHello ", L"d", 64},
       L"World"},
      {"missing section", BytesOf(BASIC), {L"Other", L"Hello", L"dflt", 64}, L"dflt"},
      {"missing key", BytesOf(BASIC), {L"Strings", L"Bye", L"dflt", 64}, L"dflt"},
      {"null default", BytesOf(BASIC), {L"Strings", L"Bye", nullptr, 64}, L""},
      {"trailing spaces of the default", BytesOf(BASIC), {L"Strings", L"Bye", L" d  ", 64}, L" d"},
      {"an empty value is not missing", BytesOf(BASIC), {L"Strings", L"Empty", L"dflt", 64}, L""},
      {"a bare name without = has no value",
       BytesOf(BASIC),
       {L"Strings", L"Bare", L"dflt", 64},
       L"dflt"},
      {"empty file", {}, {L"Strings", L"Hello", L"dflt", 64}, L"dflt"},
      {"keys before any section belong to none",
       BytesOf("Hello=orphan\n[Strings]\nOther=1\n"),
       {L"Strings", L"Hello", L"dflt", 64},
       L"dflt"},
      {"a bracket line without ] is no header",
       BytesOf("[Strings]\n[Broken\nHello=World\n"),
       {L"Strings", L"Hello", L"d", 64},
       L"World"},
      {"a section without a name cannot be asked for",
       BytesOf("[]\nKey=v\n"),
       {L"", L"Key", L"d", 64},
       L"d"},
      {"carriage returns alone end lines",
       BytesOf("[Strings]\rHello=World\r"),
       {L"Strings", L"Hello", L"d", 64},
       L"World"},
      {"comment lines are not keys",
       BytesOf("[S]\n;Hello=comment\nHello=real\n"),
       {L"S", L"Hello", L"d", 64},
       L"real"},
  };
  for (const ReadCase& c : cases)
    ExpectEveryReader(c);
}

TEST(ProfileReader, MissingFileGivesTheDefault) {
  CScratchFolder folder;
  wchar_t out[16] = {};
  const std::wstring path = folder.Path("absent.ini");
  EXPECT_EQ(PlatformSystem().ReadProfileString(L"S", L"K", L"dflt", out, 16, path.c_str()), 4u);
  EXPECT_STREQ(out, L"dflt");
}

TEST(ProfileReader, TrimsBlanksAndOneLayerOfQuotes) {
  const ReadCase cases[] = {
      {"blanks around key and value",
       BytesOf("[S]\n  Key \t=   two  words \t \r\n"),
       {L"S", L"Key", L"d", 64},
       L"two  words"},
      {"blanks around the section name line",
       BytesOf("  [S]  \nKey=v\n"),
       {L"S", L"Key", L"d", 64},
       L"v"},
      {"blanks inside the brackets", BytesOf("[ S\t]\nKey=v\n"), {L"S", L"Key", L"d", 64}, L"v"},
      {"text after the closing bracket",
       BytesOf("[S] note\nKey=v\n"),
       {L"S", L"Key", L"d", 64},
       L"v"},
      {"blanks inside a key name stay",
       BytesOf("[S]\nMy  Key = v\n"),
       {L"S", L"My  Key", L"d", 64},
       L"v"},
      {"= inside the value", BytesOf("[S]\nKey=a=b\n"), {L"S", L"Key", L"d", 64}, L"a=b"},
      {"double quotes", BytesOf("[S]\nKey=\"quoted\"\n"), {L"S", L"Key", L"d", 64}, L"quoted"},
      {"single quotes", BytesOf("[S]\nKey='single'\n"), {L"S", L"Key", L"d", 64}, L"single"},
      {"blanks inside quotes stay",
       BytesOf("[S]\nKey= \" padded \" \n"),
       {L"S", L"Key", L"d", 64},
       L" padded "},
      {"only one pair goes", BytesOf("[S]\nKey=\"\"x\"\"\n"), {L"S", L"Key", L"d", 64}, L"\"x\""},
      {"empty quotes", BytesOf("[S]\nKey=\"\"\n"), {L"S", L"Key", L"d", 64}, L""},
      {"unbalanced quote stays", BytesOf("[S]\nKey=\"open\n"), {L"S", L"Key", L"d", 64}, L"\"open"},
      {"mixed quotes stay", BytesOf("[S]\nKey=\"mixed'\n"), {L"S", L"Key", L"d", 64}, L"\"mixed'"},
      {"a lone quote stays", BytesOf("[S]\nKey=\"\n"), {L"S", L"Key", L"d", 64}, L"\""},
  };
  for (const ReadCase& c : cases)
    ExpectEveryReader(c);
}

TEST(ProfileReader, FirstOfDuplicatesWins) {
  const ReadCase cases[] = {
      {"duplicate key",
       BytesOf("[S]\nKey=first\nkey=second\n"),
       {L"S", L"Key", L"d", 64},
       L"first"},
      {"duplicate section",
       BytesOf("[S]\nKey=first\n[T]\n[s]\nKey=second\n"),
       {L"S", L"Key", L"d", 64},
       L"first"},
      {"the next section ends the first",
       BytesOf("[S]\nA=1\n[T]\nKey=t\n"),
       {L"S", L"Key", L"d", 64},
       L"d"},
  };
  for (const ReadCase& c : cases)
    ExpectEveryReader(c);
}

TEST(ProfileReader, CutsLongValuesToCapacityLessOne) {
  const auto file = BytesOf("[S]\nKey=abcdef\nQuoted=\"abcdef\"\n");
  const ReadCase cases[] = {
      {"fits exactly", file, {L"S", L"Key", L"d", 7}, L"abcdef"},
      {"one short", file, {L"S", L"Key", L"d", 6}, L"abcde"},
      {"capacity one", file, {L"S", L"Key", L"d", 1}, L""},
      {"default cut too", file, {L"S", L"None", L"fallback", 4}, L"fal"},
      {"quoted, cut well short", file, {L"S", L"Quoted", L"d", 4}, L"abc"},
      {"quoted, room to spare", file, {L"S", L"Quoted", L"d", 16}, L"abcdef"},
  };
  for (const ReadCase& c : cases)
    ExpectEveryReader(c);
}

// Wine's reader drops the value's last character when the unquoted value exactly fills the
// buffer; ours keeps it, as there is room for it.
TEST(ProfileReader, OursKeepsAQuotedValueThatExactlyFits) {
  wchar_t out[7];
  EXPECT_EQ(ProfileReadFromBytes(BytesOf("[S]\nKey=\"abcdef\"\n"), L"S", L"Key", L"d", out, 7), 6u);
  EXPECT_STREQ(out, L"abcdef");
}

TEST(ProfileReader, CapacityZeroWritesNothing) {
  const ReadCase c = {"capacity zero", BytesOf("[S]\nKey=abc\n"), {L"S", L"Key", L"d", 0}, L""};
  ExpectEveryReader(c);
}

TEST(ProfileReader, ReadsUtf16LittleEndianWithByteOrderMark) {
  const auto file = Utf16LeWithBom(
      "[Language]\r\n0x411=日本語\r\n[日本語]\r\nIDS_PROMPT=  「更新」を押してください。 \r\n"
      "Emoji=\"😀 ok\"\r\n");
  const ReadCase cases[] = {
      {"ASCII key", file, {L"Language", L"0x411", L"d", 64}, L"日本語"},
      {"Unicode section",
       file,
       {L"日本語", L"IDS_PROMPT", L"d", 64},
       L"「更新」を押してください。"},
      {"Unicode cut", file, {L"日本語", L"IDS_PROMPT", L"d", 4}, L"「更新"},
      {"beyond the basic plane", file, {L"日本語", L"Emoji", L"d", 64}, L"😀 ok"},
  };
  for (const ReadCase& c : cases)
    ExpectEveryReader(c);
}

// What only our reader promises: UTF-8 files, big-endian UTF-16, and no harm from bad bytes.
TEST(ProfileReader, OursDecodesUtf8AndSurvivesMalformedFiles) {
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    std::wstring expected;
  };
  const Case cases[] = {
      {"UTF-8 without a mark", BytesOf("[S]\nKey=Atualização\n"), L"Atualização"},
      {"UTF-8 with a mark", BytesOf("\xEF\xBB\xBF[S]\nKey=更新\n"), L"更新"},
      {"UTF-16BE with a mark",
       {0xFE, 0xFF, 0, '[', 0, 'S', 0, ']', 0, '\n', 0, 'K', 0, 'e', 0, 'y', 0, '=', 0x66, 0xF4},
       L"\u66F4"},
      {"bad UTF-8 in the value",
       BytesOf("[S]\nKey=a\xFF"
               "b\n"),
       L"a\uFFFD"
       L"b"},
      {"odd byte after UTF-16",
       {0xFF, 0xFE, '[', 0, 'S', 0, ']', 0, '\n', 0, 'K', 0, 'e', 0, 'y', 0, '=', 0, 'v', 0, 'w'},
       L"v"},
      {"NUL ends a value", BytesOf(std::string("[S]\nKey=ab\0cd\n", 14)), L"ab"},
      {"bare mark only", {0xFF, 0xFE}, L"d"},
      {"cut inside a mark", {0xEF, 0xBB}, L"d"},
  };
  for (const Case& c : cases) {
    wchar_t out[32];
    const uint32_t n = ProfileReadFromBytes(c.file, L"S", L"Key", L"d", out, 32);
    EXPECT_EQ(Utf8FromWide(out), Utf8FromWide(c.expected)) << c.name;
    EXPECT_EQ(n, c.expected.size()) << c.name;
  }
}

TEST(ProfileReader, OursRefusesNullArgumentsSafely) {
  const auto file = BytesOf(BASIC);
  wchar_t out[8] = {L'x', L'x'};
  EXPECT_EQ(ProfileReadFromBytes(file, nullptr, L"Hello", L"d", out, 8), 0u);
  EXPECT_STREQ(out, L"");
  out[0] = L'x';
  EXPECT_EQ(ProfileReadFromBytes(file, L"Strings", nullptr, L"d", out, 8), 0u);
  EXPECT_STREQ(out, L"");
  EXPECT_EQ(ProfileReadFromBytes(file, L"Strings", L"Hello", L"d", nullptr, 8), 0u);
  EXPECT_EQ(ProfileReadString(L"Strings", L"Hello", L"dflt", out, 8, nullptr), 4u);
  EXPECT_STREQ(out, L"dflt");
}

}  // namespace
