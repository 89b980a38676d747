// The layout pass of the main window: scale by the desktop size, pictures, fonts by language,
// texts, places, and the registration order that is also the composition order.
#include <algorithm>
#include <vector>

#include "app/lang_strings.h"
#include "app/update_dlg.h"
#include "app/update_layout.h"
#include "platform/win/framework/app.h"
#include "res/resource_ids.h"

namespace {

constexpr wchar_t IMG_TYPE[] = L"IMG";
constexpr wchar_t VERSION_FAMILY[] = L"Segoe UI";
constexpr int TEXT_CAPACITY = 512;
constexpr int UNIT_PIXEL = 2;
constexpr int ALIGN_NEAR = 0;
constexpr int ALIGN_CENTRE = 1;

void Place(CWnd& control, const LayoutRect& design, double scale) {
  const LayoutRect r = LayoutScaled(design, scale);
  ::SetWindowPos(control.GetSafeHwnd(), nullptr, r.x, r.y, r.width, r.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetLangText(CWnd& control, uint16_t langId, const wchar_t* key) {
  wchar_t text[TEXT_CAPACITY] = L"";
  LoadLangString(langId, key, text, TEXT_CAPACITY);
  control.SetWindowTextW(text);
}

void SetPicture(CSkinLabel& label, UINT id, double scale) {
  label.SetImage(id, IMG_TYPE, AppResourceModule(), scale);
}

struct CButtonLook {
  const wchar_t* key;
  LayoutRect place;
  UINT normal, disabled, hover, pressed;
  Gdiplus::ARGB colour;
};

}  // namespace

std::wstring UpdateVersionText(DWORD versionMs, DWORD versionLs) {
  wchar_t text[64];
  wsprintfW(text, L"V%d.%d.%d.%d", HIWORD(versionMs), LOWORD(versionMs), HIWORD(versionLs),
            LOWORD(versionLs));
  return text;
}

UpdateScreenMetrics CUpdateDlg::ReadScreenMetrics() {
  UpdateScreenMetrics metrics{};
  HDC screen = ::GetDC(nullptr);
  metrics.dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  metrics.uiLang = ::GetUserDefaultUILanguage();
  RECT desktop{};
  ::GetClientRect(::GetDesktopWindow(), &desktop);
  metrics.desktopWidth = desktop.right - desktop.left;
  metrics.desktopHeight = desktop.bottom - desktop.top;
  return metrics;
}

void CUpdateDlg::Register(CSkinCtrl& control) {
  // A repeated pass keeps the first registration, and with it the composition order.
  const auto& children = Children();
  if (std::find(children.begin(), children.end(), &control) == children.end())
    AddSkinCtrl(&control);
}

void CUpdateDlg::SetVersionText() {
  wchar_t path[1024] = L"";
  if (::GetModuleFileNameW(nullptr, path, 1024) == 0)
    return;
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0)
    return;
  std::vector<BYTE> block(size);
  if (!::GetFileVersionInfoW(path, 0, size, block.data()))
    return;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
      info == nullptr || length < sizeof(VS_FIXEDFILEINFO))
    return;
  std::wstring text = UpdateVersionText(info->dwFileVersionMS, info->dwFileVersionLS);
  if (m_emulated)
    text += UPDATE_EMULATED_VERSION_LINE;
  m_lblVersion.SetWindowTextW(text.c_str());
}

void CUpdateDlg::LayoutVersion(double scale, int dpi) {
  m_lblVersion.SetTextColor(LAYOUT_VERSION_COLOUR);
  m_lblVersion.SetAlignment(ALIGN_NEAR, ALIGN_NEAR);
  m_lblVersion.SetFont(VERSION_FAMILY, LayoutFontPixels(LAYOUT_VERSION_POINTS, scale, dpi), 0,
                       UNIT_PIXEL, 0);
  Place(m_lblVersion, LAYOUT_VERSION, scale);
  SetVersionText();
  Register(m_lblVersion);
}

