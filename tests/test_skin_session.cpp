// The GDI+ session under the controls: a control made during static initialisation, before or
// after the program's own start-up object (the linker decides), still gets real GDI+ objects,
// and GDI+ runs for as long as anything holding GDI+ objects lives.
#include <gtest/gtest.h>

#include "skin/gdiplus_api.h"
#include "skin/skin_button.h"
#include "skin/skin_label.h"

namespace {

CSkinLabel g_staticLabel;
CSkinButton g_staticButton;

TEST(GdiplusSession, AControlInAStaticObjectGetsARealFont) {
  EXPECT_TRUE(CGdiplusSession::Running());
  ASSERT_NE(g_staticLabel.Font(), nullptr);
  EXPECT_NE(g_staticLabel.Font()->Native(), nullptr);
}

TEST(GdiplusSession, EveryControlHoldsAShareForItsLife) {
  const int before = CGdiplusSession::Shares();
  {
    CSkinLabel label;
    CSkinButton button;
    EXPECT_EQ(CGdiplusSession::Shares(), before + 2);
    EXPECT_NE(label.Font()->Native(), nullptr);
  }
  EXPECT_EQ(CGdiplusSession::Shares(), before);
  EXPECT_TRUE(CGdiplusSession::Running());  // the program's own share remains
}

}  // namespace
