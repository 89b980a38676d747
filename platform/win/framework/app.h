#pragma once
// The application object: the program defines one static object of a class derived from
// CApp, and its entry function calls AppRun, which runs InitInstance (the start-up hook) and,
// when that returns true, the message loop.
#include <windows.h>

class CApp {
 public:
  CApp();
  virtual ~CApp();
  CApp(const CApp&) = delete;
  CApp& operator=(const CApp&) = delete;

  static CApp* Current();

  // Start-up; false ends the program without a message loop.
  virtual BOOL InitInstance() { return FALSE; }
  // The message loop; returns the WM_QUIT code.
  virtual int Run();
  // Runs last; its result is the process's exit code.
  virtual int ExitInstance() { return m_exitCode; }

 protected:
  int m_exitCode = 0;
};

// The entry of a program with an application object; returns the exit code.
int AppRun(HINSTANCE instance);
// The module whose resources the program uses: its own file unless a caller set another.
HINSTANCE AppResourceModule();
void AppSetResourceModule(HINSTANCE module);
