#include "app/update_layout.h"

#include <cstdlib>

bool LayoutFullScale(int desktopWidth, int desktopHeight) {
  return desktopWidth > 1920 || desktopHeight > 1080;
}

int LayoutScaled(int design, double scale) {
  return static_cast<int>(design * scale);
}

LayoutRect LayoutScaled(const LayoutRect& design, double scale) {
  return {LayoutScaled(design.x, scale), LayoutScaled(design.y, scale),
          LayoutScaled(design.width, scale), LayoutScaled(design.height, scale)};
}

int LayoutMulDiv(int a, int b, int c) {
  if (c == 0)
    return -1;
  const long long product = static_cast<long long>(a) * b;
  const long long magnitude = (std::llabs(product) + std::llabs(c) / 2) / std::llabs(c);
  return static_cast<int>((product < 0) != (c < 0) ? -magnitude : magnitude);
}

float LayoutFontPixels(int points, double scale, int dpi) {
  const float f = 96.0f / static_cast<float>(dpi);
  return static_cast<float>(LayoutMulDiv(LayoutScaled(points, scale), dpi, 72)) * f;
}

LayoutFonts LayoutFontsFor(uint16_t uiLang) {
  if ((uiLang & 0x3FF) == 0x04)
    return {L"\u5FAE\u8EDF\u6B63\u9ED1\u9AD4", 1, L"\u5FAE\u8EDF\u6B63\u9ED1\u9AD4"};
  if (uiLang == 0x0411)
    return {L"MS P Gothic", 1, L"MS P Gothic"};
  return {L"Segoe WP N Semibold", 0, L"Segoe WP"};
}
