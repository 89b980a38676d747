#include "engine/acpi_channel.h"

#include <gtest/gtest.h>

#include <map>

#include "notebook_fixture.h"
#include "platform/platform.h"

namespace {

class AcpiChannel : public ::testing::Test {
 protected:
  // Loads a notebook with the given [Platform] and [Faults] lines and installs it.
  void Use(const std::string& platform = "", const std::string& faults = "") {
    m_folder.WriteNotebook(platform, faults);
    m_notebook = m_folder.Load();
    ASSERT_TRUE(m_notebook);
    m_installed = std::make_unique<CScopedPlatform>(m_notebook->Services());
  }
  void TearDown() override {
    AcpiDeviceClose();
    g_acpiDevice = DEVICE_HANDLE_EMPTY;
    m_installed.reset();
  }

  std::vector<EmuEvent> Requests() const {
    std::vector<EmuEvent> requests;
    for (const EmuEvent& e : m_notebook->Record().Events()) {
      if (e.kind == EmuEventKind::DeviceRequest)
        requests.push_back(e);
    }
    return requests;
  }

  CNotebookFolder m_folder;
  std::unique_ptr<CEmulatedNotebook> m_notebook;
  std::unique_ptr<CScopedPlatform> m_installed;
};

TEST_F(AcpiChannel, DevsRequestIsSixteenLittleEndianBytes) {
  Use();
  ASSERT_TRUE(AcpiDeviceOpen());
  uint32_t reply = 0xDEAD;
  ASSERT_TRUE(AcpiSetDeviceState(ACPI_METHOD_DEVS, DEVS_TBT_DEVICE_ID, 1, &reply));

  const auto requests = Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].number, 0x0022240Cu);
  const std::vector<uint8_t> expected = {0x44, 0x45, 0x56, 0x53, 0x08, 0x00, 0x00, 0x00,
                                         0x57, 0x00, 0x06, 0x00, 0x01, 0x00, 0x00, 0x00};
  EXPECT_EQ(requests[0].bytes, expected);
  EXPECT_EQ(reply, 1u);
  EXPECT_EQ(m_notebook->Devices().ThunderboltDeviceState(), 1u);
}

TEST_F(AcpiChannel, ReplyValueIsTheFirstFourBytesOrZero) {
  struct Case {
    uint32_t replyBytes;
    uint32_t expected;
  };
  // The emulated device echoes the value set (7) and pads with zeros.
  for (const Case& c : {Case{0, 0}, Case{2, 0}, Case{3, 0}, Case{4, 7}, Case{8, 7}}) {
    CNotebookFolder folder;
    folder.WriteNotebook("", "DevsReplyBytes=" + std::to_string(c.replyBytes));
    auto notebook = folder.Load();
    ASSERT_TRUE(notebook);
    CScopedPlatform installed(notebook->Services());
    ASSERT_TRUE(AcpiDeviceOpen());
    uint32_t reply = 0xDEAD;
    EXPECT_TRUE(AcpiSetDeviceState(ACPI_METHOD_DEVS, DEVS_TBT_DEVICE_ID, 7, &reply));
    EXPECT_EQ(reply, c.expected) << c.replyBytes << " reply bytes";
    EXPECT_TRUE(AcpiDeviceClose());
  }
}

TEST_F(AcpiChannel, CallDeliversNoMoreThanTheCallerCanTake) {
  Use("", "DevsReplyBytes=8");
  ASSERT_TRUE(AcpiDeviceOpen());
  const uint8_t payload[8] = {0x57, 0x00, 0x06, 0x00, 0x05, 0x00, 0x00, 0x00};
  for (const uint32_t capacity : {16u, 8u, 3u, 0u}) {
    uint8_t reply[16];
    std::fill(std::begin(reply), std::end(reply), 0xEE);
    uint32_t delivered = capacity;
    ASSERT_TRUE(AcpiCallMethod(ACPI_METHOD_DEVS, payload, sizeof payload, reply, &delivered));
    EXPECT_EQ(delivered, std::min(capacity, 8u));
    if (capacity) {
      EXPECT_EQ(reply[0], 5);
    }
    // Nothing past what was delivered is touched.
    EXPECT_EQ(reply[delivered], 0xEE) << capacity;
  }
}

