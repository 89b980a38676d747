// The skin button: its state table, which look each state shows, the derived looks checked
// pixel by pixel against their colour matrices, and the caption's rectangle and colour.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "tests/test_skin_support.h"

namespace {

constexpr int BX = 100, BY = 300, BW = 368, BH = 76;  // the button's place
constexpr RECT AROUND{BX - 2, BY - 2, BX + BW + 2, BY + BH + 2};
constexpr Rgba BACKGROUND{0x60, 0x40, 0x20, 255};

HWND Hwnd(CSkinButton& b) {
  return b.GetSafeHwnd();
}
void Send(CSkinButton& b, UINT message) {
  ::SendMessageW(Hwnd(b), message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(5, 5));
}
// Back to no flags: release, leave, enable.
void Reset(CSkinButton& b) {
  Send(b, WM_LBUTTONUP);
  Send(b, WM_MOUSELEAVE);
  ::EnableWindow(Hwnd(b), TRUE);
}

std::unique_ptr<CSkinTestDialog> ButtonDialog(UINT normal, UINT disabled, UINT hover, UINT pressed,
                                              const wchar_t* caption) {
  auto dialog = std::make_unique<CSkinTestDialog>();
  dialog->layout = [=](CSkinTestDialog& d) {
    d.SetBackgroundImage(129, L"IMG", TestModule(), 1.0);
    CSkinButton& b = d.m_btnUpdate;
    b.SetTextColor(0xFFFF0000);
    b.SetHoverTextColor(0xFF00FF00);
    b.SetPressedTextColor(0xFF0000FF);
    b.SetTextFont(L"Arial", 48.0f, 1, 2);
    b.SetWindowTextW(caption);
    Place(b, BX, BY, BW, BH);
    if (normal != 0)
      b.SetImages(normal, disabled, hover, pressed, L"IMG", TestModule(), 1.0);
    d.AddSkinCtrl(&b);
  };
  EXPECT_TRUE(dialog->Create());
  return dialog;
}

TEST(SkinButtonLook, FirstMatchingRowDecides) {
  const struct {
    UINT state;
    SkinState look;
  } cases[] = {
      {0, SkinState::Normal},
      {SKIN_PRESSED, SkinState::Normal},
      {SKIN_HOVER, SkinState::Hover},
      {SKIN_HOVER | SKIN_PRESSED, SkinState::Pressed},
      {SKIN_DISABLED, SkinState::Disabled},
      {SKIN_DISABLED | SKIN_HOVER | SKIN_PRESSED, SkinState::Disabled},
  };
  for (const auto& c : cases)
    EXPECT_EQ(SkinButtonLook(c.state), c.look) << c.state;
}

TEST(SkinButton, StateTableAndTheClickAfterTheStateIsCleared) {
  auto dialog = ButtonDialog(137, 140, 139, 138, L"");
  CSkinButton& b = dialog->m_btnUpdate;
  struct Step {
    const char* what;
    std::function<void()> act;
    UINT state;
    Rgba picture;  // at the button's inside
  };
  const Rgba normal{0x32, 0x64, 0xC8, 255}, hover{0xA0, 0x10, 0x10, 255},
      pressed{0x10, 0xA0, 0x10, 255}, disabled{0x60, 0x60, 0x60, 255};
  const Step steps[] = {
      {"hover", [&] { Send(b, WM_MOUSEHOVER); }, SKIN_HOVER, hover},
      {"press", [&] { Send(b, WM_LBUTTONDOWN); }, SKIN_HOVER | SKIN_PRESSED, pressed},
      {"release", [&] { Send(b, WM_LBUTTONUP); }, 0, normal},
      {"press before hover", [&] { Send(b, WM_LBUTTONDOWN); }, SKIN_PRESSED, normal},
      // Disabling takes the mouse from the button, and a press without the mouse is over.
      {"disabled while pressed", [&] { ::EnableWindow(Hwnd(b), FALSE); }, SKIN_DISABLED, disabled},
      {"enabled", [&] { ::EnableWindow(Hwnd(b), TRUE); }, 0, normal},
      {"leave", [&] { Send(b, WM_MOUSELEAVE); }, 0, normal},
  };
  for (const Step& step : steps) {
    const int before = dialog->Compositions();
    step.act();
    EXPECT_EQ(b.State(), step.state) << step.what;
    EXPECT_EQ(dialog->Compositions(), before + 1) << step.what;
    EXPECT_TRUE(Near(dialog->Last().At(BX + 20, BY + 20), step.picture, 0)) << step.what;
  }
  // The release over the button clicked it once, and the owner saw the cleared state.
  EXPECT_EQ(dialog->updateStatesAtClick, std::vector<UINT>{0});
}

TEST(SkinButton, TracksTheMouseOncePerEntry) {
  auto dialog = ButtonDialog(137, 0, 0, 0, L"");
  CSkinButton& b = dialog->m_btnUpdate;
  EXPECT_FALSE(b.Tracking());
  Send(b, WM_MOUSEMOVE);
  EXPECT_TRUE(b.Tracking());
  const int before = dialog->Compositions();
  Send(b, WM_MOUSEMOVE);
  EXPECT_EQ(dialog->Compositions(), before);  // moving composes nothing
  Send(b, WM_MOUSELEAVE);
  EXPECT_FALSE(b.Tracking());
}

TEST(SkinButton, WithoutANormalPictureOnlyShowingAndHidingCompose) {
  auto dialog = ButtonDialog(0, 0, 0, 0, L"");
  CSkinButton& b = dialog->m_btnUpdate;
  const int before = dialog->Compositions();
  Send(b, WM_MOUSEHOVER);
  Send(b, WM_LBUTTONDOWN);
  Send(b, WM_LBUTTONUP);
  ::EnableWindow(Hwnd(b), FALSE);
  b.SetWindowTextW(L"x");
  Place(b, 10, 10, 50, 50);
  EXPECT_EQ(dialog->Compositions(), before);
  // Disabled before any picture is set: the look follows once pictures come.
  EXPECT_EQ(b.State() & SKIN_DISABLED, SKIN_DISABLED);
  b.ShowCtrl(SW_HIDE);
  EXPECT_EQ(dialog->Compositions(), before + 1);
}

// Straight colour c through the matrix, clamped, then blended over an opaque background.
Rgba Derived(Gdiplus::ARGB src, const Gdiplus::ColorMatrix& m, const Rgba& bg) {
  const double in[5] = {((src >> 16) & 0xFF) / 255.0, ((src >> 8) & 0xFF) / 255.0,
                        (src & 0xFF) / 255.0, (src >> 24) / 255.0, 1.0};
  double out[4];
  for (int col = 0; col < 4; ++col) {
    double v = 0;
    for (int row = 0; row < 5; ++row)
      v += in[row] * m.m[row][col];
    out[col] = std::clamp(v, 0.0, 1.0);
  }
  const double a = out[3];
  auto over = [&](double c, int under) {
    return static_cast<int>(std::lround((c * a + under / 255.0 * (1 - a)) * 255));
  };
  return Rgba{over(out[2], bg.b), over(out[1], bg.g), over(out[0], bg.r), 255};
}

TEST(SkinButton, DerivedLooksFollowTheirMatricesPixelByPixel) {
  auto dialog = ButtonDialog(137, 0, 0, 0, L"");
  CSkinButton& b = dialog->m_btnUpdate;
  auto source = LoadSkinImage(137, L"IMG", TestModule(), 1.0);
  auto sourcePixel = [&](int x, int y) {
    Gdiplus::ARGB argb = 0;
    gdip::GdipBitmapGetPixel(static_cast<Gdiplus::GpBitmap*>(source->Native()), x, y, &argb);
    return argb;
  };
  const Gdiplus::ColorMatrix identity = {
      {{1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 0, 1, 0}, {0, 0, 0, 0, 1}}};
  struct Case {
    const char* look;
    std::function<void()> enter;
    const Gdiplus::ColorMatrix* matrix;
    int offset;
  };
  const Case cases[] = {
      {"disabled", [&] { ::EnableWindow(Hwnd(b), FALSE); }, &SKIN_GREY_MATRIX, 0},
      {"hover", [&] { Send(b, WM_MOUSEHOVER); }, &SKIN_BRIGHTEN_MATRIX, 0},
      {"pressed",
       [&] {
         Send(b, WM_MOUSEHOVER);
         Send(b, WM_LBUTTONDOWN);
       },
       &identity, 1},
  };
  for (const Case& c : cases) {
    c.enter();
    const Surface& s = dialog->Last();
    int mismatches = 0;
    for (int y = 0; y < BH; ++y) {
      for (int x = 0; x < BW; ++x) {
        const Rgba expected = Derived(sourcePixel(x, y), *c.matrix, BACKGROUND);
        const Rgba got = s.At(BX + c.offset + x, BY + c.offset + y);
        if (!Near(got, expected, 2) && ++mismatches <= 3) {
          ADD_FAILURE() << c.look << " at " << x << "," << y << ": got " << got.r << " " << got.g
                        << " " << got.b << " " << got.a << ", expected " << expected.r << " "
                        << expected.g << " " << expected.b;
        }
      }
    }
    EXPECT_EQ(mismatches, 0) << c.look;
    if (c.offset != 0) {  // the row and column the moved picture left uncovered
      EXPECT_TRUE(Near(s.At(BX, BY + 30), BACKGROUND, 0));
      EXPECT_TRUE(Near(s.At(BX + 30, BY), BACKGROUND, 0));
    }
    Reset(b);
  }
}

TEST(SkinButton, CaptionRectangleAndColourByState) {
  auto dialog = ButtonDialog(137, 140, 139, 138, L"HH");
  CSkinButton& b = dialog->m_btnUpdate;
  const Rgba red{0, 0, 255, 255}, green{0, 255, 0, 255}, blue{255, 0, 0, 255};
  struct Case {
    const char* state;
    std::function<void()> enter;
    Rgba colour;
    int offset;
  };
  const Case cases[] = {
      {"normal", [] {}, red, 0},
      {"hover", [&] { Send(b, WM_MOUSEHOVER); }, green, 0},
      {"hover and pressed",
       [&] {
         Send(b, WM_MOUSEHOVER);
         Send(b, WM_LBUTTONDOWN);
       },
       blue, 1},
      {"pressed before hover", [&] { Send(b, WM_LBUTTONDOWN); }, blue, 1},
      {"disabled", [&] { ::EnableWindow(Hwnd(b), FALSE); }, red, 0},
      // Disabling ends the press (the button loses the mouse): the normal caption.
      {"disabled while pressed",
       [&] {
         Send(b, WM_LBUTTONDOWN);
         ::EnableWindow(Hwnd(b), FALSE);
       },
       red, 0},
  };
  Box reference;
  for (const Case& c : cases) {
    c.enter();
    const Surface with = dialog->Last();
    b.SetWindowTextW(L"");
    const Surface without = dialog->Last();
    b.SetWindowTextW(L"HH");
    const Box box = DiffBox(with, without, AROUND);
    ASSERT_FALSE(box.Empty()) << c.state << ": no caption drawn";
    EXPECT_GT(CountColour(with, AROUND, c.colour), 20) << c.state;
    for (const Rgba& other : {red, green, blue}) {
      if (!Near(other, c.colour, 0)) {
        EXPECT_EQ(CountColour(with, AROUND, other), 0) << c.state;
      }
    }
    if (reference.Empty())
      reference = box;  // the normal state comes first
    EXPECT_EQ(box.left, reference.left + c.offset) << c.state;
    EXPECT_EQ(box.top, reference.top + c.offset) << c.state;
    Reset(b);
  }
  // Centred both ways in the button's rectangle.
  EXPECT_NEAR((reference.left + reference.right) / 2, BX + BW / 2, 3);
  EXPECT_NEAR((reference.top + reference.bottom) / 2, BY + BH / 2, 8);
}

TEST(SkinButton, SecondSetImagesReplacesEveryPictureAndReleaseSkinIsIdempotent) {
  auto dialog = ButtonDialog(137, 140, 139, 138, L"");
  CSkinButton& b = dialog->m_btnUpdate;
  b.SetImages(150, 0, 0, 0, L"IMG", TestModule(), 1.0);
  Send(b, WM_MOUSEHOVER);  // hover is now derived from the new normal picture
  const Rgba got = dialog->Last().At(BX + 20, BY + 20);
  EXPECT_TRUE(Near(got, Derived(0xFF3070D0, SKIN_BRIGHTEN_MATRIX, BACKGROUND), 2));
  b.ReleaseSkin();
  b.ReleaseSkin();
  const Surface& s = dialog->Snapshot();
  EXPECT_TRUE(Near(s.At(BX + 20, BY + 20), BACKGROUND, 0));
}

}  // namespace

