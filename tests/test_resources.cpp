// The compiled resources as the program finds them at run time: every picture where the loader
// looks for it, the icon group the shell picks from, the dialog template the window is made
// from, the version the window shows and the manifest the loader reads.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <cwctype>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "res/resource_ids.h"

namespace {

const WORD RES_LANG_EN_US = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

std::span<const std::uint8_t> ResourceBytes(LPCWSTR type, LPCWSTR name) {
  HRSRC found = FindResourceW(nullptr, name, type);
  if (found == nullptr)
    return {};
  HGLOBAL loaded = LoadResource(nullptr, found);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr)
    return {};
  return {static_cast<const std::uint8_t*>(bytes), SizeofResource(nullptr, found)};
}

std::uint32_t BigEndian32(std::span<const std::uint8_t> b, size_t at) {
  return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
         (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

struct PngHeader {
  std::uint32_t width;
  std::uint32_t height;
  int depth;
  int colourType;
};

// The signature and the IHDR chunk, which a PNG must start with.
std::optional<PngHeader> ReadPngHeader(std::span<const std::uint8_t> b) {
  static const std::uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (b.size() < 33 || std::memcmp(b.data(), signature, 8) != 0)
    return std::nullopt;
  if (BigEndian32(b, 8) != 13 || std::memcmp(b.data() + 12, "IHDR", 4) != 0)
    return std::nullopt;
  return PngHeader{BigEndian32(b, 16), BigEndian32(b, 20), b[24], b[25]};
}

struct Picture {
  int id;
  std::uint32_t width;
  std::uint32_t height;
};

const Picture PICTURES[] = {
    {129, 1560, 1240}, {130, 76, 76},    {131, 76, 76},   {132, 76, 76},   {133, 76, 76},
    {134, 30, 30},     {135, 1448, 568}, {136, 48, 43},   {137, 368, 76},  {138, 368, 76},
    {139, 368, 76},    {140, 368, 76},   {141, 132, 132}, {142, 132, 132}, {143, 132, 132},
    {144, 132, 132},   {145, 132, 132},  {146, 132, 132}, {147, 132, 132}, {148, 132, 132},
    {150, 508, 76},    {151, 508, 76},   {152, 508, 76},  {153, 508, 76},
};

TEST(Pictures, EachIsAnRgbaPngOfItsSizeInUsEnglish) {
  for (const Picture& picture : PICTURES) {
    SCOPED_TRACE(picture.id);
    EXPECT_NE(FindResourceExW(nullptr, L"IMG", MAKEINTRESOURCEW(picture.id), RES_LANG_EN_US),
              nullptr);
    auto header = ReadPngHeader(ResourceBytes(L"IMG", MAKEINTRESOURCEW(picture.id)));
    ASSERT_TRUE(header.has_value());
    EXPECT_EQ(header->width, picture.width);
    EXPECT_EQ(header->height, picture.height);
    EXPECT_EQ(header->depth, 8);
    EXPECT_EQ(header->colourType, 6);
  }
}

TEST(Pictures, NoneBesideTheInventory) {
  EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(149), L"IMG"), nullptr);
  EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(128), L"IMG"), nullptr);
  EXPECT_EQ(FindResourceW(nullptr, MAKEINTRESOURCEW(154), L"IMG"), nullptr);
}

#pragma pack(push, 2)
struct GroupIconEntry {
  BYTE width;
  BYTE height;
  BYTE colourCount;
  BYTE reserved;
  WORD planes;
  WORD bitCount;
  DWORD bytesInRes;
  WORD id;
};
#pragma pack(pop)
static_assert(sizeof(GroupIconEntry) == 14);

