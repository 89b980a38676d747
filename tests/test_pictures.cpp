// The rendered pictures and the packed icon, checked pixel by pixel where a fault would show:
// sizes and format, the transparent margin of the window, soft edges, states that look like
// their state, a spinner that turns evenly, and palette images that still show the icon.
#include <png.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::string IMG_DIR = KELVANE_IMG_DIR;

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Rgba {
  std::uint8_t r, g, b, a;
};

struct Image {
  int width = 0;
  int height = 0;
  int depth = 0;
  int colourType = -1;
  std::vector<Rgba> pixels;

  const Rgba& At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Decodes with libpng; depth and colour type come from the file's own IHDR.
Image LoadPng(const std::string& path) {
  Image image;
  const std::vector<std::uint8_t> file = ReadFile(path);
  if (file.size() < 33 || std::memcmp(file.data() + 12, "IHDR", 4) != 0)
    return image;
  image.depth = file[24];
  image.colourType = file[25];
  png_image decoder;
  std::memset(&decoder, 0, sizeof decoder);
  decoder.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&decoder, file.data(), file.size()))
    return image;
  decoder.format = PNG_FORMAT_RGBA;
  std::vector<Rgba> pixels(static_cast<size_t>(decoder.width) * decoder.height);
  if (!png_image_finish_read(&decoder, nullptr, pixels.data(), 0, nullptr))
    return image;
  image.width = static_cast<int>(decoder.width);
  image.height = static_cast<int>(decoder.height);
  image.pixels = std::move(pixels);
  return image;
}

Image LoadPicture(const std::string& name) {
  return LoadPng(IMG_DIR + "/" + name + ".png");
}

struct Picture {
  const char* name;
  int width;
  int height;
};

const Picture PICTURES[] = {
    {"background", 1560, 1240},  {"close_normal", 76, 76},   {"close_pressed", 76, 76},
    {"close_hover", 76, 76},     {"close_disabled", 76, 76}, {"marker", 30, 30},
    {"notebook_ac", 1448, 568},  {"caution", 48, 43},        {"button_normal", 368, 76},
    {"button_pressed", 368, 76}, {"button_hover", 368, 76},  {"button_disabled", 368, 76},
    {"spinner_1", 132, 132},     {"spinner_2", 132, 132},    {"spinner_3", 132, 132},
    {"spinner_4", 132, 132},     {"spinner_5", 132, 132},    {"spinner_6", 132, 132},
    {"spinner_7", 132, 132},     {"spinner_8", 132, 132},    {"wide_filled", 508, 76},
    {"wide_light", 508, 76},     {"wide_hover", 508, 76},    {"wide_pressed", 508, 76},
};

TEST(Pictures, EachDecodesAsEightBitRgbaOfItsSize) {
  for (const Picture& picture : PICTURES) {
    SCOPED_TRACE(picture.name);
    const Image image = LoadPicture(picture.name);
    EXPECT_EQ(image.depth, 8);
    EXPECT_EQ(image.colourType, 6);
    EXPECT_EQ(image.width, picture.width);
    EXPECT_EQ(image.height, picture.height);
  }
}

TEST(Pictures, BackgroundHasATransparentMarginAroundAnOpaquePanel) {
  const Image image = LoadPicture("background");
  ASSERT_EQ(image.width, 1560);
  const int margin = 4;
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const bool edge =
          x < margin || y < margin || x >= image.width - margin || y >= image.height - margin;
      if (edge) {
        ASSERT_EQ(image.At(x, y).a, 0) << x << "," << y;
      }
    }
  }
  // Where the controls stand, the panel is solid: close, version, message, picture, buttons,
  // caution line.
  const int places[][2] = {{1486, 76},   {1450, 210}, {100, 300}, {780, 780},
                           {1320, 1147}, {720, 1147}, {94, 1141}, {1500, 1180}};
  for (const auto& p : places)
    EXPECT_EQ(image.At(p[0], p[1]).a, 255) << p[0] << "," << p[1];
  // The shadow fades into the margin instead of ending in a hard edge.
  EXPECT_GT(image.At(780, 1224).a, 0);
  EXPECT_LT(image.At(780, 1224).a, 255);
}

TEST(Pictures, IconsAndFacesHaveSoftEdgesAndClearCorners) {
  const char* const names[] = {"close_normal", "close_hover",     "close_pressed", "close_disabled",
                               "marker",       "caution",         "button_normal", "button_pressed",
                               "button_hover", "button_disabled", "wide_filled",   "wide_light",
                               "wide_hover",   "wide_pressed",    "spinner_1",     "notebook_ac"};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    const Image image = LoadPicture(name);
    ASSERT_GT(image.width, 0);
    EXPECT_EQ(image.At(0, 0).a, 0);
    EXPECT_EQ(image.At(image.width - 1, image.height - 1).a, 0);
    const auto soft = std::count_if(image.pixels.begin(), image.pixels.end(),
                                    [](const Rgba& p) { return p.a > 0 && p.a < 255; });
    EXPECT_GE(soft, std::min(image.width, image.height));
  }
}

