#pragma once
// One window per session: the first program holds a named mutex and marks its window; a
// second one finds that window, brings it to the front and ends.
#include <windows.h>

class CSingleInstance {
 public:
  CSingleInstance();
  ~CSingleInstance();
  CSingleInstance(const CSingleInstance&) = delete;
  CSingleInstance& operator=(const CSingleInstance&) = delete;

  // False when another program of ours already runs.
  bool IsFirst() const { return m_first; }

 private:
  HANDLE m_mutex;
  bool m_first;
};

void SingleInstanceMarkWindow(HWND hwnd);
void SingleInstanceUnmarkWindow(HWND hwnd);
// The marked window of the running program, or null.
HWND SingleInstanceFindWindow();
// Shows the running program's window in front; false when there is none.
bool SingleInstanceActivateFirst();