TEST(Icon, GroupHoldsTheSeventeenImagesAndEachLoads) {
  auto group = ResourceBytes(RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_KELVANE));
  ASSERT_GE(group.size(), 6u);
  WORD header[3];
  std::memcpy(header, group.data(), sizeof header);
  EXPECT_EQ(header[0], 0);
  EXPECT_EQ(header[1], 1);
  ASSERT_EQ(header[2], 17);
  ASSERT_EQ(group.size(), 6 + 17 * sizeof(GroupIconEntry));

  std::multiset<std::pair<int, int>> found;
  for (int i = 0; i < 17; ++i) {
    GroupIconEntry entry;
    std::memcpy(&entry, group.data() + 6 + i * sizeof entry, sizeof entry);
    const int size = entry.width == 0 ? 256 : entry.width;
    SCOPED_TRACE(std::to_string(size) + " px, " + std::to_string(entry.bitCount) + " bits");
    found.emplace(size, entry.bitCount);
    EXPECT_EQ(entry.height, entry.width);
    EXPECT_EQ(entry.colourCount, entry.bitCount == 4 ? 16 : 0);

    auto image = ResourceBytes(RT_ICON, MAKEINTRESOURCEW(entry.id));
    ASSERT_EQ(image.size(), entry.bytesInRes);
    if (auto png = ReadPngHeader(image)) {
      EXPECT_EQ(entry.bitCount, 32);
      EXPECT_EQ(png->width, static_cast<std::uint32_t>(size));
      EXPECT_EQ(png->colourType, 6);
    } else {
      ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
      BITMAPINFOHEADER dib;
      std::memcpy(&dib, image.data(), sizeof dib);
      EXPECT_EQ(dib.biWidth, size);
      EXPECT_EQ(dib.biHeight, 2 * size);  // colour bitmap and mask
      EXPECT_EQ(dib.biBitCount, entry.bitCount);
    }
    HICON icon = CreateIconFromResourceEx(const_cast<PBYTE>(image.data()), entry.bytesInRes, TRUE,
                                          0x00030000, size, size, LR_DEFAULTCOLOR);
    EXPECT_NE(icon, nullptr);
    if (icon != nullptr)
      DestroyIcon(icon);
  }
  const std::multiset<std::pair<int, int>> expected = {
      {256, 4}, {48, 4},   {32, 4},   {24, 4},  {16, 4},  {256, 8}, {48, 8},  {32, 8}, {24, 8},
      {16, 8},  {256, 32}, {128, 32}, {96, 32}, {48, 32}, {32, 32}, {24, 32}, {16, 32}};
  EXPECT_EQ(found, expected);
}

// Reads a dialog template within its bounds; any read past the end marks it failed.
class CTemplateReader {
 public:
  explicit CTemplateReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

  bool Ok() const { return m_ok; }

  template <typename T>
  T Read() {
    T value{};
    if (m_at + sizeof(T) > m_bytes.size()) {
      m_ok = false;
      return value;
    }
    std::memcpy(&value, m_bytes.data() + m_at, sizeof(T));
    m_at += sizeof(T);
    return value;
  }

  // A name or ordinal field: 0x0000 none, 0xFFFF followed by an ordinal, else a string.
  std::pair<WORD, std::wstring> ReadNameOrOrdinal() {
    WORD first = Read<WORD>();
    if (first == 0xFFFF)
      return {Read<WORD>(), {}};
    std::wstring text;
    for (WORD c = first; m_ok && c != 0; c = Read<WORD>())
      text.push_back(static_cast<wchar_t>(c));
    return {0, text};
  }

  std::wstring ReadString() { return ReadNameOrOrdinal().second; }
  void AlignTo4() { m_at = (m_at + 3) & ~size_t{3}; }
  void Skip(size_t n) {
    m_ok = m_ok && m_at + n <= m_bytes.size();
    m_at += n;
  }

 private:
  std::span<const std::uint8_t> m_bytes;
  size_t m_at = 0;
  bool m_ok = true;
};

struct TemplateControl {
  DWORD id;
  const wchar_t* className;
  DWORD style;
};

// A control's class is an atom of a system class or its name; both mean the same window class.
std::wstring ClassName(const std::pair<WORD, std::wstring>& field) {
  if (field.first == 0x0080)
    return L"BUTTON";
  if (field.first == 0x0082)
    return L"STATIC";
  std::wstring name = field.second;
  for (wchar_t& c : name)
    c = static_cast<wchar_t>(towupper(c));
  return name;
}

