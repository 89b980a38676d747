#include "app/single_instance.h"

namespace {

constexpr wchar_t INSTANCE_MUTEX[] = L"Local\\Kelvane.Window";
constexpr wchar_t WINDOW_MARK[] = L"Kelvane.MainWindow";

BOOL CALLBACK FindMarked(HWND hwnd, LPARAM found) {
  if (::GetPropW(hwnd, WINDOW_MARK) == nullptr)
    return TRUE;
  *reinterpret_cast<HWND*>(found) = hwnd;
  return FALSE;
}

}  // namespace

CSingleInstance::CSingleInstance()
    : m_mutex(::CreateMutexW(nullptr, TRUE, INSTANCE_MUTEX)),
      m_first(m_mutex != nullptr && ::GetLastError() != ERROR_ALREADY_EXISTS) {}

CSingleInstance::~CSingleInstance() {
  if (m_mutex == nullptr)
    return;
  if (m_first)
    ::ReleaseMutex(m_mutex);
  ::CloseHandle(m_mutex);
}

void SingleInstanceMarkWindow(HWND hwnd) {
  ::SetPropW(hwnd, WINDOW_MARK, reinterpret_cast<HANDLE>(1));
}

void SingleInstanceUnmarkWindow(HWND hwnd) {
  ::RemovePropW(hwnd, WINDOW_MARK);
}

HWND SingleInstanceFindWindow() {
  HWND found = nullptr;
  ::EnumWindows(&FindMarked, reinterpret_cast<LPARAM>(&found));
  return found;
}

bool SingleInstanceActivateFirst() {
  HWND hwnd = SingleInstanceFindWindow();
  if (hwnd == nullptr)
    return false;
  if (::IsIconic(hwnd))
    ::ShowWindow(hwnd, SW_RESTORE);
  ::SetForegroundWindow(hwnd);
  return true;
}
