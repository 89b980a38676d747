#pragma once
// The text layout and brush that the skin controls draw their text with.
#include "skin/gdiplus_api.h"

// Centred both ways, no format flags, neutral language; null when GDI+ cannot make one.
CGdipStringFormat SkinFormatCreateCentred();
// Alignments are GDI+'s: 0 near, 1 centre, 2 far. A null format is left alone.
void SkinFormatSetAlignment(const CGdipStringFormat& format, int horizontal, int vertical);
CGdipSolidFill SkinBrushCreate(Gdiplus::ARGB colour);
// Recolours in place; a null brush is left alone.
void SkinBrushSetColour(const CGdipSolidFill& brush, Gdiplus::ARGB colour);
