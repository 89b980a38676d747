// The main window in-process under the emulated notebook: layout, screens after every move of
// the update flow, the result messages, the spinner, a display change, and the refusals to end
// while an attempt runs.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/emulated_session.h"
#include "app/lang_strings.h"
#include "app/update_dlg.h"
#include "app/update_layout.h"
#include "emulator/emulated_power.h"
#include "emulator/notebook_ini.h"
#include "engine/acpi_channel.h"
#include "res/resource_ids.h"
#include "tests/notebook_fixture.h"

namespace {

constexpr UINT WM_PROBE = WM_APP + 1;
constexpr int ALL_IDS[] = {IDC_EXIT,    IDC_CLOSE,   IDC_UPDATE,     IDC_SHUTDOWN,
                           IDC_LATER,   IDC_BULLET,  IDC_AC_PICTURE, IDC_CAUTION_ICON,
                           IDC_MESSAGE, IDC_CAUTION, IDC_SPINNER,    IDC_VERSION};

constexpr UpdateScreenMetrics SCREEN_1080{1920, 1080, 96, 0x0409};
constexpr UpdateScreenMetrics SCREEN_1440{2560, 1440, 96, 0x0409};

class CTestUpdateDlg : public CUpdateDlg {
 public:
  CTestUpdateDlg() : CUpdateDlg(nullptr) { m_langId = 0x0409; }

  UpdateScreenMetrics metrics = SCREEN_1080;
  // Set: the thread cannot be made, with this system error.
  DWORD threadError = 0;
  // Set: runs inside the wait loop while the worker is held back, then lets it go.
  std::function<void(CTestUpdateDlg&)> duringWork;
  std::vector<DWORD> surface;
  int surfaceWidth = 0;

  using CUpdateDlg::OnSurfaceComposed;
  using CUpdateDlg::SpinnerTurn;

  void Press(int id) {
    ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(m_hWnd, id)));
  }
  std::wstring Message() const { return m_lblMessage.GetWindowTextW(); }

 protected:
  UpdateScreenMetrics ReadScreenMetrics() override { return metrics; }

  HANDLE StartWorkerThread() override {
    if (threadError != 0) {
      ::SetLastError(threadError);
      return nullptr;
    }
    if (!duringWork)
      return CUpdateDlg::StartWorkerThread();
    m_release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::PostMessageW(m_hWnd, WM_PROBE, 0, 0);
    return ::CreateThread(nullptr, 0, &HeldWorker, this, 0, nullptr);
  }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message != WM_PROBE)
      return CUpdateDlg::WindowProc(message, wParam, lParam);
    duringWork(*this);
    ::SetEvent(m_release);
    return 0;
  }

  void OnSurfaceComposed(const DWORD* pixels, int width, int height) override {
    surface.assign(pixels, pixels + static_cast<size_t>(width) * height);
    surfaceWidth = width;
  }

 private:
  static DWORD WINAPI HeldWorker(void* self) {
    auto* dlg = static_cast<CTestUpdateDlg*>(self);
    ::WaitForSingleObject(dlg->m_release, 20000);
    ::CloseHandle(dlg->m_release);
    return UpdateWorker(static_cast<CUpdateState*>(dlg));
  }

  HANDLE m_release = nullptr;
};

