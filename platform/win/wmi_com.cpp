#include "platform/win/wmi_com.h"

namespace {
// Placeholder until the COM implementation lands: no locator can be created.
class CComWmi final : public IWmi {
 public:
  std::unique_ptr<IWmiLocator> CreateLocator() override { return nullptr; }
};
}  // namespace

IWmi& WmiComBackend() {
  static CComWmi wmi;
  return wmi;
}
