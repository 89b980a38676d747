#include "emulator/emulated_notebook.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

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
      {"[Controller]\nNvmVersion=1\n", "[Controller] NvmImage is missing"},
      {"[Controller]\nNvmImage=a.bin\n", "[Controller] NvmVersion is missing"},
      {"[Controller]\nNvmImage=\nNvmVersion=1\n", "NvmImage= is not valid"},
      {controller + "; a comment\n\n[faults]\nfailcall=3\n", ""},
      {controller + "[Faults]\nFailCal=3\n", "line 5: unknown key FailCal in [Faults]"},
      {controller + "[Fault]\nFailCall=3\n", "line 4: unknown section [Fault]"},
      {"FailCall=3\n" + controller, "line 1: key FailCall is outside any known section"},
      {controller + "[Platform]\nClock instant\n", "line 5: \"Clock instant\" is not"},
      {controller + "[Faults]\nFailCall=3\nFailCall=4\n",
       "line 6: [Faults] FailCall is given twice"},
      {controller + "[Controller]\nNvmVersion=0x17\n", "line 5: [Controller] NvmVersion is given"},
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

// Whatever the notebook's own image is called, a write never changes or removes a file the
// folder had; the emulation's copies alternate and only its own earlier copy goes.
TEST(EmulatedController, NotebookFilesAreNeverChangedOrRemoved) {
  struct Case {
    std::string nvmImage;
    std::vector<std::string> ownFiles;  // beside the image
  };
  const Case cases[] = {
      {"nvm-written-a.bin", {}},
      {"./nvm-written-a.bin", {}},
      {"current.bin", {"nvm-written-a.bin", "nvm-written-b.bin"}},
      {"./nvm-written-b.bin", {"nvm-written-a.bin"}},
  };
  for (const Case& c : cases) {
    CNotebookFolder folder;
    folder.WriteFile(std::filesystem::path(c.nvmImage).lexically_normal(), FixtureImage(0x16));
    for (const std::string& name : c.ownFiles)
      folder.WriteText(name, "the notebook's own " + name);
    folder.WriteText("notebook.ini",
                     "[Controller]\nNvmImage=" + c.nvmImage + "\nNvmVersion=0x16\n");
    std::filesystem::create_directories(folder.Data());
    const auto before = folder.Snapshot();
    auto notebook = folder.Load();
    ASSERT_TRUE(notebook) << c.nvmImage;
    for (uint8_t version : {0x17, 0x18, 0x19}) {
      ASSERT_EQ(notebook->Controller().Replace(FixtureImage(version)), EmuWriteOutcome::Written)
          << c.nvmImage;
    }
    const auto after = folder.Snapshot();
    for (const auto& [name, bytes] : before) {
      if (name == "notebook.ini")
        continue;
      EXPECT_EQ(after.count(name) ? after.at(name) : "(removed)", bytes)
          << c.nvmImage << " " << name;
    }
    // Exactly one copy of ours is left, the one notebook.ini names, with the last image.
    EXPECT_EQ(after.size(), before.size() + 1) << c.nvmImage;
    notebook.reset();
    auto reloaded = folder.Load();
    ASSERT_TRUE(reloaded);
    EXPECT_EQ(reloaded->Controller().Version(), 0x19u);
    const auto section = CNvmImageBuilder(FIXTURE_DEVICE_ID).Version(0x19).MainSection();
    EXPECT_EQ(reloaded->Controller().Read(0, 0x100),
              std::vector<uint8_t>(section.begin(), section.begin() + 0x100));
  }
}

