#pragma once
// A fake sysfs tree in a temporary folder, laid out as the kernel documents it, and a fake
// kernel in front of it: it answers the back end's file access, refuses what the kernel's own
// checks refuse, injects errno values for chosen files, and reacts to the authenticate trigger
// as the clock advances (the router goes away, comes back with the new firmware, a chosen
// status, or never).
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "emulator/nvm_image_builder.h"
#include "platform/linux/kernel_backend.h"
#include "platform/linux/kernel_tree.h"
#include "platform/linux/sysfs_io.h"
#include "platform/platform.h"

// A family-1, variant-0 controller, its main section on a 4 KiB boundary as in real images.
inline constexpr uint16_t KFIX_DEVICE_ID = 0x156D;
inline constexpr uint16_t KFIX_BASE = 0x4000;

inline CNvmImageBuilder KernelImage(uint8_t version, uint16_t deviceId = KFIX_DEVICE_ID) {
  return CNvmImageBuilder(deviceId).Header(NvmHeader::AtZero, KFIX_BASE).Version(version);
}

inline std::string KfixRouterFolder(const std::string& name) {
  return std::string(KERNEL_TBT_DEVICES) + "/" + name;
}

// What the controller does after the trigger. PowerCycle: back first with its old version,
// then the kernel's power cycle takes it away once more and it returns with the new firmware.
enum class KfixReaction { Install, FailStatus, NeverBack, NeverGone, PowerCycle };

class CFakeKernel final : public ISysfsIo {
 public:
  CFakeKernel() : m_io(MakeRoot()) {}
  ~CFakeKernel() override {
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
  }
  CFakeKernel(const CFakeKernel&) = delete;
  CFakeKernel& operator=(const CFakeKernel&) = delete;

  // --- the tree ---------------------------------------------------------------------------
  void AddRouter(const std::string& name, const std::vector<uint8_t>& activeSection, uint32_t major,
                 uint16_t device = KFIX_DEVICE_ID, int nvmemNumber = 0) {
    const std::string folder = KfixRouterFolder(name);
    Write(folder + "/device", Hex(device) + "\n");
    Write(folder + "/vendor", "0x8086\n");
    Write(folder + "/nvm_version", VersionText(major, 0));
    Write(folder + "/nvm_authenticate", "0x0\n");
    const std::string n = std::to_string(nvmemNumber);
    Write(folder + "/nvm_active" + n + "/nvmem", activeSection);
    Write(folder + "/nvm_non_active" + n + "/nvmem", "");
  }
  void AddDomain(const std::string& name) { Write(KfixRouterFolder(name) + "/security", "user"); }
  void AddForcePower() { Write(KERNEL_FORCE_POWER, ""); }
  void AddSupply(const std::string& name, const std::string& type, const std::string& online) {
    const std::string folder = std::string(KERNEL_POWER_SUPPLIES) + "/" + name;
    Write(folder + "/type", type + "\n");
    if (!online.empty())
      Write(folder + "/online", online + "\n");
  }
  // The bus folder alone (a driver with no router yet).
  void AddBus() { std::filesystem::create_directories(m_root + KERNEL_TBT_DEVICES); }

  // --- faults -----------------------------------------------------------------------------
  void FailRead(const std::string& path, int error) { m_readErrors[path] = error; }
  // The write itself fails; the file still looks writable.
  void FailWrite(const std::string& path, int error) { m_writeErrors[path] = error; }
  // As for a user who is not root: the file cannot be opened at all.
  void Deny(const std::string& path) { m_denied[path] = EACCES; }
  void React(KfixReaction reaction, uint32_t status = 0) {
    m_reaction = reaction;
    m_failStatus = status;
  }