struct ScreenSet {
  std::set<int> shown;
  std::set<int> disabled;  // among the shown
  bool operator==(const ScreenSet&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ScreenSet& set) {
  out << "shown {";
  for (int id : set.shown)
    out << " " << id;
  out << " } disabled {";
  for (int id : set.disabled)
    out << " " << id;
  return out << " }";
}

ScreenSet ReadScreen(const CUpdateDlg& dlg) {
  ScreenSet set;
  for (int id : ALL_IDS) {
    HWND control = ::GetDlgItem(dlg.GetSafeHwnd(), id);
    if ((::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) == 0)
      continue;
    set.shown.insert(id);
    if (!::IsWindowEnabled(control))
      set.disabled.insert(id);
  }
  return set;
}

// The controls every screen shows, plus the screen's own.
ScreenSet Screen(std::set<int> own, std::set<int> disabled = {}) {
  own.insert({IDC_VERSION, IDC_CLOSE, IDC_BULLET, IDC_MESSAGE});
  return {own, disabled};
}

const ScreenSet START = Screen({IDC_AC_PICTURE, IDC_UPDATE});
const ScreenSet BATTERY = Screen({IDC_AC_PICTURE, IDC_UPDATE, IDC_CAUTION_ICON, IDC_CAUTION});
const ScreenSet NO_DEVICE = Screen({IDC_EXIT});
const ScreenSet WORKING = Screen({IDC_EXIT, IDC_SPINNER}, {IDC_EXIT, IDC_CLOSE});
const ScreenSet SUCCESS = Screen({IDC_SHUTDOWN, IDC_LATER});
const ScreenSet FAILURE = Screen({IDC_EXIT});

std::wstring Text(const wchar_t* key) {
  wchar_t text[512] = L"";
  LoadLangString(0x0409, key, text, 512);
  return text;
}

void Pump() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

// An emulated notebook with the language file and a newer image in its data folder, installed
// as the window's platform for the test.
class UpdateWindow : public ::testing::Test {
 protected:
  void Start(const std::string& platform = "", const std::string& faults = "",
             int imageVersion = 0x17) {
    m_dlg.reset();
    m_session.reset();
    const std::filesystem::path shipped = PlatformDataFolder() + L"\\Update.ini";
    m_folder = std::make_unique<CNotebookFolder>();
    m_folder->WriteNotebook(platform, faults);
    std::filesystem::create_directories(m_folder->Data());
    std::filesystem::copy_file(shipped, m_folder->Data() / "Update.ini");
    if (imageVersion != 0)
      m_folder->WriteImage("newer.bin", FixtureImage(static_cast<uint8_t>(imageVersion)));
    m_session = CEmulatedSession::Start(m_folder->Root());
    ASSERT_TRUE(m_session);
  }
  CTestUpdateDlg& Open(const UpdateScreenMetrics& metrics = SCREEN_1080) {
    m_dlg = std::make_unique<CTestUpdateDlg>();
    m_dlg->metrics = metrics;
    EXPECT_TRUE(m_dlg->Create());
    return *m_dlg;
  }
  void TearDown() override {
    m_dlg.reset();
    m_session.reset();
  }
  std::vector<std::string> Exchange() { return m_session->Notebook().Record().Summary(); }
  void SetAcOnline(const char* value) {
    std::string text;
    EmuReadFile(m_folder->Root() / "notebook.ini", text);
    CNotebookIni ini = CNotebookIni::Parse(text);
    ini.Set("Platform", "AcOnline", value);
    m_folder->WriteText("notebook.ini", ini.Text());
  }

  std::unique_ptr<CNotebookFolder> m_folder;
  std::unique_ptr<CEmulatedSession> m_session;
  std::unique_ptr<CTestUpdateDlg> m_dlg;
};

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST_F(UpdateWindow, LayoutByDesktopSize) {
  Start();
  struct Case {
    UpdateScreenMetrics metrics;
    double scale;
  };
  const Case cases[] = {{SCREEN_1080, 0.5},
                        {{1366, 768, 96, 0x409}, 0.5},
                        {SCREEN_1440, 1.0},
                        {{1920, 1200, 96, 0x409}, 1.0}};
  const struct {
    int id;
    LayoutRect design;
  } places[] = {{IDC_VERSION, LAYOUT_VERSION},
                {IDC_CLOSE, LAYOUT_CLOSE},
                {IDC_BULLET, LAYOUT_BULLET},
                {IDC_AC_PICTURE, LAYOUT_AC_PICTURE},
                {IDC_CAUTION_ICON, LAYOUT_CAUTION_ICON},
                {IDC_UPDATE, LAYOUT_UPDATE},
                {IDC_EXIT, LAYOUT_UPDATE},
                {IDC_MESSAGE, LAYOUT_MESSAGE},
                {IDC_CAUTION, LAYOUT_CAUTION},
                {IDC_SPINNER, LAYOUT_SPINNER},
                {IDC_SHUTDOWN, LAYOUT_SHUTDOWN},
                {IDC_LATER, LAYOUT_LATER}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.metrics.desktopWidth) + "x" +
                 std::to_string(c.metrics.desktopHeight));
    CTestUpdateDlg& dlg = Open(c.metrics);
    EXPECT_EQ(dlg.m_fullScale, c.scale == 1.0 ? 1 : 0);
    const int width = c.scale == 1.0 ? 1560 : 780;
    const int height = c.scale == 1.0 ? 1240 : 620;
    RECT window{};
    ::GetWindowRect(dlg.GetSafeHwnd(), &window);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const POINT centre = LayeredDialogCentre(work, width, height);
    EXPECT_EQ(window.left, centre.x);
    EXPECT_EQ(window.top, centre.y);
    EXPECT_EQ(window.right - window.left, width);
    EXPECT_EQ(window.bottom - window.top, height);
    for (const auto& place : places) {
      CWnd* control = CWnd::FromHandlePermanent(::GetDlgItem(dlg.GetSafeHwnd(), place.id));
      ASSERT_NE(control, nullptr) << place.id;
      const RECT r = control->GetRectInParent();
      const LayoutRect expected = LayoutScaled(place.design, c.scale);
      EXPECT_EQ(r.left, expected.x) << place.id;
      EXPECT_EQ(r.top, expected.y) << place.id;
      EXPECT_EQ(r.right - r.left, expected.width) << place.id;
      EXPECT_EQ(r.bottom - r.top, expected.height) << place.id;
    }
    EXPECT_EQ(dlg.Children().size(), 12u);
    m_dlg.reset();
  }
}