// Mean brightness and colourfulness over the pixels that cover most of the face.
struct Look {
  double lightness = 0;
  double chroma = 0;
};

Look MeasureFace(const Image& image) {
  Look look;
  int count = 0;
  for (const Rgba& p : image.pixels) {
    if (p.a < 250)
      continue;
    const int high = std::max({p.r, p.g, p.b}), low = std::min({p.r, p.g, p.b});
    look.lightness += (0.3 * p.r + 0.59 * p.g + 0.11 * p.b) / 255.0;
    look.chroma += (high - low) / 255.0;
    ++count;
  }
  if (count > 0) {
    look.lightness /= count;
    look.chroma /= count;
  }
  return look;
}

TEST(Pictures, ButtonStatesReadAsTheirState) {
  struct Family {
    const char* normal;
    const char* hover;
    const char* pressed;
  };
  for (const Family& family : {Family{"button_normal", "button_hover", "button_pressed"},
                               Family{"wide_filled", "wide_hover", "wide_pressed"}}) {
    SCOPED_TRACE(family.normal);
    const Look normal = MeasureFace(LoadPicture(family.normal));
    const Look hover = MeasureFace(LoadPicture(family.hover));
    const Look pressed = MeasureFace(LoadPicture(family.pressed));
    EXPECT_GT(hover.lightness, normal.lightness + 0.05);
    EXPECT_LT(pressed.lightness, normal.lightness - 0.05);
    EXPECT_GT(normal.chroma, 0.3);  // the filled face carries the accent colour
  }
  const Look disabled = MeasureFace(LoadPicture("button_disabled"));
  EXPECT_LT(disabled.chroma, 0.08);  // grey: no accent left
  const Look light = MeasureFace(LoadPicture("wide_light"));
  EXPECT_GT(light.lightness, 0.9);  // room for the dark caption
  EXPECT_LT(light.chroma, 0.08);
}

int ChannelDistance(const Rgba& a, const Rgba& b) {
  return std::max(
      {std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b), std::abs(a.a - b.a)});
}

// Compared as they are blended: a nearly transparent pixel's colour hardly counts.
int BlendedDistance(const Rgba& a, const Rgba& b) {
  const auto blend = [](int c, int alpha) { return c * alpha / 255; };
  return std::max({std::abs(blend(a.r, a.a) - blend(b.r, b.a)),
                   std::abs(blend(a.g, a.a) - blend(b.g, b.a)),
                   std::abs(blend(a.b, a.a) - blend(b.b, b.a)), std::abs(a.a - b.a)});
}

// A frame two steps on is the frame turned a quarter clockwise, which needs no resampling.
TEST(Pictures, SpinnerTurnsClockwiseInEvenSteps) {
  std::vector<Image> frames;
  for (int i = 1; i <= 8; ++i)
    frames.push_back(LoadPicture("spinner_" + std::to_string(i)));
  const int n = 132;
  for (int i = 0; i < 8; ++i) {
    SCOPED_TRACE(i + 1);
    const Image& frame = frames[i];
    const Image& next = frames[(i + 1) % 8];
    const Image& quarter = frames[(i + 2) % 8];
    ASSERT_EQ(frame.width, n);
    int changed = 0, worst = 0;
    double total = 0;
    for (int y = 0; y < n; ++y) {
      for (int x = 0; x < n; ++x) {
        changed += BlendedDistance(frame.At(x, y), next.At(x, y)) > 16;
        // Turning clockwise carries the pixel at (x, y) to (n - 1 - y, x).
        const int d = BlendedDistance(frame.At(x, y), quarter.At(n - 1 - y, x));
        worst = std::max(worst, d);
        total += d;
      }
    }
    EXPECT_GT(changed, 200);
    EXPECT_LE(worst, 24);
    EXPECT_LT(total / (n * n), 0.5);
  }
}

// The icon file as the resource compiler takes it in: directory, images, palettes and masks.
class CIconFile {
 public:
  struct Entry {
    int size;
    int bits;
    std::vector<std::uint8_t> body;
  };

