// The window framework: message maps with typed handlers, subclassing, dialogs from a template
// with a modal run and default OK/cancel handling, control binding, and a window destroyed
// inside its own handler.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win/framework/app.h"
#include "platform/win/framework/dialog.h"
#include "platform/win/framework/window.h"

namespace {

std::vector<std::string> g_log;

HWND MakeStatic() {
  return ::CreateWindowExW(0, L"STATIC", L"start", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                           ::GetModuleHandleW(nullptr), nullptr);
}

class CBaseWnd : public CWnd {
 public:
  SIZE lastSize{};
  UINT lastSizeType = 99;

 private:
  LRESULT OnSetText(const wchar_t*) {
    g_log.push_back("base settext");
    return Default();
  }
  void OnSize(UINT type, SIZE size) {
    lastSizeType = type;
    lastSize = size;
    Default();
  }
  KV_DECLARE_MESSAGE_MAP()
};

KV_BEGIN_MESSAGE_MAP(CBaseWnd, CWnd)
MapMessage<WM_SETTEXT, &ThisClass::OnSetText>(), MapMessage<WM_SIZE, &ThisClass::OnSize>(),
    KV_END_MESSAGE_MAP()

        class CDerivedWnd : public CBaseWnd {
 public:
  bool presubclassSawWindow = false;

 protected:
  void PreSubclassWindow() override { presubclassSawWindow = m_hWnd != nullptr; }

 private:
  LRESULT OnSetText(const wchar_t* text) {
    g_log.push_back("derived settext " + std::string(text, text + wcslen(text)));
    return Default();
  }
  KV_DECLARE_MESSAGE_MAP()
};

KV_BEGIN_MESSAGE_MAP(CDerivedWnd, CBaseWnd)
MapMessage<WM_SETTEXT, &ThisClass::OnSetText>(),
    KV_END_MESSAGE_MAP()

        TEST(MessageMap, MostDerivedHandlerWinsAndBaseEntriesStillApply) {
  g_log.clear();
  HWND hwnd = MakeStatic();
  ASSERT_NE(hwnd, nullptr);
  CDerivedWnd wnd;
  ASSERT_TRUE(wnd.SubclassWindow(hwnd));
  EXPECT_TRUE(wnd.presubclassSawWindow);
  EXPECT_EQ(CWnd::FromHandlePermanent(hwnd), &wnd);

  ::SetWindowTextW(hwnd, L"hello");
  EXPECT_EQ(g_log, std::vector<std::string>{"derived settext hello"});
  // Default() reached the control's own procedure: the text really changed.
  EXPECT_EQ(wnd.GetWindowTextW(), L"hello");

  ::SetWindowPos(hwnd, nullptr, 0, 0, 123, 45, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(wnd.lastSizeType, static_cast<UINT>(SIZE_RESTORED));
  EXPECT_EQ(wnd.lastSize.cx, 123);
  EXPECT_EQ(wnd.lastSize.cy, 45);

  EXPECT_EQ(wnd.UnsubclassWindow(), hwnd);
  EXPECT_EQ(CWnd::FromHandlePermanent(hwnd), nullptr);
  ::SetWindowTextW(hwnd, L"after");
  EXPECT_EQ(g_log.size(), 1u);  // no longer routed through the object
  ::DestroyWindow(hwnd);
}

TEST(MessageMap, AWindowIsAttachedToOneObjectAtATime) {
  HWND hwnd = MakeStatic();
  CBaseWnd first;
  CBaseWnd second;
  ASSERT_TRUE(first.SubclassWindow(hwnd));
  EXPECT_FALSE(second.SubclassWindow(hwnd));
  HWND other = MakeStatic();
  EXPECT_FALSE(first.SubclassWindow(other));
  ::DestroyWindow(other);
  EXPECT_FALSE(second.SubclassWindow(nullptr));
  ::DestroyWindow(hwnd);
  // The window's destruction detached it.
  EXPECT_EQ(first.GetSafeHwnd(), nullptr);
}

// Destroys its own window inside a handler, goes on using its members, and deletes itself
// only once the outermost message has returned.
class CSelfDestroyingWnd : public CWnd {
 public:
  int finals = 0;

 protected:
  void OnFinalMessage() override {
    g_log.push_back("final");
    delete this;
  }

 private:
  LRESULT OnSetText(const wchar_t*) {
    g_log.push_back("handler");
    DestroyWindow();
    g_log.push_back(m_hWnd == nullptr ? "handler after, detached" : "handler after, attached");
    return TRUE;
  }
  void OnDestroy() {
    g_log.push_back("destroy");
    Default();
  }
  KV_DECLARE_MESSAGE_MAP()
};

KV_BEGIN_MESSAGE_MAP(CSelfDestroyingWnd, CWnd)
MapMessage<WM_SETTEXT, &ThisClass::OnSetText>(), MapMessage<WM_DESTROY, &ThisClass::OnDestroy>(),
    KV_END_MESSAGE_MAP()

        TEST(WindowLifetime, DestroyedInsideItsOwnHandlerFinishesAfterTheHandler) {
  g_log.clear();
  HWND hwnd = MakeStatic();
  auto* wnd = new CSelfDestroyingWnd;
  ASSERT_TRUE(wnd->SubclassWindow(hwnd));
  ::SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"x"));
  EXPECT_EQ(g_log,
            (std::vector<std::string>{"handler", "destroy", "handler after, detached", "final"}));
  EXPECT_FALSE(::IsWindow(hwnd));
}