TEST_F(UpdateWindow, StartScreenTextsTitleAndVersion) {
  Start();
  CTestUpdateDlg& dlg = Open();
  EXPECT_EQ(ReadScreen(dlg), START);
  EXPECT_EQ(dlg.Message(), Text(L"IDS_PROMPT"));
  EXPECT_EQ(dlg.m_btnUpdate.GetWindowTextW(), Text(L"IDS_UPDATE"));
  EXPECT_EQ(dlg.m_lblCaution.GetWindowTextW(), Text(L"IDS_CAUTION"));
  EXPECT_EQ(dlg.m_btnLater.GetWindowTextW(), Text(L"IDS_SHUTDOWN_LATER"));
  EXPECT_EQ(dlg.GetWindowTextW(), L"Kelvane");
  EXPECT_EQ(dlg.m_lblVersion.GetWindowTextW(), L"V1.0.0.8");
  // Composition order is registration order: the version label first, the later button last.
  ASSERT_EQ(dlg.Children().size(), 12u);
  EXPECT_EQ(dlg.Children().front(), &dlg.m_lblVersion);
  EXPECT_EQ(dlg.Children().back(), &dlg.m_btnLater);

  m_dlg = std::make_unique<CTestUpdateDlg>();
  m_dlg->SetEmulated(true);
  ASSERT_TRUE(m_dlg->Create());
  EXPECT_EQ(m_dlg->GetWindowTextW(), L"Kelvane \u00B7 emulated");
  EXPECT_EQ(m_dlg->m_lblVersion.GetWindowTextW(), L"V1.0.0.8\nemulated");
}

TEST_F(UpdateWindow, FullUpdateReachesSuccess) {
  Start();
  CTestUpdateDlg& dlg = Open();
  dlg.Press(IDC_UPDATE);
  EXPECT_EQ(dlg.m_result, UR_OK);
  EXPECT_EQ(ReadScreen(dlg), SUCCESS);
  EXPECT_EQ(dlg.Message(), Text(L"IDS_SUCCESS"));
  EXPECT_EQ(m_session->Notebook().Controller().Version(), 0x17u);
}