namespace {

const Rgba NORMAL_137{0x32, 0x64, 0xC8, 255}, HOVER_139{0xA0, 0x10, 0x10, 255},
    PRESSED_138{0x10, 0xA0, 0x10, 255}, DISABLED_140{0x60, 0x60, 0x60, 255};

TEST(SkinButton, DisabledBeforeItsPicturesOrByItsStyleShowsTheDisabledLook) {
  struct Case {
    const char* what;
    bool createdDisabled;
  };
  const Case cases[] = {{"disabled before the pictures", false}, {"created disabled", true}};
  for (const Case& c : cases) {
    auto dialog = ButtonDialog(0, 0, 0, 0, L"");
    CSkinButton extra;
    CSkinButton* b = &dialog->m_btnUpdate;
    if (c.createdDisabled) {
      HWND hwnd =
          ::CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_DISABLED, BX, BY, BW, BH,
                            dialog->GetSafeHwnd(), nullptr, ::GetModuleHandleW(nullptr), nullptr);
      ASSERT_TRUE(extra.SubclassWindow(hwnd)) << c.what;
      dialog->m_btnUpdate.ShowCtrl(SW_HIDE);
      dialog->AddSkinCtrl(&extra);
      b = &extra;
    } else {
      ::EnableWindow(Hwnd(*b), FALSE);
    }
    b->SetImages(137, 140, 139, 138, L"IMG", TestModule(), 1.0);
    const Surface& s = dialog->Snapshot();
    EXPECT_EQ(b->State() & SKIN_DISABLED, SKIN_DISABLED) << c.what;
    EXPECT_TRUE(Near(s.At(BX + 20, BY + 20), DISABLED_140, 0)) << c.what;
    extra.UnsubclassWindow();
  }
}

