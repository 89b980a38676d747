// The write of the kernel back end: the image to the non-active NVM, the authenticate trigger,
// the wait for the router to restart and the verification of what it runs afterwards.
#include "platform/linux/kernel_state.h"

std::unique_ptr<IWmiObject> CKernelBackend::CState::UpdateFirmware(const KernelRouter& router,
                                                                   IWmiObject* in) {
  int32_t size = 0;
  WmiValue buffer;
  if (!KernelGetInt(in, L"BufferSize", size) || !in->Get(L"Buffer", buffer) ||
      buffer.type != WmiType::ByteArray || size < 0 ||
      buffer.bytes.size() != static_cast<size_t>(size)) {
    return KernelOutParams(KERNEL_RV_BAD_PARAMETER);
  }
  // Before anything is written: an image the kernel refuses would only fail at the trigger.
  if (const std::string refusal = PredictRefusal(buffer.bytes); !refusal.empty()) {
    Fail("The kernel would refuse this image: " + refusal + ". Nothing was written.");
    return KernelOutParams(KERNEL_RV_IMAGE_REFUSED);
  }
  const int32_t written = WriteAndAuthenticate(router, buffer.bytes);
  return KernelOutParams(written ? written : Verify(buffer.bytes));
}

int32_t CKernelBackend::CState::WriteAndAuthenticate(const KernelRouter& router,
                                                     const std::vector<uint8_t>& image) {
  Note("writing " + std::to_string(image.size()) + " bytes to " + Shown(router.nonActiveNvmem));
  if (const int error = m_io.WriteAll(router.nonActiveNvmem, image.data(), image.size())) {
    Fail("The kernel did not take the image: writing " + Shown(router.nonActiveNvmem) +
         " failed: " + SysfsErrorText(error) +
         ". The running firmware is unchanged; try again, and if it fails again, keep the "
         "current firmware.");
    return KERNEL_RV_WRITE_FAILED;
  }
  Note("starting the authentication (" + Shown(router.nvmAuthenticate) + ")");
  const uint8_t one = '1';
  if (const int error = m_io.WriteAll(router.nvmAuthenticate, &one, 1)) {
    Fail("The kernel refused to authenticate the image: writing 1 to " +
         Shown(router.nvmAuthenticate) + " failed: " + SysfsErrorText(error) +
         (error == EINVAL ? " (the kernel's own check of the image failed)" : "") +
         ". The running firmware is unchanged.");
    return KERNEL_RV_AUTHENTICATE_FAILED;
  }
  return 0;
}

bool CKernelBackend::CState::RouterUp() {
  const auto router = KernelFindRouter(m_io, m_router);
  std::string status;
  return router && m_io.ReadText(router->nvmAuthenticate, status) == 0;
}

int CKernelBackend::CState::WaitForRestart() {
  Note("waiting for the host router " + m_router + " to restart (at most " +
       std::to_string(m_timing.backWithinMs / 1000) + " s); do not switch the notebook off");
  uint32_t elapsed = 0, steady = 0, nextProgress = m_timing.progressEveryMs;
  bool gone = false;
  while (elapsed < m_timing.backWithinMs) {
    m_system.Wait(m_timing.pollMs);
    elapsed += m_timing.pollMs;
    const bool up = RouterUp();
    if (!gone && !up) {
      gone = true;
      Note("the host router has gone away: the controller restarts");
    } else if (!gone && elapsed >= m_timing.goneWithinMs) {
      return 0;
    } else if (gone) {
      steady = up ? steady + m_timing.pollMs : 0;
      if (steady >= m_timing.steadyMs) {
        Note("the host router is back after " + std::to_string(elapsed / 1000) + " s");
        return 1;
      }
    }
    if (elapsed >= nextProgress) {
      Note("still waiting: " + std::to_string(elapsed / 1000) + " s of at most " +
           std::to_string(m_timing.backWithinMs / 1000) + " s");
      nextProgress += m_timing.progressEveryMs;
    }
  }
  return gone ? -1 : 0;
}

int32_t CKernelBackend::CState::Verify(const std::vector<uint8_t>& image) {
  const int restarted = WaitForRestart();
  const auto router = KernelFindRouter(m_io, m_router);
  std::string statusText;
  const int statusError = router ? m_io.ReadText(router->nvmAuthenticate, statusText) : ENOENT;
  const auto status = statusError ? std::nullopt : KernelParseHex(statusText);
  if (status && *status != 0) {
    Fail("The controller refused the new firmware: the authentication status is " +
         KernelHex(*status) + " (" + Shown(router->nvmAuthenticate) +
         "). It keeps running its earlier firmware. Check that the image is the one made for "
         "this notebook; power the notebook off and on before trying again.");
    return KERNEL_RV_AUTH_STATUS;
  }
  if (restarted == 0) {
    Fail("The host router did not restart within " + std::to_string(m_timing.goneWithinMs / 1000) +
         " s of the authentication request, so the new firmware is not running. Power the "
         "notebook off and on, then run kelvane-cli check to see the running version.");
    return KERNEL_RV_NOT_RESTARTED;
  }
  if (restarted > 0 && !status) {
    Fail("The host router is back, but its authentication status cannot be read from " +
         Shown(router->nvmAuthenticate) + ": " +
         (statusError ? SysfsErrorText(statusError) : "\"" + statusText + "\" is no number") +
         ". Power the notebook off and on, then run kelvane-cli check to see the running "
         "version.");
    return KERNEL_RV_READ_FAILED;
  }
  if (restarted < 0) {
    Fail("The host router " + m_router + " did not come back within " +
         std::to_string(m_timing.backWithinMs / 1000) + " s (" + Shown(KERNEL_TBT_DEVICES) + "/" +
         m_router +
         "). Do not write again: power the notebook off and on, then run kelvane-cli check to "
         "see the running version.");
    return KERNEL_RV_NOT_BACK;
  }
  const uint32_t section = *KernelImageSection(image);
  const NvmVersionText wanted{image[section + KERNEL_OFFSET_MAJOR],
                              image[section + KERNEL_OFFSET_MINOR]};
  std::string versionText;
  const int versionError = m_io.ReadText(router->nvmVersion, versionText);
  const auto running = versionError ? std::nullopt : KernelParseNvmVersion(versionText);
  const auto shown = [](const NvmVersionText& v) {
    char text[24];
    std::snprintf(text, sizeof text, "%x.%x", v.major, v.minor);
    return std::string(text);
  };
  if (!running || running->major != wanted.major || running->minor != wanted.minor) {
    Fail("The authentication status is 0, but the controller runs " +
         (running
              ? "version " + shown(*running)
              : std::string(versionError == ENODATA ? "in safe mode" : "an unreadable version")) +
         " where the image holds " + shown(wanted) +
         ". Power the notebook off and on, then run kelvane-cli check.");
    return KERNEL_RV_VERSION_MISMATCH;
  }
  Note("authentication status 0, running version " + shown(*running));
  return 0;
}
