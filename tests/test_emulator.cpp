#include "emulator/emulated_notebook.h"

#include <gtest/gtest.h>

#include <chrono>

#include "notebook_fixture.h"

namespace {

TEST(NotebookIni, ChangesKeepEveryOtherLine) {
  CNotebookIni ini = CNotebookIni::Parse(
      "\xEF\xBB\xBF; my notebook\r\n[controller]\r\nNvmImage = current.bin ; the image\r\n"
      "NvmVersion=0x16\r\n\r\n[Faults]\r\nFailCall=3\r\n");
  EXPECT_EQ(ini.Get("Controller", "nvmimage"), "current.bin");
  EXPECT_EQ(ini.Get("Faults", "FailCall"), "3");
  EXPECT_EQ(ini.Get("Faults", "NvmImage"), std::nullopt);
  ini.Set("Controller", "NvmVersion", "0x17");
  ini.Set("Controller", "Extra", "1");
  ini.Set("Platform", "Clock", "instant");
  EXPECT_EQ(ini.Text(),
            "; my notebook\r\n[controller]\r\nNvmImage = current.bin ; the image\r\n"
            "NvmVersion=0x17\r\n\r\nExtra=1\r\n[Faults]\r\nFailCall=3\r\n[Platform]\r\n"
            "Clock=instant\r\n");
}

TEST(NotebookConfig, RejectsValuesItDoesNotKnow) {
  struct Case {
    std::string ini;
    std::string error;  // empty: valid
  };
  const std::string controller = "[Controller]\nNvmImage=a.bin\nNvmVersion=0x16\n";
  const Case cases[] = {
      {controller, ""},
      {controller + "[Platform]\nAcpiDevice=absent\nService=running\nAcOnline=unknown\n", ""},
      {"[Controller]\nNvmVersion=1\n", "NvmImage"},
      {"[Controller]\nNvmImage=a.bin\n", "NvmVersion"},
      {"[Controller]\nNvmImage=a.bin\nNvmVersion=0x1FFFFFFFF\n", "NvmVersion"},
      {controller + "[Platform]\nService=paused\n", "Service=paused"},
      {controller + "[Platform]\nClock=fast\n", "Clock"},
      {controller + "[Faults]\nShortReadAt=-4\n", "ShortReadAt"},
      {controller + "[Faults]\nDevsReplyBytes=2000\n", "DevsReplyBytes"},
  };
  for (const Case& c : cases) {
    CNotebookConfig config;
    std::string error;
    EXPECT_EQ(NotebookConfigFromIni(CNotebookIni::Parse(c.ini), config, error), c.error.empty())
        << c.ini;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

TEST(EmulatedController, HeaderRuleOfTheCheck) {
  struct Case {
    uint32_t word0;
    uint32_t word1000;
    size_t size;
    std::optional<uint32_t> base;
  };
  const Case cases[] = {
      {0x0000, 0x0000, 0x1100, std::nullopt},  // both header words 0
      {0x0000, 0x0020, 0x1100, 0x20},
      {0xFFFF, 0x1010, 0x1100, 0x1010},  // erased first sector
      {0xFFFF, 0xFFFF, 0x1100, std::nullopt},
      {0x0000, 0xFFFF, 0x20000, std::nullopt},  // 0xFFFF is no offset even where it would fit
      {0xFFFF, 0x0000, 0x20000, std::nullopt},
      {0x10FF, 0x0000, 0x1100, std::nullopt},  // the version byte would be past the end
      {0x10F5, 0x0000, 0x1100, 0x10F5},        // the version byte is the last one
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> image(c.size, 0);
    image[0] = static_cast<uint8_t>(c.word0);
    image[1] = static_cast<uint8_t>(c.word0 >> 8);
    image[0x1000] = static_cast<uint8_t>(c.word1000);
    image[0x1001] = static_cast<uint8_t>(c.word1000 >> 8);
    EXPECT_EQ(EmuMainSectionOffset(image), c.base) << std::hex << c.word0 << " " << c.word1000;
  }
  EXPECT_EQ(EmuMainSectionOffset({0x00}), std::nullopt);
  const auto erased = CNvmImageBuilder(FIXTURE_DEVICE_ID).Header(NvmHeader::Erased, 0x1100);
  EXPECT_EQ(EmuMainSectionOffset(erased.Build()), 0x1100u);
}

TEST(EmulatedController, WritesAlternateBetweenTwoCopiesAndKeepTheOriginal) {
  CNotebookFolder folder;
  folder.WriteNotebook();
  const std::string original = folder.Snapshot().at("current.bin");
  auto notebook = folder.Load();
  ASSERT_TRUE(notebook);
  CEmulatedController& controller = notebook->Controller();

  ASSERT_EQ(controller.Replace(FixtureImage(0x17)), EmuWriteOutcome::Written);
  ASSERT_EQ(controller.Replace(FixtureImage(0x18)), EmuWriteOutcome::Written);
  const auto files = folder.Snapshot();
  EXPECT_EQ(files.at("current.bin"), original);
  EXPECT_EQ(files.count("nvm-written-a.bin"), 0u);
  EXPECT_EQ(files.count("nvm-written-b.bin"), 1u);
  EXPECT_NE(files.at("notebook.ini").find("NvmImage=nvm-written-b.bin"), std::string::npos);
  EXPECT_NE(files.at("notebook.ini").find("NvmVersion=0x18"), std::string::npos);
  // The fixture's comment and the platform keys are still there.
  EXPECT_NE(files.at("notebook.ini").find("Clock=instant"), std::string::npos);
  for (const auto& [name, bytes] : files)
    EXPECT_FALSE(name.ends_with(".tmp")) << name;

  // An image without a main section changes nothing.
  EXPECT_EQ(controller.Replace(std::vector<uint8_t>(0x2000, 0)), EmuWriteOutcome::NoMainSection);
  EXPECT_EQ(folder.Snapshot(), files);
  notebook.reset();
  EXPECT_EQ(folder.Load()->Controller().Version(), 0x18u);
}

// The provider as controller access drives it, fault by fault.
class EmulatedProvider : public ::testing::Test {
 protected:
  std::unique_ptr<IWmiServices> Connect(const std::string& faults = "") {
    m_notebook.reset();  // it holds the folder until it goes
    m_folder.WriteNotebook("", faults);
    m_notebook = m_folder.Load();
    std::unique_ptr<IWmiServices> services;
    EXPECT_TRUE(m_notebook->Services().wmi->CreateLocator()->ConnectServer(
        L"root\\intel\\thunderbolt", services));
    return services;
  }
  static bool Read(IWmiServices& services, int32_t offset, WmiValue& returnValue, WmiValue& data) {
    std::unique_ptr<IWmiObject> cls, signature, in, out;
    if (!services.GetObjectByPath(L"SdkTbtController", cls) ||
        !cls->GetMethod(L"ReadFirmware", &signature) || !signature->SpawnInstance(in)) {
      return false;
    }
    in->Put(L"offset", WmiValue::Int(offset));
    in->Put(L"length", WmiValue::Int(4));
    if (!services.ExecMethod(kPath, L"ReadFirmware", in.get(), out))
      return false;
    out->Get(L"ReturnValue", returnValue);
    out->Get(L"data", data);
    return true;
  }
  static constexpr const wchar_t* kPath = L"SdkTbtController.ControllerId=\"TBT\\\\EMULATED\\\\0\"";

  CNotebookFolder m_folder;
  std::unique_ptr<CEmulatedNotebook> m_notebook;
};

TEST_F(EmulatedProvider, ServesTheMainSectionFromOffsetZero) {
  auto services = Connect();
  WmiValue rv, data;
  ASSERT_TRUE(Read(*services, 4, rv, data));
  EXPECT_EQ(rv.int32, 0);
  const auto section = CNvmImageBuilder(FIXTURE_DEVICE_ID).Version(0x16).MainSection();
  EXPECT_EQ(data.bytes, std::vector<uint8_t>(section.begin() + 4, section.begin() + 8));
  // The instance path must carry the doubled backslashes of the key.
  std::unique_ptr<IWmiObject> out;
  EXPECT_FALSE(services->ExecMethod(L"SdkTbtController.ControllerId=\"TBT\\EMULATED\\0\"",
                                    L"GetCurrentNvmVersion", nullptr, out));
  EXPECT_TRUE(services->ExecMethod(kPath, L"GetCurrentNvmVersion", nullptr, out));
  WmiValue version;
  ASSERT_TRUE(out->Get(L"NvmVersion", version));
  EXPECT_EQ(version.int32, 0x16);
}

TEST_F(EmulatedProvider, InjectedFaults) {
  struct Case {
    std::string faults;
    int32_t offset;
    bool callSucceeds;
    int32_t returnValue;
    size_t dataBytes;
  };
  const Case cases[] = {
      {"FailCall=1", 0, false, 0, 0},       {"FailCall=2", 0, true, 0, 4},
      {"FailReadAt=0x8", 8, false, 0, 0},   {"FailReadAt=0x8", 4, true, 0, 4},
      {"ShortReadAt=0x10", 16, true, 0, 2}, {"ReadReturnValue=0x55", 0, true, 0x55, 4},
  };
  for (const Case& c : cases) {
    auto services = Connect(c.faults);
    WmiValue rv, data;
    EXPECT_EQ(Read(*services, c.offset, rv, data), c.callSucceeds) << c.faults;
    if (!c.callSucceeds)
      continue;
    EXPECT_EQ(rv.int32, c.returnValue) << c.faults;
    EXPECT_EQ(data.bytes.size(), c.dataBytes) << c.faults;
  }
}

TEST(EmulatedSystem, ClockDecidesWhetherWaitsTakeTime) {
  for (const char* clock : {"real", "instant"}) {
    CNotebookFolder folder;
    folder.WriteNotebook();
    folder.WriteText("notebook.ini",
                     "[Controller]\nNvmImage=current.bin\nNvmVersion=1\n"
                     "[Platform]\nClock=" +
                         std::string(clock) + "\n");
    auto notebook = folder.Load();
    ASSERT_TRUE(notebook);
    const auto start = std::chrono::steady_clock::now();
    notebook->Services().system->Wait(300);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(took >= std::chrono::milliseconds(300), std::string(clock) == "real") << clock;
    ASSERT_EQ(notebook->Record().Summary(), std::vector<std::string>{"wait 300"});
  }
}

}  // namespace
