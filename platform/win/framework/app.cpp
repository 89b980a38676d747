#include "platform/win/framework/app.h"

namespace {

CApp* g_app = nullptr;
HINSTANCE g_resourceModule = nullptr;

}  // namespace

CApp::CApp() {
  g_app = this;
}

CApp::~CApp() {
  if (g_app == this)
    g_app = nullptr;
}

CApp* CApp::Current() {
  return g_app;
}

int CApp::Run() {
  MSG msg{};
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

int AppRun(HINSTANCE instance) {
  if (g_resourceModule == nullptr)
    g_resourceModule = instance;
  CApp* app = CApp::Current();
  if (app == nullptr)
    return -1;
  if (app->InitInstance())
    app->Run();
  return app->ExitInstance();
}

HINSTANCE AppResourceModule() {
  return g_resourceModule != nullptr ? g_resourceModule : ::GetModuleHandleW(nullptr);
}

void AppSetResourceModule(HINSTANCE module) {
  g_resourceModule = module;
}