// A write that cannot be saved changes nothing, says which path, and leaves no stray file.
TEST(EmulatedController, FailedSavesChangeNothing) {
  namespace fs = std::filesystem;
  struct Case {
    const char* name;
    std::function<void(CNotebookFolder&)> spoil;  // after the load, before the write
    std::string error;
  };
  const Case cases[] = {
      {"notebook.ini vanished", [](CNotebookFolder& f) { fs::remove(f.Root() / "notebook.ini"); },
       "notebook.ini"},
      {"notebook.ini became a directory",
       [](CNotebookFolder& f) {
         fs::remove(f.Root() / "notebook.ini");
         fs::create_directory(f.Root() / "notebook.ini");
       },
       "notebook.ini"},
      {"no free name for the copy",
       [](CNotebookFolder& f) {
         for (char letter = 'a'; letter <= 'z'; ++letter)
           fs::create_directory(f.Root() / (std::string("nvm-written-") + letter + ".bin"));
       },
       "cannot write"},
  };
  for (const Case& c : cases) {
    CNotebookFolder folder;
    folder.WriteNotebook();
    auto notebook = folder.Load();
    ASSERT_TRUE(notebook);
    c.spoil(folder);
    const auto before = folder.Snapshot();
    EXPECT_EQ(notebook->Controller().Replace(FixtureImage(0x17)), EmuWriteOutcome::CannotWrite)
        << c.name;
    EXPECT_EQ(notebook->Controller().WriteError().rfind("cannot write ", 0), 0u) << c.name;
    EXPECT_NE(notebook->Controller().WriteError().find(c.error), std::string::npos)
        << c.name << ": " << notebook->Controller().WriteError();
    EXPECT_EQ(folder.Snapshot(), before) << c.name;
    EXPECT_EQ(notebook->Controller().Version(), 0x16u) << c.name;
  }
}

// Like a real controller's firmware, which authenticates what it is given: a cut image is
// refused and nothing is stored; one of the same or a greater length is taken.
TEST(EmulatedController, RefusesAMainSectionShorterThanTheCurrentOne) {
  CNotebookFolder folder;
  folder.WriteNotebook();
  auto notebook = folder.Load();
  ASSERT_TRUE(notebook);
  const auto before = folder.Snapshot();
  std::vector<uint8_t> image = FixtureImage(0x17);
  std::vector<uint8_t> cut(image.begin(), image.end() - 1);
  EXPECT_EQ(notebook->Controller().Replace(cut), EmuWriteOutcome::Shorter);
  EXPECT_EQ(folder.Snapshot(), before);
  EXPECT_EQ(notebook->Controller().Version(), 0x16u);
  EXPECT_EQ(notebook->Controller().Replace(image), EmuWriteOutcome::Written);
  image.push_back(0);
  EXPECT_EQ(notebook->Controller().Replace(image), EmuWriteOutcome::Written);
}

// One run at a time per folder: a second load waits for nothing and says why.
TEST(EmulatedNotebook, SecondLoadOfAFolderInUseIsRefused) {
  CNotebookFolder folder;
  folder.WriteNotebook();
  auto first = folder.Load();
  ASSERT_TRUE(first);
  std::string error;
  bool inUse = false;
  EXPECT_EQ(CEmulatedNotebook::Load(folder.Root(), error, &inUse), nullptr);
  EXPECT_TRUE(inUse);
  EXPECT_NE(error.find("another run"), std::string::npos) << error;
  first.reset();
  EXPECT_NE(CEmulatedNotebook::Load(folder.Root(), error, &inUse), nullptr) << error;
  EXPECT_FALSE(inUse);
}

#ifndef _WIN32
// A notebook.ini that is a link stays one: the file it names is written, with its mode.
TEST(EmulatedController, LinkedNotebookIniStaysALinkAndKeepsItsMode) {
  namespace fs = std::filesystem;
  CNotebookFolder folder;
  folder.WriteNotebook();
  fs::create_directories(folder.Root() / "config");
  fs::rename(folder.Root() / "notebook.ini", folder.Root() / "config" / "real.ini");
  fs::create_symlink(fs::path("config") / "real.ini", folder.Root() / "notebook.ini");
  const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(folder.Root() / "config" / "real.ini", mode);
  auto notebook = folder.Load();
  ASSERT_TRUE(notebook);
  ASSERT_EQ(notebook->Controller().Replace(FixtureImage(0x17)), EmuWriteOutcome::Written);
  EXPECT_TRUE(fs::is_symlink(folder.Root() / "notebook.ini"));
  EXPECT_EQ(fs::status(folder.Root() / "config" / "real.ini").permissions(), mode);
  std::string text;
  ASSERT_TRUE(EmuReadFile(folder.Root() / "config" / "real.ini", text));
  EXPECT_NE(text.find("NvmVersion=0x17"), std::string::npos) << text;
  for (const auto& entry : fs::directory_iterator(folder.Root() / "config"))
    EXPECT_EQ(entry.path().filename(), "real.ini");
}
#endif

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
