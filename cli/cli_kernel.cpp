#include "cli/cli_kernel.h"

#ifdef __linux__
#include "engine/image_discovery.h"
#include "engine/update_worker.h"
#include "platform/linux/kernel_backend.h"
#include "platform/platform.h"

namespace {

class CCliKernelBackend final : public CCliKernel {
 public:
  CCliKernelBackend(const CCliOptions& options, ICliOutput& output)
      : m_backend(KernelTestIo() ? *KernelTestIo() : m_io,
                  KernelTestSystem() ? *KernelTestSystem() : PlatformSystem(), options.controller,
                  [&output](const std::string& line) { output.Out("          " + line + "\n"); }),
        m_installed(m_backend.Services()) {}

  const char* Advice(UpdateResult result) const override {
    if (!m_refusal.empty())
      return m_refusal.c_str();
    // The check's own refusals keep their advice; the back end explains what it decided.
    const bool explained = result == UR_NO_ACPI_DEVICE || result == UR_NO_CONTROLLER ||
                           result == UR_NO_TBT_SOFTWARE || !UpdateResultName(result);
    if (!explained || m_backend.Failure().empty())
      return nullptr;
    return m_backend.Failure().c_str();
  }

  UpdateResult AfterCheck(UpdateResult result) override {
    if (result != UR_OK)
      return result;
    // The file the check just took; read again, as the write would.
    const std::wstring& path = UpdateWorkerDiscovery().path;
    std::vector<uint8_t> image;
    if (path.empty() || PlatformSystem().ReadWholeFile(path, image) != FileReadStatus::Ok)
      return result;
    const std::string refusal = m_backend.PredictRefusal(image);
    if (refusal.empty())
      return result;
    m_refusal = "Our check accepts the image, but the kernel would refuse it: " + refusal +
                ". update would write nothing; get the image made for this notebook.";
    return static_cast<UpdateResult>(KERNEL_RV_IMAGE_REFUSED);
  }

 private:
  CSysfsIo m_io;
  CKernelBackend m_backend;
  CScopedPlatform m_installed;
  std::string m_refusal;
};

}  // namespace

std::unique_ptr<CCliKernel> CliKernelInstall(const CCliOptions& options, ICliOutput& output) {
  return std::make_unique<CCliKernelBackend>(options, output);
}
#else
std::unique_ptr<CCliKernel> CliKernelInstall(const CCliOptions&, ICliOutput&) {
  return nullptr;
}
#endif