TEST_F(UpdateWindow, FailuresShowTheirMessage) {
  struct Case {
    const char* name;
    std::string platform, faults;
    int image;
    UpdateResult result;
    std::wstring message;
  };
  const Case cases[] = {
      {"no software", "ThunderboltSoftware=absent", "", 0x17, UR_NO_TBT_SOFTWARE,
       Text(L"IDS_FIND_NO_SW")},
      {"downgrade", "", "", 0x15, UR_DOWNGRADE_REFUSED, Text(L"IDS_DOWNGRADE")},
      {"no image", "", "", 0, UR_NO_IMAGE, Text(L"IDS_ERROR") + L" (0X10430005)"},
      {"provider code", "", "UpdateReturnValue=5", 0x17, 5, Text(L"IDS_ERROR") + L" (0X00000005)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(c.platform, c.faults, c.image);
    CTestUpdateDlg& dlg = Open();
    dlg.Press(IDC_UPDATE);
    EXPECT_EQ(dlg.m_result, c.result);
    EXPECT_EQ(ReadScreen(dlg), FAILURE);
    EXPECT_EQ(dlg.Message(), c.message);
  }
}

TEST_F(UpdateWindow, NoControlDevice) {
  Start("AcpiDevice=absent");
  CTestUpdateDlg& dlg = Open();
  dlg.Press(IDC_UPDATE);
  EXPECT_EQ(dlg.m_result, UR_NO_ACPI_DEVICE);
  EXPECT_EQ(ReadScreen(dlg), NO_DEVICE);
  EXPECT_EQ(dlg.Message(), Text(L"IDS_FIND_NO_QVR"));
  EXPECT_FALSE(::IsWindowEnabled(dlg.m_btnUpdate.GetSafeHwnd()));
}

TEST_F(UpdateWindow, BatteryWarningThenAcReturns) {
  Start("AcOnline=0");
  CTestUpdateDlg& dlg = Open();
  dlg.Press(IDC_UPDATE);
  EXPECT_EQ(ReadScreen(dlg), BATTERY);
  EXPECT_EQ(dlg.Message(), Text(L"IDS_PROMPT"));
  EXPECT_FALSE(Contains(Exchange(), "DEVS 1"));

  SetAcOnline("1");
  dlg.Press(IDC_UPDATE);
  EXPECT_EQ(ReadScreen(dlg), SUCCESS);
  // The device stayed open from the first press: one open in all.
  int opens = 0;
  for (const EmuEvent& e : m_session->Notebook().Record().Events())
    opens += e.kind == EmuEventKind::DeviceOpen ? 1 : 0;
  EXPECT_EQ(opens, 1);
}

TEST_F(UpdateWindow, WorkingScreenRefusesEveryEnding) {
  Start();
  CTestUpdateDlg& dlg = Open();
  ScreenSet during;
  LRESULT queryEnd = -1;
  bool visibleAfterTries = false;
  dlg.duringWork = [&](CTestUpdateDlg& d) {
    during = ReadScreen(d);
    HWND hwnd = d.GetSafeHwnd();
    ::SendMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);     // Esc
    ::SendMessageW(hwnd, WM_COMMAND, IDOK, 0);         // Enter
    ::SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);  // Alt+F4, the task bar's close
    ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
    d.Press(IDC_CLOSE);
    queryEnd = ::SendMessageW(hwnd, WM_QUERYENDSESSION, 0, 0);
    visibleAfterTries = ::IsWindowVisible(hwnd) != FALSE;
  };
  dlg.Press(IDC_UPDATE);
  EXPECT_EQ(during, WORKING);
  EXPECT_EQ(queryEnd, FALSE);
  EXPECT_TRUE(visibleAfterTries);
  EXPECT_EQ(ReadScreen(dlg), SUCCESS);
  // Afterwards the session may end and the window may close again.
  EXPECT_NE(::SendMessageW(dlg.GetSafeHwnd(), WM_QUERYENDSESSION, 0, 0), FALSE);
  ::SendMessageW(dlg.GetSafeHwnd(), WM_CLOSE, 0, 0);
  Pump();
  EXPECT_FALSE(::IsWindowVisible(dlg.GetSafeHwnd()));
}