const DWORD BUTTON_STYLE = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
const DWORD STATIC_STYLE = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;
const wchar_t* const BUTTON = L"BUTTON";
const wchar_t* const STATIC = L"STATIC";

const TemplateControl CONTROLS[] = {
    {1, BUTTON, BUTTON_STYLE},    {2, BUTTON, BUTTON_STYLE},    {1003, BUTTON, BUTTON_STYLE},
    {1007, BUTTON, BUTTON_STYLE}, {1008, BUTTON, BUTTON_STYLE}, {149, STATIC, STATIC_STYLE},
    {1001, STATIC, STATIC_STYLE}, {1002, STATIC, STATIC_STYLE}, {1004, STATIC, STATIC_STYLE},
    {1005, STATIC, STATIC_STYLE}, {1006, STATIC, STATIC_STYLE}, {1009, STATIC, STATIC_STYLE},
};

TEST(DialogTemplate, IsTheExtendedWindowWithItsTwelveControlsInOrder) {
  CTemplateReader in(ResourceBytes(RT_DIALOG, MAKEINTRESOURCEW(IDD_UPDATE)));
  EXPECT_EQ(in.Read<WORD>(), 1);       // version
  EXPECT_EQ(in.Read<WORD>(), 0xFFFF);  // extended template
  in.Read<DWORD>();                    // help id
  const DWORD exStyle = in.Read<DWORD>();
  const DWORD style = in.Read<DWORD>();
  EXPECT_EQ(exStyle, static_cast<DWORD>(WS_EX_APPWINDOW));
  EXPECT_EQ(style, static_cast<DWORD>(WS_VISIBLE | WS_CAPTION | DS_SETFONT));
  const WORD count = in.Read<WORD>();
  const short x = in.Read<short>(), y = in.Read<short>();
  const short cx = in.Read<short>(), cy = in.Read<short>();
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(cx, 320);
  EXPECT_EQ(cy, 200);
  EXPECT_EQ(in.ReadNameOrOrdinal(), std::make_pair(WORD{0}, std::wstring()));  // no menu
  EXPECT_EQ(in.ReadNameOrOrdinal(), std::make_pair(WORD{0}, std::wstring()));  // dialog class
  EXPECT_FALSE(in.ReadString().empty());                                       // caption
  EXPECT_EQ(in.Read<WORD>(), 8);                                               // points
  in.Read<WORD>();                                                             // weight
  in.Read<BYTE>();                                                             // italic
  in.Read<BYTE>();                                                             // charset
  EXPECT_EQ(in.ReadString(), L"MS Sans Serif");
  ASSERT_EQ(count, std::size(CONTROLS));

  for (const TemplateControl& expected : CONTROLS) {
    SCOPED_TRACE(expected.id);
    in.AlignTo4();
    in.Read<DWORD>();  // help id
    EXPECT_EQ(in.Read<DWORD>(), 0u);
    EXPECT_EQ(in.Read<DWORD>(), expected.style);
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(in.Read<short>(), 0);
    EXPECT_EQ(in.Read<DWORD>(), expected.id);
    EXPECT_EQ(ClassName(in.ReadNameOrOrdinal()), expected.className);
    EXPECT_EQ(in.ReadNameOrOrdinal(), std::make_pair(WORD{0}, std::wstring()));  // no text
    in.Skip(in.Read<WORD>());                                                    // creation data
    ASSERT_TRUE(in.Ok());
  }
  EXPECT_TRUE(in.Ok());
}

TEST(Version, FileVersionIsOnePointZeroPointZeroPointEight) {
  wchar_t path[1024];
  ASSERT_GT(GetModuleFileNameW(nullptr, path, 1024), 0u);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<std::uint8_t> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_GE(length, sizeof *fixed);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000008u);
}

TEST(Manifest, AsksForAdministratorAndDeclaresDpiAwareness) {
  auto bytes = ResourceBytes(RT_MANIFEST, MAKEINTRESOURCEW(1));
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(text.find(">true/pm</dpiAware>"), std::string::npos);
  EXPECT_NE(text.find(">PerMonitor, System</dpiAwareness>"), std::string::npos);
}

}  // namespace