void CUpdateDlg::LayoutSkin() {
  const UpdateScreenMetrics metrics = ReadScreenMetrics();
  const int32_t fullScale = LayoutFullScale(metrics.desktopWidth, metrics.desktopHeight) ? 1 : 0;
  if (m_fullScale == fullScale)
    return;
  m_fullScale = fullScale;
  const double scale = fullScale != 0 ? 1.0 : 0.5;
  const LayoutFonts fonts = LayoutFontsFor(metrics.uiLang);
  const float textPixels = LayoutFontPixels(LAYOUT_TEXT_POINTS, scale, metrics.dpi);
  HINSTANCE module = AppResourceModule();

  SetBackgroundImage(IMG_BACKGROUND, IMG_TYPE, module, scale);
  LayoutVersion(scale, metrics.dpi);

  Place(m_btnClose, LAYOUT_CLOSE, scale);
  m_btnClose.SetImages(IMG_CLOSE_NORMAL, IMG_CLOSE_DISABLED, IMG_CLOSE_HOVER, IMG_CLOSE_PRESSED,
                       IMG_TYPE, module, scale);
  Register(m_btnClose);

  const struct {
    CSkinLabel& label;
    LayoutRect place;
    UINT image;
    bool hidden;
  } pictures[] = {{m_lblBullet, LAYOUT_BULLET, IMG_MARKER, false},
                  {m_lblAcPicture, LAYOUT_AC_PICTURE, IMG_AC_PICTURE, false},
                  {m_lblCautionIcon, LAYOUT_CAUTION_ICON, IMG_CAUTION, true}};
  for (const auto& picture : pictures) {
    Place(picture.label, picture.place, scale);
    SetPicture(picture.label, picture.image, scale);
    if (picture.hidden)
      picture.label.ShowCtrl(SW_HIDE);
    Register(picture.label);
  }

  const auto layoutButton = [&](CSkinButton& button, const CButtonLook& look, bool hidden) {
    button.SetTextColor(look.colour);
    if (look.colour != LAYOUT_BUTTON_COLOUR) {
      button.SetHoverTextColor(LAYOUT_BUTTON_COLOUR);
      button.SetPressedTextColor(LAYOUT_BUTTON_COLOUR);
    }
    button.SetTextAlign(ALIGN_CENTRE, ALIGN_CENTRE);
    button.SetTextFont(fonts.buttonFamily, textPixels, fonts.buttonStyle, UNIT_PIXEL);
    SetLangText(button, m_langId, look.key);
    Place(button, look.place, scale);
    button.SetImages(look.normal, look.disabled, look.hover, look.pressed, IMG_TYPE, module, scale);
    if (hidden)
      button.ShowCtrl(SW_HIDE);
    Register(button);
  };
  const auto layoutText = [&](CSkinLabel& label, Gdiplus::ARGB colour, const LayoutRect& place,
                              const wchar_t* key, bool hidden) {
    label.SetTextColor(colour);
    label.SetAlignment(ALIGN_NEAR, ALIGN_NEAR);
    label.SetFont(fonts.textFamily, textPixels, 0, UNIT_PIXEL, 0);
    Place(label, place, scale);
    SetLangText(label, m_langId, key);
    if (hidden)
      label.ShowCtrl(SW_HIDE);
    Register(label);
  };

  const CButtonLook button{L"IDS_UPDATE",       LAYOUT_UPDATE,    IMG_BUTTON_NORMAL,
                           IMG_BUTTON_DISABLED, IMG_BUTTON_HOVER, IMG_BUTTON_PRESSED,
                           LAYOUT_BUTTON_COLOUR};
  layoutButton(m_btnUpdate, button, false);
  CButtonLook exit = button;
  exit.key = L"IDS_EXIT";
  layoutButton(m_btnExit, exit, true);
  layoutText(m_lblMessage, LAYOUT_MESSAGE_COLOUR, LAYOUT_MESSAGE, L"IDS_PROMPT", false);
  layoutText(m_lblCaution, LAYOUT_CAUTION_COLOUR, LAYOUT_CAUTION, L"IDS_CAUTION", true);

  Place(m_lblSpinner, LAYOUT_SPINNER, scale);
  SetPicture(m_lblSpinner, static_cast<UINT>(m_spinnerFrame), scale);
  m_lblSpinner.ShowCtrl(SW_HIDE);
  Register(m_lblSpinner);

  layoutButton(m_btnShutdown,
               {L"IDS_SHUTDOWN", LAYOUT_SHUTDOWN, IMG_WIDE_FILLED, 0, IMG_WIDE_HOVER,
                IMG_WIDE_PRESSED, LAYOUT_BUTTON_COLOUR},
               true);
  layoutButton(m_btnLater,
               {L"IDS_SHUTDOWN_LATER", LAYOUT_LATER, IMG_WIDE_LIGHT, 0, IMG_WIDE_HOVER,
                IMG_WIDE_PRESSED, LAYOUT_LATER_COLOUR},
               true);
}
