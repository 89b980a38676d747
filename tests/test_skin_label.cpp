// The skin label: picture, text, or text over picture; alignment; wrapping; release.
#include <gtest/gtest.h>

#include <memory>

#include "tests/test_skin_support.h"

namespace {

constexpr int LX = 100, LY = 400, LW = 300, LH = 120;
constexpr RECT AREA{LX, LY, LX + LW, LY + LH};
constexpr Rgba BACKGROUND{0x60, 0x40, 0x20, 255};
constexpr Rgba AC{0xE0, 0xE0, 0xE0, 255};  // picture 135

std::unique_ptr<CSkinTestDialog> LabelDialog() {
  auto dialog = std::make_unique<CSkinTestDialog>();
  dialog->layout = [](CSkinTestDialog& d) {
    d.SetBackgroundImage(129, L"IMG", TestModule(), 1.0);
    CSkinLabel& l = d.m_lblMessage;
    l.SetFont(L"Arial", 32.0f, 1, 2, 0);
    l.SetTextColor(0xFFFFFFFF);
    Place(l, LX, LY, LW, LH);
    d.AddSkinCtrl(&l);
  };
  EXPECT_TRUE(dialog->Create());
  return dialog;
}

TEST(SkinLabel, PictureTextOrBoth) {
  auto dialog = LabelDialog();
  CSkinLabel& l = dialog->m_lblMessage;
  const Surface empty = dialog->Snapshot();
  EXPECT_TRUE(Near(empty.At(LX + 5, LY + 5), BACKGROUND, 0));

  l.SetWindowTextW(L"Hi");
  const Surface text = dialog->Last();
  const Box textBox = DiffBox(text, empty, AREA);
  ASSERT_FALSE(textBox.Empty()) << "no text drawn";
  EXPECT_GT(CountColour(text, AREA, Rgba{255, 255, 255, 255}), 10);

  l.SetImage(135, L"IMG", TestModule(), 1.0);
  const Surface both = dialog->Snapshot();
  EXPECT_TRUE(Near(both.At(LX + 5, LY + 5), AC, 0));  // the picture, stretched over the label
  EXPECT_GT(CountColour(both, AREA, Rgba{255, 255, 255, 255}), 10);  // text over it

  l.SetWindowTextW(L"");
  EXPECT_EQ(CountColour(dialog->Last(), AREA, Rgba{255, 255, 255, 255}), 0);
  EXPECT_TRUE(Near(dialog->Last().At(LX + LW / 2, LY + LH / 2), AC, 0));

  l.SetImage(149, L"IMG", TestModule(), 1.0);  // no such picture: draws nothing
  EXPECT_TRUE(Near(dialog->Snapshot().At(LX + 5, LY + 5), BACKGROUND, 0));
}

TEST(SkinLabel, AlignmentPlacesTheText) {
  auto dialog = LabelDialog();
  CSkinLabel& l = dialog->m_lblMessage;
  const Surface empty = dialog->Snapshot();
  l.SetAlignment(0, 0);
  l.SetWindowTextW(L"Hi");
  const Box nearBox = DiffBox(dialog->Last(), empty, AREA);
  l.SetAlignment(1, 1);
  const Box centreBox = DiffBox(dialog->Snapshot(), empty, AREA);
  ASSERT_FALSE(nearBox.Empty());
  EXPECT_LT(nearBox.left - LX, 12);
  EXPECT_LT(nearBox.top - LY, 16);
  EXPECT_NEAR((centreBox.left + centreBox.right) / 2, LX + LW / 2, 3);
  EXPECT_NEAR((centreBox.top + centreBox.bottom) / 2, LY + LH / 2, 8);
}

TEST(SkinLabel, LongTextWrapsAndIsCutAtTheBottom) {
  auto dialog = LabelDialog();
  CSkinLabel& l = dialog->m_lblMessage;
  const Surface empty = dialog->Snapshot();
  l.SetAlignment(0, 0);
  l.SetWindowTextW(L"one two three four five six seven eight nine ten eleven twelve thirteen");
  const RECT wide{LX - 50, LY - 50, LX + LW + 200, LY + LH + 200};
  const Box box = DiffBox(dialog->Last(), empty, wide);
  ASSERT_FALSE(box.Empty());
  EXPECT_GT(box.bottom - box.top, 60);  // more than one 32-pixel line
  EXPECT_LT(box.right, LX + LW);        // wrapped, not run past the right edge
  if (RunningUnderWine()) {
    GTEST_SKIP() << "Wine's GdipDrawString does not cut lines below the layout rectangle";
  }
  EXPECT_LT(box.bottom, LY + LH);  // cut at the bottom
}

TEST(SkinLabel, ReleaseSkinLeavesNeitherPictureNorText) {
  auto dialog = LabelDialog();
  CSkinLabel& l = dialog->m_lblMessage;
  l.SetImage(135, L"IMG", TestModule(), 1.0);
  l.SetWindowTextW(L"Hi");
  l.ReleaseSkin();
  l.ReleaseSkin();
  const Surface& s = dialog->Snapshot();
  EXPECT_EQ(CountColour(s, AREA, BACKGROUND), LW * LH);
  EXPECT_EQ(dialog->Children().size(), 1u);  // still registered
}

}  // namespace