TEST_F(AcpiChannel, NoRequestWithoutAnOpenDevice) {
  for (const bool tryOpen : {false, true}) {
    CNotebookFolder folder;
    folder.WriteNotebook("AcpiDevice=absent");
    auto notebook = folder.Load();
    ASSERT_TRUE(notebook);
    CScopedPlatform installed(notebook->Services());
    g_acpiDevice = DEVICE_HANDLE_EMPTY;
    if (tryOpen) {
      EXPECT_FALSE(AcpiDeviceOpen());
      EXPECT_EQ(g_acpiDevice, DEVICE_HANDLE_INVALID);
    }
    uint32_t reply = 0xDEAD;
    EXPECT_FALSE(AcpiSetDeviceState(ACPI_METHOD_DEVS, DEVS_TBT_DEVICE_ID, 1, &reply));
    EXPECT_EQ(reply, 0xDEADu);
    for (const EmuEvent& e : notebook->Record().Events()) {
      EXPECT_NE(e.kind, EmuEventKind::DeviceRequest);
    }
    // A failed open leaves nothing to close.
    EXPECT_FALSE(AcpiDeviceClose());
  }
}

TEST_F(AcpiChannel, FailedRequestLeavesTheReplyAlone) {
  Use("", "FailDeviceRequest=1");
  ASSERT_TRUE(AcpiDeviceOpen());
  uint32_t reply = 0xDEAD;
  EXPECT_FALSE(AcpiSetDeviceState(ACPI_METHOD_DEVS, DEVS_TBT_DEVICE_ID, 1, &reply));
  EXPECT_EQ(reply, 0xDEADu);
  EXPECT_TRUE(AcpiSetDeviceState(ACPI_METHOD_DEVS, DEVS_TBT_DEVICE_ID, 1, &reply));
  EXPECT_EQ(reply, 1u);
}

TEST_F(AcpiChannel, SecondCloseReturnsFalse) {
  Use();
  ASSERT_TRUE(AcpiDeviceOpen());
  EXPECT_TRUE(AcpiDeviceClose());
  EXPECT_EQ(g_acpiDevice, DEVICE_HANDLE_EMPTY);
  EXPECT_FALSE(AcpiDeviceClose());
  // Reopening after a close works: the flow opens again whenever the slot is empty.
  EXPECT_TRUE(AcpiDeviceOpen());
}

// A service manager whose every step can be made to fail; records opens and closes.
class CScriptedServices final : public IServiceControl {
 public:
  bool managerOpens = true;
  bool serviceOpens = true;
  bool starts = true;
  uint32_t startError = 0;
  std::vector<std::string> calls;

  ServiceHandle OpenManager() override {
    calls.push_back("manager");
    return managerOpens ? 1 : 0;
  }
  ServiceHandle OpenNamed(ServiceHandle, const wchar_t* name) override {
    calls.push_back(std::wstring(name) == L"ThunderboltService" ? "service" : "other");
    return serviceOpens ? 2 : 0;
  }
  bool Start(ServiceHandle, uint32_t& lastError) override {
    calls.push_back("start");
    lastError = startError;
    return starts;
  }
  void Close(ServiceHandle handle) override { calls.push_back("close " + std::to_string(handle)); }
};

TEST(StartServiceByName, ResultsAndHandles) {
  struct Case {
    const char* name;
    bool managerOpens, serviceOpens, starts;
    uint32_t startError;
    uint32_t expected;
    std::vector<std::string> calls;
  };
  const std::vector<std::string> full = {"manager", "service", "start", "close 2", "close 1"};
  const Case cases[] = {
      {"started", true, true, true, 0, SR_OK, full},
      {"already running", true, true, false, 1056, SR_OK, full},
      {"start refused", true, true, false, 5, SR_START_FAILED, full},
      {"no service", true, false, false, 0, SR_NO_SERVICE, {"manager", "service", "close 1"}},
      {"no manager", false, false, false, 0, SR_NO_SCM, {"manager"}},
  };
  for (const Case& c : cases) {
    CScriptedServices scm;
    scm.managerOpens = c.managerOpens;
    scm.serviceOpens = c.serviceOpens;
    scm.starts = c.starts;
    scm.startError = c.startError;
    PlatformServices services;
    services.services = &scm;
    CScopedPlatform installed(services);
    EXPECT_EQ(StartServiceByName(L"ThunderboltService"), c.expected) << c.name;
    EXPECT_EQ(scm.calls, c.calls) << c.name;
  }
}

TEST_F(AcpiChannel, EmulatedServiceAlreadyRunningStartsFine) {
  struct Case {
    const char* state;
    uint32_t expected;
  };
  for (const Case& c :
       {Case{"running", SR_OK}, Case{"stopped", SR_OK}, Case{"absent", SR_NO_SERVICE}}) {
    CNotebookFolder folder;
    folder.WriteNotebook(std::string("Service=") + c.state);
    auto notebook = folder.Load();
    ASSERT_TRUE(notebook);
    CScopedPlatform installed(notebook->Services());
    EXPECT_EQ(StartServiceByName(L"ThunderboltService"), c.expected) << c.state;
    if (c.expected == SR_OK) {
      EXPECT_EQ(notebook->ServiceTable().ThunderboltServiceState(), EmuServiceState::Running);
    }
  }
}

}  // namespace