TEST_F(UpdateWindow, ThreadThatCannotStartEndsOnFailure) {
  Start();
  CTestUpdateDlg& dlg = Open();
  dlg.threadError = ERROR_NOT_ENOUGH_MEMORY;
  dlg.Press(IDC_UPDATE);
  EXPECT_EQ(dlg.m_result, static_cast<UpdateResult>(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(ReadScreen(dlg), FAILURE);
  EXPECT_EQ(dlg.Message(), Text(L"IDS_ERROR") + L" (0X00000008)");
  const auto exchange = Exchange();
  EXPECT_TRUE(Contains(exchange, "DEVS 0"));
  EXPECT_FALSE(Contains(exchange, "DEVS 1"));
}

TEST_F(UpdateWindow, SpinnerRunsThroughItsEightFrames) {
  Start();
  CTestUpdateDlg& dlg = Open();
  dlg.m_lblSpinner.ShowCtrl(SW_SHOW);
  const LayoutRect r = LayoutScaled(LAYOUT_SPINNER, 0.5);
  std::vector<int> frames;
  std::vector<std::vector<DWORD>> regions;
  for (int turn = 0; turn < 9; ++turn) {
    frames.push_back(dlg.m_spinnerFrame);
    dlg.SpinnerTurn();
    std::vector<DWORD> region;
    const int height = static_cast<int>(dlg.surface.size()) / dlg.surfaceWidth;
    for (int y = r.y; y < r.y + r.height; ++y) {
      const DWORD* row =
          dlg.surface.data() + static_cast<size_t>(height - 1 - y) * dlg.surfaceWidth;
      region.insert(region.end(), row + r.x, row + r.x + r.width);
    }
    regions.push_back(region);
  }
  EXPECT_EQ(frames, (std::vector<int>{141, 142, 143, 144, 145, 146, 147, 148, 141}));
  EXPECT_EQ(dlg.m_spinnerFrame, 142);
  for (int a = 0; a < 8; ++a) {
    for (int b = a + 1; b < 8; ++b)
      EXPECT_NE(regions[a], regions[b]) << "frames " << a << " and " << b << " look the same";
  }
  EXPECT_EQ(regions[8], regions[0]);
}

TEST_F(UpdateWindow, DisplayChangeKeepsTheScreen) {
  Start();
  CTestUpdateDlg& dlg = Open(SCREEN_1440);
  dlg.Press(IDC_UPDATE);
  ASSERT_EQ(ReadScreen(dlg), SUCCESS);
  for (const auto& [metrics, width] : {std::pair{SCREEN_1080, 780}, std::pair{SCREEN_1440, 1560}}) {
    dlg.metrics = metrics;
    EXPECT_EQ(::SendMessageW(dlg.GetSafeHwnd(), WM_DISPLAYCHANGE, 32, MAKELPARAM(1, 1)), 1);
    RECT window{};
    ::GetWindowRect(dlg.GetSafeHwnd(), &window);
    EXPECT_EQ(window.right - window.left, width);
    EXPECT_TRUE(::IsWindowVisible(dlg.GetSafeHwnd()));
    EXPECT_EQ(ReadScreen(dlg), SUCCESS);
    EXPECT_EQ(dlg.Message(), Text(L"IDS_SUCCESS"));
    EXPECT_EQ(dlg.Children().size(), 12u);
  }
  // A change within the size class only hides and shows the window.
  dlg.metrics = {1600, 900, 96, 0x409};
  ::SendMessageW(dlg.GetSafeHwnd(), WM_DISPLAYCHANGE, 32, 0);
  ::SendMessageW(dlg.GetSafeHwnd(), WM_DISPLAYCHANGE, 32, 0);
  EXPECT_EQ(dlg.m_fullScale, 0);
  EXPECT_EQ(ReadScreen(dlg), SUCCESS);
}

TEST_F(UpdateWindow, DisplayChangeDuringWorkKeepsWorking) {
  Start();
  CTestUpdateDlg& dlg = Open(SCREEN_1440);
  ScreenSet after;
  dlg.duringWork = [&](CTestUpdateDlg& d) {
    d.metrics = SCREEN_1080;
    ::SendMessageW(d.GetSafeHwnd(), WM_DISPLAYCHANGE, 32, 0);
    after = ReadScreen(d);
  };
  dlg.Press(IDC_UPDATE);
  EXPECT_EQ(after, WORKING);
  EXPECT_EQ(ReadScreen(dlg), SUCCESS);
}

TEST_F(UpdateWindow, PowerOffIsAskedForThenTheWindowCloses) {
  Start();
  CTestUpdateDlg& dlg = Open();
  dlg.Press(IDC_UPDATE);
  ASSERT_EQ(ReadScreen(dlg), SUCCESS);
  dlg.Press(IDC_SHUTDOWN);
  Pump();
  EXPECT_FALSE(::IsWindowVisible(dlg.GetSafeHwnd()));
  std::string log;
  EXPECT_TRUE(EmuReadFile(m_folder->Root() / EMU_POWER_OFF_LOG, log));
  EXPECT_EQ(log, "power off\n");
}

TEST_F(UpdateWindow, LaterClosesWithoutPowerOff) {
  Start();
  CTestUpdateDlg& dlg = Open();
  dlg.Press(IDC_UPDATE);
  dlg.Press(IDC_LATER);
  Pump();
  EXPECT_FALSE(::IsWindowVisible(dlg.GetSafeHwnd()));
  EXPECT_FALSE(std::filesystem::exists(m_folder->Root() / EMU_POWER_OFF_LOG));
}

TEST_F(UpdateWindow, DestroyReleasesEveryPictureAndClosesTheDevice) {
  Start();
  CTestUpdateDlg& dlg = Open();
  dlg.Press(IDC_UPDATE);
  ASSERT_NE(g_acpiDevice, DEVICE_HANDLE_EMPTY);
  dlg.DestroyWindow();
  EXPECT_EQ(dlg.Background(), nullptr);
  EXPECT_TRUE(dlg.Children().empty());
  EXPECT_EQ(g_acpiDevice, DEVICE_HANDLE_EMPTY);
}

}  // namespace