  // --- what happened ----------------------------------------------------------------------
  std::string Content(const std::string& path) const {
    std::ifstream file(m_root + path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }
  // Every write the back end made, "path=size" (the force_power writes with their value).
  const std::vector<std::string>& Writes() const { return m_writes; }
  bool WroteTo(const std::string& suffix) const {
    for (const std::string& w : m_writes) {
      if (w.find(suffix) != std::string::npos)
        return true;
    }
    return false;
  }
  uint32_t Now() const { return m_now; }

  void Advance(uint32_t ms) {
    m_now += ms;
    if (m_goneAt && m_now >= *m_goneAt) {
      m_goneAt.reset();
      std::filesystem::rename(m_root + KfixRouterFolder(m_restarting), m_root + "/away");
    }
    if (m_backAt && m_now >= *m_backAt) {
      m_backAt.reset();
      Return();
    }
  }

  // --- ISysfsIo ---------------------------------------------------------------------------
  int ReadText(const std::string& path, std::string& text) override {
    if (const int error = Injected(m_denied, path) ? EACCES : Injected(m_readErrors, path))
      return error;
    return m_io.ReadText(path, text);
  }
  int ReadAt(const std::string& path, uint64_t offset, uint32_t length,
             std::vector<uint8_t>& bytes) override {
    if (const int error = Injected(m_denied, path) ? EACCES : Injected(m_readErrors, path))
      return error;
    return m_io.ReadAt(path, offset, length, bytes);
  }
  int WriteAll(const std::string& path, const uint8_t* bytes, size_t size) override {
    m_writes.push_back(path == KERNEL_FORCE_POWER ? path + "=" + std::string(1, char(bytes[0]))
                                                  : path + "=" + std::to_string(size));
    if (const int error = Injected(m_denied, path) ? EACCES : Injected(m_writeErrors, path))
      return error;
    if (path.ends_with("/nvm_authenticate"))
      return Authenticate(path, bytes, size);
    const int error = m_io.WriteAll(path, bytes, size);
    if (error == 0 && path.find("/nvm_non_active") != std::string::npos)
      m_pending.assign(bytes, bytes + size);
    return error;
  }
  int CheckWritable(const std::string& path) override {
    if (const int error = Injected(m_denied, path))
      return error;
    return m_io.CheckWritable(path);
  }
  bool Exists(const std::string& path) override { return m_io.Exists(path); }
  std::vector<std::string> List(const std::string& folder) override { return m_io.List(folder); }
  std::string Shown(const std::string& path) override { return path; }

  const std::string& Root() const { return m_root; }

 private:
  std::string MakeRoot() {
    static std::atomic<int> counter{0};
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    m_root = (std::filesystem::temp_directory_path() /
              ("kelvane-sysfs-" + std::string(test ? test->name() : "fixture") + "-" +
               std::to_string(counter++)))
                 .string();
    std::filesystem::remove_all(m_root);
    std::filesystem::create_directories(m_root);
    return m_root;
  }
  static std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
  }
  static std::string VersionText(uint32_t major, uint32_t minor) {
    char text[24];
    std::snprintf(text, sizeof text, "%x.%x\n", major, minor);
    return text;
  }
  void Write(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(m_root + path).parent_path());
    std::ofstream(m_root + path, std::ios::binary) << text;
  }
  void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    Write(path, std::string(bytes.begin(), bytes.end()));
  }
  int Injected(const std::map<std::string, int>& errors, const std::string& path) const {
    const auto found = errors.find(path);
    return found == errors.end() ? 0 : found->second;
  }
  std::string RouterOf(const std::string& path) const {
    const std::string prefix = std::string(KERNEL_TBT_DEVICES) + "/";
    return path.substr(prefix.size(), path.find('/', prefix.size()) - prefix.size());
  }
  uint16_t RouterDevice(const std::string& router) const {
    return static_cast<uint16_t>(
        std::stoul(Content(KfixRouterFolder(router) + "/device"), nullptr, 16));
  }

  // The kernel's own checks, then the controller's restart.
  int Authenticate(const std::string& path, const uint8_t* bytes, size_t size) {
    if (size < 1 || bytes[0] != '1')
      return EINVAL;
    const std::string router = RouterOf(path);
    const auto& image = m_pending;
    if (image.size() < 4)
      return EINVAL;
    const uint32_t section = image[0] | image[1] << 8 | image[2] << 16;
    if (section % 0x1000 != 0 || section + 7 >= image.size() ||
        uint16_t(image[section + 5] | image[section + 6] << 8) != RouterDevice(router)) {
      return EINVAL;
    }
    m_restarting = router;
    if (m_reaction != KfixReaction::NeverGone)
      m_goneAt = m_now + 1000;
    if (m_reaction != KfixReaction::NeverGone && m_reaction != KfixReaction::NeverBack)
      m_backAt = m_now + 6000;
    if (m_reaction == KfixReaction::NeverGone && m_failStatus)
      Write(path, Hex(m_failStatus) + "\n");
    return 0;
  }

  // Back, with its NVMem devices numbered anew.
  void Return() {
    const std::filesystem::path folder = m_root + KfixRouterFolder(m_restarting);
    std::filesystem::rename(m_root + "/away", folder);
    std::string active;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with("nvm_active") || name.starts_with("nvm_non_active")) {
        const std::string stem = name.substr(0, name.find_first_of("0123456789"));
        std::filesystem::rename(entry.path(), folder / (stem + "7"));
      }
    }
    const std::string router = KfixRouterFolder(m_restarting);
    if (m_reaction == KfixReaction::PowerCycle) {
      m_reaction = KfixReaction::Install;
      m_goneAt = m_now + 1000;
      m_backAt = m_now + 2500;
      return;
    }
    if (m_reaction == KfixReaction::FailStatus) {
      Write(router + "/nvm_authenticate", Hex(m_failStatus) + "\n");
      return;
    }
    const uint32_t section = m_pending[0] | m_pending[1] << 8 | m_pending[2] << 16;
    Write(router + "/nvm_active7/nvmem",
          std::vector<uint8_t>(m_pending.begin() + section, m_pending.end()));
    Write(router + "/nvm_version", VersionText(m_pending[section + 0x0A], m_pending[section + 9]));
    Write(router + "/nvm_authenticate", "0x0\n");
  }

  std::string m_root;
  CSysfsIo m_io;
  std::map<std::string, int> m_readErrors, m_writeErrors, m_denied;
  std::vector<std::string> m_writes;
  std::vector<uint8_t> m_pending;
  KfixReaction m_reaction = KfixReaction::Install;
  uint32_t m_failStatus = 0;
  uint32_t m_now = 0;
  std::string m_restarting;
  std::optional<uint32_t> m_goneAt, m_backAt;
};