TEST(WindowLifetime, DestroyedFromOutsideFinishesAtOnce) {
  g_log.clear();
  HWND hwnd = MakeStatic();
  auto* wnd = new CSelfDestroyingWnd;
  ASSERT_TRUE(wnd->SubclassWindow(hwnd));
  ::DestroyWindow(hwnd);
  EXPECT_EQ(g_log, (std::vector<std::string>{"destroy", "final"}));
}

// A dialog from template 100 of the test resources: buttons 1, 2, 1003, statics 1004, 1006.
class CTestDialog : public CDialog {
 public:
  CTestDialog() : CDialog(100, nullptr) {}
  CBaseWnd m_update;
  CBaseWnd m_message;
  int initCount = 0;
  int clicks = 0;
  UINT postOnInit = 0;  // a message to post to itself once initialised
  WPARAM postWParam = 0;

  void DoDataExchange(CDataExchange& exchange) override {
    DDX_Control(exchange, 1003, m_update);
    DDX_Control(exchange, 1004, m_message);
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    ++initCount;
    if (postOnInit != 0)
      ::PostMessageW(m_hWnd, postOnInit, postWParam, 0);
    return TRUE;
  }

 private:
  void OnUpdate() { ++clicks; }
  KV_DECLARE_MESSAGE_MAP()
};

KV_BEGIN_MESSAGE_MAP(CTestDialog, CDialog)
MapCommand<1003, &ThisClass::OnUpdate>(),
    KV_END_MESSAGE_MAP()

        TEST(Dialog, CreatedFromTemplateBindsControlsAndRoutesCommandsById) {
  CTestDialog dialog;
  ASSERT_TRUE(dialog.Create());
  EXPECT_EQ(dialog.initCount, 1);
  EXPECT_EQ(dialog.m_update.GetSafeHwnd(), dialog.GetDlgItem(1003));
  EXPECT_EQ(dialog.m_message.GetSafeHwnd(), dialog.GetDlgItem(1004));
  EXPECT_NE(dialog.m_update.GetSafeHwnd(), nullptr);

  HWND hwnd = dialog.GetSafeHwnd();
  ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(1003, BN_CLICKED),
                 reinterpret_cast<LPARAM>(dialog.GetDlgItem(1003)));
  ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(1003, BN_SETFOCUS), 0);  // another code
  ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(1004, BN_CLICKED), 0);   // another id
  EXPECT_EQ(dialog.clicks, 1);

  // Binding again keeps the first binding.
  CDataExchange exchange(dialog, false);
  dialog.DoDataExchange(exchange);
  EXPECT_EQ(dialog.m_update.GetSafeHwnd(), dialog.GetDlgItem(1003));
}

TEST(Dialog, ModalRunEndsThroughTheDefaultOkAndCancelHandling) {
  struct Case {
    UINT message;
    WPARAM wParam;
    INT_PTR expected;
  };
  const Case cases[] = {
      {WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), IDOK},
      {WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), IDCANCEL},
      {WM_CLOSE, 0, IDCANCEL},  // the dialog manager turns a close into cancel
  };
  for (const Case& c : cases) {
    CTestDialog dialog;
    dialog.postOnInit = c.message;
    dialog.postWParam = c.wParam;
    EXPECT_EQ(dialog.DoModal(), c.expected) << c.message << " " << c.wParam;
    EXPECT_EQ(dialog.initCount, 1);
    // The run is over and the window gone: the object is detached from it.
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
    EXPECT_EQ(dialog.m_update.GetSafeHwnd(), nullptr);
  }
}

