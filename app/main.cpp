// kelvane.exe: the static start-up in its order, then the framework's run of the application.
#include <windows.h>

#include "app/update_app.h"
#include "engine/acpi_channel.h"

namespace {

// Constructed before every default-priority static object, the GDI+ session among them, so
// its destruction is registered first and runs last: GDI+ is shut down before it.
__attribute__((init_priority(200))) CUpdateApp g_theApp;

struct CAcpiDeviceReset {
  CAcpiDeviceReset() { g_acpiDevice = DEVICE_HANDLE_EMPTY; }
};
__attribute__((init_priority(201))) const CAcpiDeviceReset g_acpiDeviceReset;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  return AppRun(instance);
}