// The real system, with waits that advance the fake kernel's clock instead of sleeping.
class CFakeKernelClock final : public ISystem {
 public:
  CFakeKernelClock(CFakeKernel& kernel, ISystem& inner) : m_kernel(kernel), m_inner(inner) {}
  void Wait(uint32_t ms) override { m_kernel.Advance(ms); }
  bool ModulePath(std::wstring& path) override { return m_inner.ModulePath(path); }
  bool ListDirectory(const std::wstring& pattern, std::vector<std::wstring>& names) override {
    return m_inner.ListDirectory(pattern, names);
  }
  FileReadStatus ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes) override {
    return m_inner.ReadWholeFile(path, bytes);
  }
  uint16_t UserUiLanguage() override { return m_inner.UserUiLanguage(); }
  PowerSource AcPowerSource() override { return m_inner.AcPowerSource(); }
  bool RequestPowerOff() override { return false; }
  uint32_t ReadProfileString(const wchar_t* s, const wchar_t* k, const wchar_t* f, wchar_t* o,
                             uint32_t c, const wchar_t* p) override {
    return m_inner.ReadProfileString(s, k, f, o, c, p);
  }
  void ComInitialize() override {}
  void ComUninitialize() override {}
  // Held in the process, so that tests never meet a real attempt's lock.
  bool AcquireAttemptLock() override { return !std::exchange(m_attempt, true); }
  void ReleaseAttemptLock() override { m_attempt = false; }

 private:
  CFakeKernel& m_kernel;
  ISystem& m_inner;
  bool m_attempt = false;
};
