#pragma once
// The Linux kernel back end: the Thunderbolt software's WMI exchange, the ACPI "DEVS" request,
// the service start and the AC state, served from the kernel's sysfs interface of a Thunderbolt
// 3 host router, so that controller access, the check and the worker run unchanged.
//
//   GetCurrentNvmVersion  the major part of nvm_version (ENODATA: safe mode, refused)
//   ReadFirmware          bytes of nvm_active<N>/nvmem (offset 0: the active main section)
//   UpdateFirmware        the kernel's own image rule, the image to nvm_non_active<N>/nvmem,
//                         1 to nvm_authenticate, a bounded wait for the router to come back,
//                         then the authentication status and the running version
//   DEVS 1 / 0            force_power of intel-wmi-thunderbolt, where the notebook has it
//   service start         nothing to start: the kernel's driver serves the controller
//   AC state              the power supplies of type "Mains"
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/linux/sysfs_io.h"
#include "platform/platform.h"

// "ReturnValue" codes of this back end (any non-zero value is the provider's own).
inline constexpr int32_t KERNEL_RV_BAD_PARAMETER = 87;
inline constexpr int32_t KERNEL_RV_SAFE_MODE = 0x4B000001;
inline constexpr int32_t KERNEL_RV_READ_FAILED = 0x4B000002;
inline constexpr int32_t KERNEL_RV_IMAGE_REFUSED = 0x4B000003;
inline constexpr int32_t KERNEL_RV_WRITE_FAILED = 0x4B000004;
inline constexpr int32_t KERNEL_RV_AUTHENTICATE_FAILED = 0x4B000005;
inline constexpr int32_t KERNEL_RV_NOT_RESTARTED = 0x4B000006;
inline constexpr int32_t KERNEL_RV_NOT_BACK = 0x4B000007;
inline constexpr int32_t KERNEL_RV_AUTH_STATUS = 0x4B000008;
inline constexpr int32_t KERNEL_RV_VERSION_MISMATCH = 0x4B000009;

// How long the write may take to show its effect, in the milliseconds of ISystem::Wait.
struct KernelTiming {
  uint32_t pollMs = 250;
  uint32_t goneWithinMs = 30000;   // the router must go away this soon after the trigger
  uint32_t backWithinMs = 180000;  // and be back, steadily, this soon after the trigger
  uint32_t steadyMs = 3000;        // present this long without a break counts as back
  uint32_t progressEveryMs = 5000;
};

using KernelNoteSink = std::function<void(const std::string& line)>;

class CKernelBackend {
 public:
  // controller: "<domain>-0" to choose among several host routers, empty to take the only one.
  CKernelBackend(ISysfsIo& io, ISystem& system, std::string controller, KernelNoteSink notes,
                 KernelTiming timing = {});
  ~CKernelBackend();
  CKernelBackend(const CKernelBackend&) = delete;
  CKernelBackend& operator=(const CKernelBackend&) = delete;

  PlatformServices Services();

  // The last failure in words, with what the user should do; empty when none was met.
  const std::string& Failure() const;
  // Why the kernel would refuse to take this image for the chosen router (empty: it would
  // take it, or no router was chosen yet). For check, which stops before the write.
  std::string PredictRefusal(const std::vector<uint8_t>& image);

  class CState;

 private:
  class CFaces;
  std::unique_ptr<CState> m_state;
  std::unique_ptr<CFaces> m_faces;
};

// What the CLI's kernel back end uses: the running system's files and system services unless
// a test installs a fake tree and its clock (null: the real one).
void KernelSetTestHooks(ISysfsIo* io, ISystem* system);
ISysfsIo* KernelTestIo();
ISystem* KernelTestSystem();

// AC state from the power supplies below the io's root: any "Mains" supply online is AC, only
// offline ones are battery, none (or none readable) is Unknown, which the flow takes as AC.
PowerSource KernelAcPowerSource(ISysfsIo& io);
