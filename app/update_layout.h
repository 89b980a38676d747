#pragma once
// The main window's geometry and fonts as numbers: design places at scale 1.0, the size class
// of a desktop, font sizes in pixels and the font families of a user-interface language.
#include <cstdint>

struct LayoutRect {
  int x, y, width, height;
};

// Design places of the controls in the 1560 x 1240 background.
inline constexpr LayoutRect LAYOUT_VERSION{1410, 194, 214, 100};
inline constexpr LayoutRect LAYOUT_CLOSE{1448, 38, 76, 76};
inline constexpr LayoutRect LAYOUT_BULLET{60, 300, 30, 30};
inline constexpr LayoutRect LAYOUT_AC_PICTURE{56, 498, 1448, 568};
inline constexpr LayoutRect LAYOUT_CAUTION_ICON{70, 1120, 48, 43};
inline constexpr LayoutRect LAYOUT_UPDATE{1136, 1109, 368, 76};  // Exit shares this place
inline constexpr LayoutRect LAYOUT_MESSAGE{100, 297, 1400, 180};
inline constexpr LayoutRect LAYOUT_CAUTION{130, 1124, 1000, 100};
inline constexpr LayoutRect LAYOUT_SPINNER{712, 658, 132, 132};
inline constexpr LayoutRect LAYOUT_SHUTDOWN{466, 1109, 508, 76};
inline constexpr LayoutRect LAYOUT_LATER{996, 1109, 508, 76};

inline constexpr int LAYOUT_VERSION_POINTS = 20;
inline constexpr int LAYOUT_TEXT_POINTS = 24;

// Text colours (ARGB).
inline constexpr uint32_t LAYOUT_VERSION_COLOUR = 0xFF80DFE6;
inline constexpr uint32_t LAYOUT_BUTTON_COLOUR = 0xFFFFFFFF;
inline constexpr uint32_t LAYOUT_LATER_COLOUR = 0xFF464646;
inline constexpr uint32_t LAYOUT_MESSAGE_COLOUR = 0xFF020202;
inline constexpr uint32_t LAYOUT_CAUTION_COLOUR = 0xFFA40000;

// True for scale 1.0: a desktop wider than 1920 or taller than 1080.
bool LayoutFullScale(int desktopWidth, int desktopHeight);
// A design value at a scale, truncated toward zero.
int LayoutScaled(int design, double scale);
LayoutRect LayoutScaled(const LayoutRect& design, double scale);
// a * b / c in 64 bits, rounded to the nearest integer with halves away from zero; -1 when c
// is 0 (what the system's MulDiv does).
int LayoutMulDiv(int a, int b, int c);
// Pixels of a design size in points at a scale and a vertical resolution: the resolution
// cancels out but for the rounding of MulDiv.
float LayoutFontPixels(int points, double scale, int dpi);

struct LayoutFonts {
  const wchar_t* buttonFamily;
  int buttonStyle;  // 0 regular, 1 bold
  const wchar_t* textFamily;
};
LayoutFonts LayoutFontsFor(uint16_t uiLang);