  explicit CIconFile(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 6 || U16(bytes, 0) != 0 || U16(bytes, 2) != 1)
      return;
    const int count = U16(bytes, 4);
    for (int i = 0; i < count; ++i) {
      const size_t at = 6 + 16 * static_cast<size_t>(i);
      if (at + 16 > bytes.size())
        return;
      const std::uint32_t length = U32(bytes, at + 8), offset = U32(bytes, at + 12);
      if (offset > bytes.size() || length > bytes.size() - offset)
        return;
      const int size = bytes[at] == 0 ? 256 : bytes[at];
      m_entries.push_back(
          {size, U16(bytes, at + 6), {bytes.begin() + offset, bytes.begin() + offset + length}});
    }
  }

  const std::vector<Entry>& Entries() const { return m_entries; }

  static int U16(const std::vector<std::uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }
  static std::uint32_t U32(const std::vector<std::uint8_t>& b, size_t at) {
    return static_cast<std::uint32_t>(U16(b, at)) | static_cast<std::uint32_t>(U16(b, at + 2))
                                                        << 16;
  }

 private:
  std::vector<Entry> m_entries;
};

// Decodes a 4-, 8- or 32-bit icon DIB; pixels under a set mask bit come out transparent.
Image DecodeIconDib(const CIconFile::Entry& entry) {
  Image image;
  const auto& b = entry.body;
  if (b.size() < 40 || CIconFile::U32(b, 0) != 40)
    return image;
  const int width = static_cast<int>(CIconFile::U32(b, 4));
  const int height = static_cast<int>(CIconFile::U32(b, 8)) / 2;
  const int bits = CIconFile::U16(b, 14);
  const size_t palette = bits <= 8 ? (size_t{1} << bits) * 4 : 0;
  const size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
  const size_t maskStride = (static_cast<size_t>(width) + 31) / 32 * 4;
  const size_t pixels = 40 + palette, mask = pixels + stride * height;
  if (b.size() < mask + maskStride * height)
    return image;
  image.width = width;
  image.height = height;
  image.pixels.resize(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    const size_t row = pixels + stride * (height - 1 - y);  // bottom-up
    const size_t maskRow = mask + maskStride * (height - 1 - y);
    for (int x = 0; x < width; ++x) {
      Rgba& out = image.pixels[static_cast<size_t>(y) * width + x];
      const bool masked = b[maskRow + x / 8] & (0x80 >> (x % 8));
      if (bits == 32) {
        const size_t at = row + 4 * static_cast<size_t>(x);
        out = {b[at + 2], b[at + 1], b[at], b[at + 3]};
        continue;
      }
      const int index = bits == 8 ? b[row + x] : (b[row + x / 2] >> (x % 2 ? 0 : 4)) & 0xF;
      const size_t colour = 40 + 4 * static_cast<size_t>(index);
      out = {b[colour + 2], b[colour + 1], b[colour], static_cast<std::uint8_t>(masked ? 0 : 255)};
    }
  }
  return image;
}

TEST(Icon, HoldsTheSeventeenImagesAndEachShowsTheIcon) {
  const CIconFile icon(ReadFile(IMG_DIR + "/kelvane.ico"));
  const std::vector<std::pair<int, int>> expected = {
      {256, 4}, {48, 4},   {32, 4},   {24, 4},  {16, 4},  {256, 8}, {48, 8},  {32, 8}, {24, 8},
      {16, 8},  {256, 32}, {128, 32}, {96, 32}, {48, 32}, {32, 32}, {24, 32}, {16, 32}};
  std::vector<std::pair<int, int>> found;
  for (const auto& entry : icon.Entries())
    found.emplace_back(entry.size, entry.bits);
  ASSERT_EQ(found, expected);

  for (const auto& entry : icon.Entries()) {
    SCOPED_TRACE(std::to_string(entry.size) + " px, " + std::to_string(entry.bits) + " bits");
    const std::string source = IMG_DIR + "/icon_" + std::to_string(entry.size) + ".png";
    if (entry.size == 256 && entry.bits == 32) {
      EXPECT_EQ(entry.body, ReadFile(source));  // stored as the PNG itself
      continue;
    }
    const Image original = LoadPng(source);
    const Image decoded = DecodeIconDib(entry);
    ASSERT_EQ(decoded.width, entry.size);
    ASSERT_EQ(decoded.height, entry.size);
    double error = 0;
    int opaque = 0;
    for (size_t i = 0; i < original.pixels.size(); ++i) {
      const Rgba& want = original.pixels[i];
      const Rgba& got = decoded.pixels[i];
      if (entry.bits == 32) {
        ASSERT_EQ(ChannelDistance(want, got), 0) << i;
        continue;
      }
      ASSERT_EQ(got.a == 255, want.a >= 128) << i;  // the mask follows the alpha
      if (want.a != 255)
        continue;
      error += std::abs(want.r - got.r) + std::abs(want.g - got.g) + std::abs(want.b - got.b);
      ++opaque;
    }
    if (entry.bits != 32) {
      ASSERT_GT(opaque, 0);
      // Mean error per channel: an adaptive palette stays close; a broken one does not.
      EXPECT_LT(error / (3.0 * opaque), entry.bits == 4 ? 10.0 : 3.0);
    }
  }
}

}  // namespace
