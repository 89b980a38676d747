// Loading pictures from the "IMG" resources: decoded at 1.0, scaled once otherwise.
#include <gtest/gtest.h>

#include <cmath>

#include "skin/skin_image.h"

namespace {

HINSTANCE Module() {
  return ::GetModuleHandleW(nullptr);
}

Gdiplus::ARGB PixelOf(const CSkinImage& image, int x, int y) {
  Gdiplus::ARGB argb = 0;
  gdip::GdipBitmapGetPixel(static_cast<Gdiplus::GpBitmap*>(image.Native()), x, y, &argb);
  return argb;
}

struct SizeCase {
  UINT id;
  UINT width, height;          // at 1.0
  UINT halfWidth, halfHeight;  // at 0.5, truncated
};

const SizeCase SIZE_CASES[] = {
    {129, 1560, 1240, 780, 620}, {130, 76, 76, 38, 38},   {131, 76, 76, 38, 38},
    {132, 76, 76, 38, 38},       {133, 76, 76, 38, 38},   {134, 30, 30, 15, 15},
    {135, 1448, 568, 724, 284},  {136, 48, 43, 24, 21},   {137, 368, 76, 184, 38},
    {138, 368, 76, 184, 38},     {139, 368, 76, 184, 38}, {140, 368, 76, 184, 38},
    {141, 132, 132, 66, 66},     {142, 132, 132, 66, 66}, {143, 132, 132, 66, 66},
    {144, 132, 132, 66, 66},     {145, 132, 132, 66, 66}, {146, 132, 132, 66, 66},
    {147, 132, 132, 66, 66},     {148, 132, 132, 66, 66}, {150, 508, 76, 254, 38},
    {151, 508, 76, 254, 38},     {152, 508, 76, 254, 38}, {153, 508, 76, 254, 38},
};

TEST(LoadSkinImage, EveryPictureAtFullAndHalfScale) {
  for (const SizeCase& c : SIZE_CASES) {
    auto full = LoadSkinImage(c.id, L"IMG", Module(), 1.0);
    auto half = LoadSkinImage(c.id, L"IMG", Module(), 0.5);
    ASSERT_NE(full, nullptr) << c.id;
    ASSERT_NE(half, nullptr) << c.id;
    EXPECT_EQ(full->GetWidth(), c.width) << c.id;
    EXPECT_EQ(full->GetHeight(), c.height) << c.id;
    EXPECT_EQ(half->GetWidth(), c.halfWidth) << c.id;
    EXPECT_EQ(half->GetHeight(), c.halfHeight) << c.id;
  }
}

TEST(LoadSkinImage, AScaleOneBitBelowOneMakesACopy) {
  // 1560 × 0.9999999999999999 truncates to 1559: only a scaled copy can be that wide.
  auto image = LoadSkinImage(129, L"IMG", Module(), std::nextafter(1.0, 0.0));
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->GetWidth(), 1559u);
  EXPECT_EQ(image->GetHeight(), 1239u);
}

TEST(LoadSkinImage, MissingOrUnusablePicturesGiveAnImageWithoutPixels) {
  struct Case {
    UINT id;
    const wchar_t* type;
    double scale;
  };
  const Case cases[] = {
      {149, L"IMG", 1.0},          {149, L"IMG", 0.5},   // no such picture
      {129, L"PNG", 1.0},                                // wrong type
      {129, L"IMG", 0.0},          {129, L"IMG", -1.0},  // nothing left to draw into
      {129, L"IMG", 1e300},                              // no bitmap can be that large
      {129, L"IMG", std::nan("")},
  };
  for (const Case& c : cases) {
    auto image = LoadSkinImage(c.id, c.type, Module(), c.scale);
    ASSERT_NE(image, nullptr) << c.id << " " << c.scale;
    EXPECT_EQ(image->GetWidth(), 0u) << c.id << " " << c.scale;
    EXPECT_EQ(image->GetHeight(), 0u) << c.id << " " << c.scale;
    EXPECT_EQ(image->Native(), nullptr);
  }
}

TEST(LoadSkinImage, IdAboveSixteenBitsUsesItsLowBits) {
  auto image = LoadSkinImage(0x10000 + 136, L"IMG", Module(), 1.0);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->GetWidth(), 48u);
  EXPECT_EQ(image->GetHeight(), 43u);
  auto none = LoadSkinImage(0x10000 + 149, L"IMG", Module(), 1.0);
  EXPECT_EQ(none->GetWidth(), 0u);
}

TEST(LoadSkinImage, NullModuleMeansTheProgramsOwnResources) {
  auto image = LoadSkinImage(134, L"IMG", nullptr, 1.0);
  EXPECT_EQ(image->GetWidth(), 30u);
}

TEST(LoadSkinImage, ScaledCopyKeepsTransparentMarginsAndColours) {
  auto full = LoadSkinImage(129, L"IMG", Module(), 1.0);
  auto half = LoadSkinImage(129, L"IMG", Module(), 0.5);
  // The 40-pixel margin is 20 pixels at half size; its inside is opaque #204060.
  const struct {
    const CSkinImage* image;
    int x, y;
    Gdiplus::ARGB expected;
  } probes[] = {
      {full.get(), 0, 0, 0},
      {full.get(), 39, 600, 0},
      {full.get(), 1559, 1239, 0},
      {full.get(), 40, 40, 0xFF204060},
      {half.get(), 0, 0, 0},
      {half.get(), 18, 300, 0},
      {half.get(), 779, 619, 0},
      {half.get(), 300, 601, 0},
      {half.get(), 390, 310, 0xFF204060},
      {half.get(), 21, 21, 0xFF204060},
  };
  for (const auto& p : probes) {
    const Gdiplus::ARGB argb = PixelOf(*p.image, p.x, p.y);
    if (p.expected == 0) {
      EXPECT_EQ(argb >> 24, 0u) << p.x << "," << p.y;  // fully transparent
    } else {
      EXPECT_EQ(argb, p.expected) << std::hex << argb << " at " << std::dec << p.x << "," << p.y;
    }
  }
}

TEST(LoadSkinImage, DecodedPixelsOutliveTheResourceCopy) {
  // Decode, then use the image long after the loader returned: the bytes GDI+ may read again
  // stay with the image.
  auto image = LoadSkinImage(137, L"IMG", Module(), 1.0);
  auto other = LoadSkinImage(135, L"IMG", Module(), 1.0);  // reuse freed memory, if any
  EXPECT_EQ(PixelOf(*image, 10, 10), 0xFFC86432u);
  EXPECT_EQ(PixelOf(*image, 300, 10) & 0x00FFFFFF, 0x00C86432u);
  EXPECT_NEAR(static_cast<int>(PixelOf(*image, 300, 10) >> 24), 127, 1);
}

}  // namespace
