// The layered dialog: composition read back from the surface, registration order, hidden and
// twice-registered controls, no background, centring, change notification and the drag.
#include <gtest/gtest.h>

#include <memory>

#include "tests/test_skin_support.h"

namespace {

constexpr Rgba BACKGROUND{0x60, 0x40, 0x20, 255};  // #204060, opaque
constexpr Rgba CLEAR{0, 0, 0, 0};
constexpr Rgba MARKER{0x00, 0xC0, 0xFF, 255};   // 134: #FFC000
constexpr Rgba CAUTION{0x00, 0x80, 0xFF, 255};  // 136: #FF8000

std::unique_ptr<CSkinTestDialog> MakeDialog(std::function<void(CSkinTestDialog&)> layout) {
  auto dialog = std::make_unique<CSkinTestDialog>();
  dialog->layout = std::move(layout);
  EXPECT_TRUE(dialog->Create());
  return dialog;
}

void WithBackground(CSkinTestDialog& d) {
  d.SetBackgroundImage(129, L"IMG", TestModule(), 1.0);
}

// The marker at (100, 100) and the caution icon overlapping it at (110, 110).
void TwoOverlappingLabels(CSkinTestDialog& d, bool markerFirst) {
  WithBackground(d);
  d.m_lblMessage.SetImage(134, L"IMG", TestModule(), 1.0);
  Place(d.m_lblMessage, 100, 100, 30, 30);
  d.m_lblSpinner.SetImage(136, L"IMG", TestModule(), 1.0);
  Place(d.m_lblSpinner, 110, 110, 48, 43);
  if (markerFirst) {
    d.AddSkinCtrl(&d.m_lblMessage);
    d.AddSkinCtrl(&d.m_lblSpinner);
  } else {
    d.AddSkinCtrl(&d.m_lblSpinner);
    d.AddSkinCtrl(&d.m_lblMessage);
  }
}

TEST(LayeredDialog, ComposesTheBackgroundIntoAWindowOfItsSize) {
  auto dialog = MakeDialog(WithBackground);
  // SetBackgroundImage's; OnInitDialog's final composition finds nothing changed since.
  EXPECT_EQ(dialog->Compositions(), 1);
  const Surface& s = dialog->Last();
  ASSERT_EQ(s.width, 1560);
  ASSERT_EQ(s.height, 1240);
  EXPECT_TRUE(Near(s.At(0, 0), CLEAR, 0));
  EXPECT_TRUE(Near(s.At(39, 700), CLEAR, 0));
  EXPECT_TRUE(Near(s.At(1559, 1239), CLEAR, 0));
  EXPECT_TRUE(Near(s.At(40, 40), BACKGROUND, 0));
  EXPECT_TRUE(Near(s.At(1519, 1199), BACKGROUND, 0));

  const DWORD style = dialog->GetStyle();
  EXPECT_EQ(style & WS_CAPTION, 0u);
  EXPECT_NE(style & WS_POPUP, 0u);
  EXPECT_NE(dialog->GetExStyle() & WS_EX_LAYERED, 0u);

  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const POINT origin = LayeredDialogCentre(work, 1560, 1240);
  RECT rect{};
  ::GetWindowRect(dialog->GetSafeHwnd(), &rect);
  EXPECT_EQ(rect.left, origin.x);
  EXPECT_EQ(rect.top, origin.y);
  EXPECT_EQ(rect.right - rect.left, 1560);
  EXPECT_EQ(rect.bottom - rect.top, 1240);
}

TEST(LayeredDialog, HalfScaleBackgroundGivesAHalfSizeWindow) {
  auto dialog =
      MakeDialog([](CSkinTestDialog& d) { d.SetBackgroundImage(129, L"IMG", TestModule(), 0.5); });
  RECT rect{};
  ::GetWindowRect(dialog->GetSafeHwnd(), &rect);
  EXPECT_EQ(rect.right - rect.left, 780);
  EXPECT_EQ(rect.bottom - rect.top, 620);
  EXPECT_TRUE(Near(dialog->Last().At(19, 300), CLEAR, 0));
  EXPECT_TRUE(Near(dialog->Last().At(390, 310), BACKGROUND, 0));
}

TEST(LayeredDialog, WithoutABackgroundNothingIsLayeredOrDrawn) {
  auto dialog = MakeDialog([](CSkinTestDialog& d) { d.AddSkinCtrl(&d.m_lblMessage); });
  dialog->Compose();
  dialog->m_lblMessage.SetWindowTextW(L"changed");
  EXPECT_EQ(dialog->Compositions(), 0);
  EXPECT_EQ(dialog->GetExStyle() & WS_EX_LAYERED, 0u);
}

TEST(LayeredDialog, ABackgroundWithoutPixelsShowsNothing) {
  auto dialog =
      MakeDialog([](CSkinTestDialog& d) { d.SetBackgroundImage(149, L"IMG", TestModule(), 1.0); });
  EXPECT_EQ(dialog->Compositions(), 0);
  RECT rect{};
  ::GetWindowRect(dialog->GetSafeHwnd(), &rect);
  EXPECT_EQ(rect.right - rect.left, 0);
  EXPECT_EQ(rect.bottom - rect.top, 0);
}

TEST(LayeredDialog, RegistrationOrderIsDrawingOrder) {
  const struct {
    bool markerFirst;
    Rgba onTop;
  } cases[] = {{true, CAUTION}, {false, MARKER}};
  for (const auto& c : cases) {
    auto dialog = MakeDialog([&](CSkinTestDialog& d) { TwoOverlappingLabels(d, c.markerFirst); });
    const Surface& s = dialog->Last();
    EXPECT_TRUE(Near(s.At(105, 105), MARKER, 0));
    EXPECT_TRUE(Near(s.At(120, 120), c.onTop, 0)) << c.markerFirst;
    EXPECT_TRUE(Near(s.At(150, 145), CAUTION, 0));
    EXPECT_TRUE(Near(s.At(150, 160), BACKGROUND, 0));
  }
}

TEST(LayeredDialog, HiddenControlsAreSkippedAndShownAgainOnlyOnAChange) {
  auto dialog = MakeDialog([](CSkinTestDialog& d) { TwoOverlappingLabels(d, true); });
  CSkinLabel& caution = dialog->m_lblSpinner;
  const RECT before = caution.GetRectInParent();

  const int start = dialog->Compositions();
  caution.ShowCtrl(SW_HIDE);
  EXPECT_EQ(dialog->Compositions(), start + 1);
  EXPECT_FALSE(caution.IsShown());
  EXPECT_TRUE(Near(dialog->Last().At(120, 120), MARKER, 0));
  EXPECT_TRUE(Near(dialog->Last().At(150, 145), BACKGROUND, 0));
  const RECT after = caution.GetRectInParent();
  EXPECT_EQ(after.left, before.left);
  EXPECT_EQ(after.top, before.top);

  caution.ShowCtrl(SW_HIDE);  // no change, no composition
  EXPECT_EQ(dialog->Compositions(), start + 1);
  caution.ShowCtrl(SW_SHOW);
  EXPECT_EQ(dialog->Compositions(), start + 2);
  EXPECT_TRUE(Near(dialog->Last().At(150, 145), CAUTION, 0));
}

TEST(LayeredDialog, AControlRegisteredTwiceIsDrawnTwice) {
  // The right half of picture 137 has alpha one half; over the transparent margin a second
  // draw raises the alpha to about three quarters.
  const struct {
    int registrations;
    int alpha;
  } cases[] = {{1, 127}, {2, 191}};
  for (const auto& c : cases) {
    auto dialog = MakeDialog([&](CSkinTestDialog& d) {
      WithBackground(d);
      d.m_lblMessage.SetImage(137, L"IMG", TestModule(), 1.0);
      Place(d.m_lblMessage, 0, 0, 368, 76);
      for (int i = 0; i < c.registrations; ++i)
        d.AddSkinCtrl(&d.m_lblMessage);
    });
    EXPECT_NEAR(dialog->Last().At(300, 20).a, c.alpha, 2) << c.registrations;
    EXPECT_EQ(dialog->Children().size(), static_cast<size_t>(c.registrations));
  }
}

TEST(LayeredDialog, ControlChangesComposeAndDialogChangesDoNot) {
  auto dialog = MakeDialog([](CSkinTestDialog& d) {
    WithBackground(d);
    d.AddSkinCtrl(&d.m_lblMessage);
  });
  CSkinLabel& label = dialog->m_lblMessage;
  HWND hwnd = label.GetSafeHwnd();
  struct Step {
    const char* what;
    std::function<void()> act;
    int composes;
    int disabled;
  };
  const Step steps[] = {
      {"text", [&] { label.SetWindowTextW(L"a"); }, 1, 0},
      {"move", [&] { ::SetWindowPos(hwnd, nullptr, 5, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER); }, 1, 0},
      {"size", [&] { ::SetWindowPos(hwnd, nullptr, 0, 0, 20, 20, SWP_NOMOVE | SWP_NOZORDER); }, 1,
       0},
      {"enable 2 counts as disabled", [&] { ::SendMessageW(hwnd, WM_ENABLE, 2, 0); }, 1, 1},
      {"disabled again", [&] { ::SendMessageW(hwnd, WM_ENABLE, 0, 0); }, 0, 1},
      {"enabled", [&] { ::SendMessageW(hwnd, WM_ENABLE, 1, 0); }, 1, 0},
      {"label look setters",
       [&] {
         label.SetTextColor(0xFFFF0000);
         label.SetAlignment(0, 0);
       },
       0, 0},
      {"dialog moved",
       [&] {
         ::SetWindowPos(dialog->GetSafeHwnd(), nullptr, 3, 3, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
       },
       0, 0},
  };
  for (const Step& step : steps) {
    const int before = dialog->Compositions();
    step.act();
    EXPECT_EQ(dialog->Compositions() - before, step.composes) << step.what;
    EXPECT_EQ(label.IsDisabled() ? 1 : 0, step.disabled) << step.what;
  }
}

TEST(LayeredDialog, PressOnTheBackgroundStartsTheSystemMove) {
  auto dialog = MakeDialog(WithBackground);
  const int before = dialog->Compositions();
  ::SendMessageW(dialog->GetSafeHwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(200, 200));
  EXPECT_EQ(dialog->sysCommands, std::vector<UINT>{SC_MOVE | HTCAPTION});
  EXPECT_EQ(dialog->Compositions(), before);
}

TEST(LayeredDialog, ReleaseSkinForgetsControlsAndBackground) {
  auto dialog = MakeDialog([](CSkinTestDialog& d) { TwoOverlappingLabels(d, true); });
  dialog->ReleaseSkin();
  EXPECT_TRUE(dialog->Children().empty());
  EXPECT_EQ(dialog->Background(), nullptr);
  const int before = dialog->Compositions();
  dialog->Compose();
  EXPECT_EQ(dialog->Compositions(), before);
  dialog->ReleaseSkin();  // again: nothing left to release
}

TEST(LayeredDialogCentre, HalvesTruncateTowardZero) {
  const struct {
    RECT work;
    int width, height;
    POINT expected;
  } cases[] = {
      {{0, 0, 1920, 1040}, 1560, 1240, {180, -100}},
      {{0, 0, 1920, 1040}, 780, 1241, {570, -100}},  // -201 / 2 is -100, not -101
      {{0, 0, 1920, 1039}, 780, 620, {570, 209}},    // 419 / 2 is 209
      {{100, 50, 1380, 770}, 1281, 721, {100, 50}},  // -1 / 2 is 0
      {{-1920, 0, 0, 1080}, 780, 620, {-1350, 230}},
  };
  for (const auto& c : cases) {
    const POINT p = LayeredDialogCentre(c.work, c.width, c.height);
    EXPECT_EQ(p.x, c.expected.x) << c.width << "x" << c.height;
    EXPECT_EQ(p.y, c.expected.y) << c.width << "x" << c.height;
  }
}

}  // namespace

namespace {

TEST(LayeredDialog, AControlHiddenOrShownBehindTheToolkitsBackIsFollowed) {
  struct Case {
    const char* what;
    std::function<void(HWND, bool)> show;
  };
  const Case cases[] = {
      {"ShowWindow", [](HWND h, bool show) { ::ShowWindow(h, show ? SW_SHOW : SW_HIDE); }},
      {"SetWindowPos",
       [](HWND h, bool show) {
         ::SetWindowPos(h, nullptr, 0, 0, 0, 0,
                        SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE |
                            (show ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
       }},
  };
  for (const Case& c : cases) {
    auto dialog = MakeDialog([](CSkinTestDialog& d) { TwoOverlappingLabels(d, true); });
    CSkinLabel& caution = dialog->m_lblSpinner;
    const int start = dialog->Compositions();
    c.show(caution.GetSafeHwnd(), false);
    EXPECT_EQ(dialog->Compositions(), start + 1) << c.what;
    EXPECT_FALSE(caution.IsShown()) << c.what;
    EXPECT_TRUE(Near(dialog->Last().At(150, 145), BACKGROUND, 0)) << c.what;
    c.show(caution.GetSafeHwnd(), true);
    EXPECT_EQ(dialog->Compositions(), start + 2) << c.what;
    EXPECT_TRUE(Near(dialog->Last().At(150, 145), CAUTION, 0)) << c.what;
  }
}

TEST(LayeredDialog, OneChangeOfTheScreenComposesOnce) {
  auto dialog = MakeDialog([](CSkinTestDialog& d) { TwoOverlappingLabels(d, true); });
  CSkinLabel& label = dialog->m_lblMessage;
  struct Step {
    const char* what;
    std::function<void()> act;
  };
  const Step steps[] = {
      {"move with a resize",
       [&] { ::SetWindowPos(label.GetSafeHwnd(), nullptr, 300, 300, 40, 40, SWP_NOZORDER); }},
      {"label set up",
       [&] {
         label.SetImage(136, L"IMG", TestModule(), 1.0);
         label.SetWindowTextW(L"text");
         Place(label, 400, 400, 48, 43);
         label.ShowCtrl(SW_HIDE);
         label.ShowCtrl(SW_SHOW);
       }},
  };
  for (const Step& step : steps) {
    const int before = dialog->Compositions();
    step.act();
    EXPECT_EQ(dialog->Compositions() - before, 1) << step.what;
  }
  EXPECT_TRUE(Near(dialog->Last().At(402, 402), CAUTION, 0));
  EXPECT_TRUE(Near(dialog->Last().At(310, 310), BACKGROUND, 0));  // where it was before
}

// The spinner over the message text, the button beside them: what the wait loop composes.
void WaitScreen(CSkinTestDialog& d) {
  WithBackground(d);
  d.m_lblMessage.SetFont(L"Arial", 40.0f, 1, 2, 0);
  d.m_lblMessage.SetTextColor(0xFFFFFFFF);
  d.m_lblMessage.SetWindowTextW(L"Updating the firmware");
  Place(d.m_lblMessage, 100, 200, 700, 120);
  d.m_lblSpinner.SetImage(141, L"IMG", TestModule(), 1.0);
  Place(d.m_lblSpinner, 380, 190, 132, 132);
  d.m_btnUpdate.SetImages(137, 140, 139, 138, L"IMG", TestModule(), 1.0);
  d.m_btnUpdate.SetTextFont(L"Arial", 30.0f, 0, 2);
  d.m_btnUpdate.SetWindowTextW(L"Update");
  Place(d.m_btnUpdate, 450, 300, 368, 76);
  d.AddSkinCtrl(&d.m_lblMessage);
  d.AddSkinCtrl(&d.m_lblSpinner);
  d.AddSkinCtrl(&d.m_btnUpdate);
}

TEST(LayeredDialog, TurnsComposedInPartsMatchAFreshFullComposition) {
  auto turned = MakeDialog(WaitScreen);
  for (int turn = 0; turn < 11; ++turn) {
    turned->m_lblSpinner.SetImage(141 + turn % 8, L"IMG", TestModule(), 1.0);
    turned->Compose();
    if (turn == 4)
      ::SendMessageW(turned->m_btnUpdate.GetSafeHwnd(), WM_MOUSEHOVER, 0, 0);
    if (turn == 7)
      ::SendMessageW(turned->m_btnUpdate.GetSafeHwnd(), WM_MOUSELEAVE, 0, 0);
  }
  const Surface parts = turned->Snapshot();

  auto fresh = MakeDialog([](CSkinTestDialog& d) {
    WaitScreen(d);
    d.m_lblSpinner.SetImage(141 + 10 % 8, L"IMG", TestModule(), 1.0);
  });
  const Surface& full = fresh->Last();
  ASSERT_EQ(parts.width, full.width);
  ASSERT_EQ(parts.height, full.height);
  const Box box = DiffBox(parts, full, RECT{0, 0, full.width, full.height});
  EXPECT_TRUE(box.Empty()) << "differs in " << box.left << "," << box.top << " - " << box.right
                           << "," << box.bottom;
  EXPECT_FALSE(Near(full.At(440, 250), BACKGROUND, 0));  // the spinner is there
}

}  // namespace