TEST(SkinButton, ThePressEndsWhenTheButtonLosesTheMouse) {
  struct Case {
    const char* what;
    std::function<void(CSkinButton&)> lose;
  };
  const Case cases[] = {
      {"capture taken", [](CSkinButton&) { ::ReleaseCapture(); }},
      {"mode cancelled", [](CSkinButton& b) { Send(b, WM_CANCELMODE); }},
  };
  for (const Case& c : cases) {
    auto dialog = ButtonDialog(137, 140, 139, 138, L"");
    CSkinButton& b = dialog->m_btnUpdate;
    Send(b, WM_MOUSEHOVER);
    Send(b, WM_LBUTTONDOWN);
    ASSERT_TRUE(Near(dialog->Last().At(BX + 20, BY + 20), PRESSED_138, 0)) << c.what;
    c.lose(b);
    EXPECT_EQ(b.State(), SKIN_HOVER) << c.what;
    EXPECT_TRUE(Near(dialog->Last().At(BX + 20, BY + 20), HOVER_139, 0)) << c.what;
  }
}

TEST(SkinButton, TheSecondPressOfADoubleClickShowsThePressedLook) {
  auto dialog = ButtonDialog(137, 140, 139, 138, L"");
  CSkinButton& b = dialog->m_btnUpdate;
  Send(b, WM_MOUSEHOVER);
  Send(b, WM_LBUTTONDOWN);
  Send(b, WM_LBUTTONUP);
  Send(b, WM_MOUSEHOVER);
  ::SendMessageW(Hwnd(b), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
  EXPECT_EQ(b.State(), SKIN_HOVER | SKIN_PRESSED);
  EXPECT_TRUE(Near(dialog->Last().At(BX + 20, BY + 20), PRESSED_138, 0));
  Send(b, WM_LBUTTONUP);
  EXPECT_TRUE(Near(dialog->Last().At(BX + 20, BY + 20), NORMAL_137, 0));
  EXPECT_EQ(dialog->updateStatesAtClick.size(), 2u);  // both clicks reached the owner
}

}  // namespace