// Refuses to be cancelled, then ends itself with OK, so the run's result says which path won.
class CRefusingDialog : public CTestDialog {
 public:
  int refusals = 0;
  void OnCancel() override {
    ++refusals;
    ::PostMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }
};

TEST(Dialog, AnOverrideRefusingCancelKeepsTheDialogOnEscCloseAndCancel) {
  struct Case {
    const char* what;
    UINT message;
    WPARAM wParam;
  };
  const Case cases[] = {
      {"Esc", WM_KEYDOWN, VK_ESCAPE},
      {"close", WM_CLOSE, 0},
      {"cancel button", WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED)},
  };
  for (const Case& c : cases) {
    CRefusingDialog dialog;
    dialog.postOnInit = c.message;
    dialog.postWParam = c.wParam;
    EXPECT_EQ(dialog.DoModal(), IDOK) << c.what;
    EXPECT_EQ(dialog.refusals, 1) << c.what;
  }
}

// Stands for a control whose own message reaches the parent while still in flight, as a
// button's release does with its click: it tells the parent, then goes on with its message.
class CNotifyingWnd : public CWnd {
 private:
  LRESULT OnSetText(const wchar_t*) {
    ::SendMessageW(::GetParent(m_hWnd), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                   reinterpret_cast<LPARAM>(m_hWnd));
    return Default();
  }
  KV_DECLARE_MESSAGE_MAP()
};

// clang-format off
KV_BEGIN_MESSAGE_MAP(CNotifyingWnd, CWnd)
  MapMessage<WM_SETTEXT, &ThisClass::OnSetText>(),
KV_END_MESSAGE_MAP()
    // clang-format on

    // A modeless dialog that ends itself from its cancel control's notice and frees itself once
    // finished. It lives in a fixed buffer that its delete fills with a pattern, so a write to it
    // after its destructor (by a frame of the control's own message, still on the stack) shows.
    constexpr unsigned char FREED = 0xA5;
alignas(std::max_align_t) unsigned char g_closingStorage[4096];

class CClosingDialog : public CDialog {
 public:
  CClosingDialog() : CDialog(100, nullptr) {}
  static void* operator new(std::size_t size) {
    return size <= sizeof(g_closingStorage) ? g_closingStorage : nullptr;
  }
  static void operator delete(void* object, std::size_t size) { std::memset(object, FREED, size); }

  CNotifyingWnd m_cancel;
  std::size_t size = sizeof(CClosingDialog);

  void DoDataExchange(CDataExchange& exchange) override {
    DDX_Control(exchange, IDCANCEL, m_cancel);
  }
  void OnCancel() override { DestroyWindow(); }

 protected:
  void OnFinalMessage() override { delete this; }
};

TEST(WindowLifetime, AParentEndedFromAChildsMessageIsFreedAfterThatMessageReturns) {
  auto* dialog = new CClosingDialog;
  ASSERT_NE(dialog, nullptr);
  ASSERT_TRUE(dialog->Create());
  const std::size_t size = dialog->size;
  HWND hwnd = dialog->GetSafeHwnd();
  HWND cancel = dialog->GetDlgItem(IDCANCEL);
  ASSERT_EQ(dialog->m_cancel.GetSafeHwnd(), cancel);

  ::SendMessageW(cancel, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"x"));
  EXPECT_FALSE(::IsWindow(hwnd));
  std::size_t written = 0;
  for (std::size_t i = 0; i < size; ++i)
    written += g_closingStorage[i] != FREED ? 1 : 0;
  EXPECT_EQ(written, 0u) << "bytes of the freed dialog written after its destructor";
}

TEST(Dialog, MissingTemplateFailsTheRun) {
  class CNoTemplate : public CDialog {
   public:
    CNoTemplate() : CDialog(4242, nullptr) {}
  } dialog;
  EXPECT_EQ(dialog.DoModal(), -1);
  EXPECT_FALSE(dialog.Create());
  EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
}

class CTestApp : public CApp {
 public:
  int inits = 0;
  BOOL InitInstance() override {
    ++inits;
    m_exitCode = 7;
    return FALSE;
  }
};

TEST(App, RunCallsTheStartUpHookAndEndsWithoutALoopWhenItDeclines) {
  CTestApp app;
  EXPECT_EQ(CApp::Current(), &app);
  EXPECT_EQ(AppRun(::GetModuleHandleW(nullptr)), 7);
  EXPECT_EQ(app.inits, 1);
  EXPECT_EQ(AppResourceModule(), ::GetModuleHandleW(nullptr));
}

}  // namespace
