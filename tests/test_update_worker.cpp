#include "engine/update_worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "engine/acpi_channel.h"
#include "engine/controller_access.h"
#include "engine/image_discovery.h"
#include "notebook_fixture.h"
#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>
#undef LoadImage  // a macro of windows.h, and a step of the worker
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

// The provider's chatter of the compatibility check, folded so that sequences stay readable.
std::vector<std::string> Folded(const std::vector<std::string>& summary) {
  std::vector<std::string> folded;
  for (const std::string& line : summary) {
    const std::string shown = line.starts_with("ReadFirmware") ? "ReadFirmware..." : line;
    if (shown == "ReadFirmware..." && !folded.empty() && folded.back() == shown)
      continue;
    folded.push_back(shown.starts_with("UpdateFirmware") ? "UpdateFirmware" : shown);
  }
  return folded;
}

bool Wrote(const std::vector<std::string>& summary) {
  return std::any_of(summary.begin(), summary.end(),
                     [](const std::string& s) { return s.starts_with("UpdateFirmware"); });
}

class UpdateWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_controllerPath[0] = 0;
    g_wbemServices.reset();
  }
  void TearDown() override {
    AcpiDeviceClose();
    g_acpiDevice = DEVICE_HANDLE_EMPTY;
    g_wbemServices.reset();
    PlatformSetDataFolder(L"");
  }

  // One attempt on the folder's notebook, with the device opened first as the flow does.
  UpdateResult Run(CNotebookFolder& folder, int32_t downgradable = 0,
                   UpdateMode mode = UpdateMode::Write, ISystem* system = nullptr) {
    m_notebook.reset();  // it holds the folder until it goes
    m_notebook = folder.Load();
    if (!m_notebook)
      return 0xFFFFFFFF;
    PlatformServices services = m_notebook->Services();
    if (system)
      services.system = system;
    CScopedPlatform installed(services);
    PlatformSetDataFolder(m_dataFolder.empty() ? folder.Data().wstring() : m_dataFolder);
    AcpiDeviceOpen();
    CUpdateState state;
    state.m_result = 0xBAD;
    state.m_downgradable = downgradable;
    if (mode == UpdateMode::Write) {
      EXPECT_EQ(UpdateWorker(&state), 0u);
    } else {
      UpdateAttempt(state, mode);
    }
    return state.m_result;
  }
  std::vector<std::string> Summary() const { return m_notebook->Record().Summary(); }

  std::unique_ptr<CEmulatedNotebook> m_notebook;
  std::wstring m_dataFolder;  // empty: the folder's data
};

TEST_F(UpdateWorkerTest, SuccessfulAttemptRunsEveryStepInOrderAndPersists) {
  CNotebookFolder folder;
  folder.WriteNotebook();
  const std::vector<uint8_t> image = CNvmImageBuilder(FIXTURE_DEVICE_ID).Version(0x17).Build();
  folder.WriteImage("newer.bin", image);

  EXPECT_EQ(Run(folder), UR_OK);
  const std::vector<std::string> expected = {"DEVS 1",
                                             "start ThunderboltService",
                                             "wait 10000",
                                             "connect",
                                             "query",
                                             "GetCurrentNvmVersion",
                                             "GetCurrentNvmVersion",
                                             "ReadFirmware...",
                                             "UpdateFirmware",
                                             "wait 10000",
                                             "DEVS 0"};
  EXPECT_EQ(Folded(Summary()), expected);
  const std::string write = "UpdateFirmware BufferSize=" + std::to_string(image.size());
  EXPECT_NE(std::find(Summary().begin(), Summary().end(), write), Summary().end());
  EXPECT_EQ(m_notebook->Devices().ThunderboltDeviceState(), 0u);

  // The next run of the program finds the written firmware.
  m_notebook.reset();
  auto reloaded = folder.Load();
  ASSERT_TRUE(reloaded);
  EXPECT_EQ(reloaded->Controller().Version(), 0x17u);
  const auto section = CNvmImageBuilder(FIXTURE_DEVICE_ID).Version(0x17).MainSection();
  EXPECT_EQ(reloaded->Controller().Read(0, static_cast<uint32_t>(section.size())), section);
}

TEST_F(UpdateWorkerTest, EveryOutcomeWaitsAndSwitchesTheDeviceOff) {
  struct Case {
    const char* name;
    std::string platform;
    std::string faults;
    std::vector<uint8_t> image;  // empty: no data folder at all
    int32_t downgradable;
    UpdateResult expected;
    bool writes;
  };
  const auto same = FixtureImage(0x16);
  const auto older = FixtureImage(0x15);
  const auto otherFamily = FixtureImage(0x17, 0x1578);
  const Case cases[] = {
      {"no Thunderbolt software", "ThunderboltSoftware=absent", "", same, 0, UR_NO_TBT_SOFTWARE,
       false},
      {"no controller, no image", "", "NoController=1", {}, 0, UR_NO_CONTROLLER, false},
      {"version call refused", "", "VersionReturnValue=7", same, 0, 7, false},
      {"no data folder", "", "", {}, 0, UR_NO_IMAGE, false},
      {"same version", "", "", same, 0, UR_OK, true},
      {"older refused", "", "", older, 0, UR_DOWNGRADE_REFUSED, false},
      {"older allowed", "", "", older, 1, UR_OK, true},
      {"provider refuses the write", "", "UpdateReturnValue=5", same, 0, 5, true},
      {"check refuses", "", "", otherFamily, 1, UR_FAMILY_MISMATCH, false},
      {"version unknown refused", "", "NoNvmVersion=1", same, 0, UR_DOWNGRADE_REFUSED, false},
      {"version unknown allowed", "", "NoNvmVersion=1", same, 1, UR_OK, true},
      // Failures before the connection are not the attempt's outcome.
      {"service absent, device failing", "Service=absent", "FailDeviceRequest=all", same, 0, UR_OK,
       true},
  };
  for (const Case& c : cases) {
    SetUp();
    CNotebookFolder folder;
    folder.WriteNotebook(c.platform, c.faults);
    if (!c.image.empty())
      folder.WriteImage("image.bin", c.image);
    EXPECT_EQ(Run(folder, c.downgradable), c.expected) << c.name;
    const auto summary = Summary();
    ASSERT_GE(summary.size(), 5u) << c.name;
    EXPECT_EQ(summary[0], "DEVS 1") << c.name;
    EXPECT_EQ(std::count(summary.begin(), summary.end(), "wait 10000"), 2) << c.name;
    EXPECT_TRUE(
        (std::find(summary.begin(), summary.end(), "wait 10000") + 1)->starts_with("connect"))
        << c.name;
    EXPECT_EQ(summary[summary.size() - 2], "wait 10000") << c.name;
    EXPECT_EQ(summary.back(), "DEVS 0") << c.name;
    EXPECT_EQ(Wrote(summary), c.writes) << c.name;
    TearDown();
  }
}

TEST_F(UpdateWorkerTest, EmptyDataFolderIsNoImage) {
  CNotebookFolder folder;
  folder.WriteNotebook();
  folder.WriteText("data/readme.txt", "not an image");
  EXPECT_EQ(Run(folder), UR_NO_IMAGE);
}

// The real system with a scripted directory listing and file reads.
class CScriptedSystem final : public ISystem {
 public:
  explicit CScriptedSystem(ISystem& inner) : m_inner(inner) {}
  std::vector<std::wstring> listing;
  std::wstring opened;
  std::optional<FileReadStatus> readStatus;

  uint32_t waited = 0;

  void Wait(uint32_t ms) override { waited += ms; }
  bool ModulePath(std::wstring& path) override { return m_inner.ModulePath(path); }
  bool ListDirectory(const std::wstring& pattern, std::vector<std::wstring>& names) override {
    // Only the image search is scripted; other listings are the system's.
    if (listing.empty() || !pattern.ends_with(L"\\*.bin"))
      return m_inner.ListDirectory(pattern, names);
    names = listing;
    return true;
  }
  FileReadStatus ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& bytes) override {
    opened = path;
    const FileReadStatus real = m_inner.ReadWholeFile(path, bytes);
    // A short read hands back the block with its missing bytes still zero.
    return readStatus.value_or(real);
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

  bool lockHeldElsewhere = false;
  int locks = 0;
  int unlocks = 0;
  std::function<void()> onUnlock;
  bool AcquireAttemptLock() override {
    if (lockHeldElsewhere)
      return false;
    ++locks;
    return true;
  }
  void ReleaseAttemptLock() override {
    ++unlocks;
    if (onUnlock)
      onUnlock();
  }

 private:
  ISystem& m_inner;
};

TEST_F(UpdateWorkerTest, OneAttemptAtATimeFromDeviceOnToDeviceOff) {
  struct Case {
    const char* name;
    std::string platform;
    std::string faults;
    bool heldElsewhere;
    UpdateResult expected;
  };
  const Case cases[] = {
      {"written", "", "", false, UR_OK},
      {"no software", "ThunderboltSoftware=absent", "", false, UR_NO_TBT_SOFTWARE},
      {"provider refuses", "", "UpdateReturnValue=5", false, 5},
      {"another attempt runs", "", "", true, UR_ATTEMPT_RUNNING},
  };
  for (const Case& c : cases) {
    SetUp();
    CNotebookFolder folder;
    folder.WriteNotebook(c.platform, c.faults);
    folder.WriteImage("image.bin", FixtureImage(0x17));
    const auto before = folder.Snapshot();
    CScriptedSystem system(PlatformSystem());
    system.lockHeldElsewhere = c.heldElsewhere;
    std::string lastBeforeUnlock;
    system.onUnlock = [&] { lastBeforeUnlock = Summary().back(); };
    EXPECT_EQ(Run(folder, 0, UpdateMode::Write, &system), c.expected) << c.name;
    if (c.heldElsewhere) {
      // Nothing at all: no device switched, no service started, no wait, no provider call.
      EXPECT_TRUE(Summary().empty()) << c.name;
      EXPECT_EQ(system.waited, 0u) << c.name;
      EXPECT_EQ(system.unlocks, 0) << c.name;
      EXPECT_EQ(folder.Snapshot(), before) << c.name;
    } else {
      EXPECT_EQ(system.locks, 1) << c.name;
      EXPECT_EQ(system.unlocks, 1) << c.name;
      EXPECT_EQ(lastBeforeUnlock, "DEVS 0") << c.name;
    }
    TearDown();
  }
}

TEST_F(UpdateWorkerTest, FirstListedEntryIsTheImage) {
  CNotebookFolder folder;
  folder.WriteNotebook();
  folder.WriteImage("a.bin", FixtureImage(0x17, 0x1578));
  folder.WriteImage("b.bin", FixtureImage(0x17));
  CScriptedSystem system(PlatformSystem());
  system.listing = {L".", L"..", L"b.bin", L"a.bin"};
  EXPECT_EQ(Run(folder, 0, UpdateMode::Write, &system), UR_OK);
  EXPECT_TRUE(system.opened.ends_with(L"\\b.bin"));

  system.listing = {L"..", L"a.bin", L"b.bin"};
  SetUp();
  EXPECT_EQ(Run(folder, 0, UpdateMode::Write, &system), UR_FAMILY_MISMATCH);
}

TEST_F(UpdateWorkerTest, AnImageNotReadInFullIsNeverChecked) {
  struct Case {
    FileReadStatus status;
    UpdateResult expected;
  };
  for (const Case& c :
       {Case{FileReadStatus::ShortRead, UR_NO_IMAGE}, Case{FileReadStatus::TooLarge, UR_NO_IMAGE},
        Case{FileReadStatus::OpenFailed, UR_NO_IMAGE},
        Case{FileReadStatus::NoMemory, UR_OUT_OF_MEMORY}}) {
    SetUp();
    CNotebookFolder folder;
    folder.WriteNotebook();
    folder.WriteImage("image.bin", FixtureImage(0x17));
    CScriptedSystem system(PlatformSystem());
    system.readStatus = c.status;
    EXPECT_EQ(Run(folder, 1, UpdateMode::Write, &system), c.expected);
    // The worker's own version call is the only one: the check never ran.
    const auto folded = Folded(Summary());
    EXPECT_EQ(std::count(folded.begin(), folded.end(), "GetCurrentNvmVersion"), 1);
    EXPECT_FALSE(Wrote(Summary()));
    EXPECT_EQ(Summary().back(), "DEVS 0");
    EXPECT_EQ(system.waited, 20000u);
    TearDown();
  }
}

// Neither check nor update may take a file whose size the write cannot carry (32-bit signed).
TEST_F(UpdateWorkerTest, FilesOfTwoGibibytesAndMoreAreNoImage) {
  struct Case {
    uint64_t size;
    UpdateMode mode;
  };
  for (const Case& c :
       {Case{uint64_t{1} << 31, UpdateMode::CheckOnly}, Case{uint64_t{1} << 31, UpdateMode::Write},
        // Its size would wrap to 16 bytes in 32 bits.
        Case{(uint64_t{1} << 32) + 16, UpdateMode::Write}}) {
    SetUp();
    CNotebookFolder folder;
    folder.WriteNotebook();
    // Sparse, so that no disk space is spent.
    const auto huge = folder.Data() / "huge.bin";
    folder.WriteImage("huge.bin", FixtureImage(0x17));
    std::error_code error;
    std::filesystem::resize_file(huge, c.size, error);
    if (error)
      GTEST_SKIP() << "no sparse files here: " << error.message();
    EXPECT_EQ(Run(folder, 1, c.mode), UR_NO_IMAGE) << c.size;
    EXPECT_EQ(UpdateWorkerDiscovery().miss, ImageMiss::TooLarge) << c.size;
    const auto folded = Folded(Summary());
    EXPECT_EQ(std::count(folded.begin(), folded.end(), "GetCurrentNvmVersion"), 1) << c.size;
    EXPECT_FALSE(Wrote(Summary()));
    TearDown();
  }
}

// Outside the data folder lies a valid image that a name holding a separator would reach.
TEST_F(UpdateWorkerTest, DiscoveryTakesTheFirstEntryThatNamesAFileOfTheFolder) {
  struct Case {
    const char* name;
    std::vector<std::wstring> listing;
    UpdateResult expected;
    ImageMiss miss;
    std::optional<size_t> taken;
  };
  const Case cases[] = {
      {"backslash", {L"..\\other.bin"}, UR_NO_IMAGE, ImageMiss::OnlyBadNames, std::nullopt},
      {"slash", {L".", L"..", L"../other.bin"}, UR_NO_IMAGE, ImageMiss::OnlyBadNames, std::nullopt},
      {"not decodable", {L"\uFFFD.bin"}, UR_NO_IMAGE, ImageMiss::OnlyBadNames, std::nullopt},
      {"bad names, then an image",
       {L"..\\other.bin", L"sub/../../other.bin", L"b.bin"},
       UR_OK,
       ImageMiss::None,
       2},
      {"a folder first", {L"folder.bin", L"b.bin"}, UR_NO_IMAGE, ImageMiss::Directory, 0},
      {"a listed file that is gone",
       {L"gone.bin", L"b.bin"},
       UR_NO_IMAGE,
       ImageMiss::Unreadable,
       0},
  };
  for (const Case& c : cases) {
    SetUp();
    CNotebookFolder folder;
    folder.WriteNotebook();
    folder.WriteFile("other.bin", FixtureImage(0x17));
    folder.WriteImage("b.bin", FixtureImage(0x17));
    std::filesystem::create_directories(folder.Data() / "folder.bin");
    CScriptedSystem system(PlatformSystem());
    system.listing = c.listing;
    EXPECT_EQ(Run(folder, 0, UpdateMode::Write, &system), c.expected) << c.name;
    const CImageDiscovery& report = UpdateWorkerDiscovery();
    EXPECT_TRUE(report.searched) << c.name;
    EXPECT_EQ(report.miss, c.miss) << c.name;
    EXPECT_EQ(report.taken, c.taken) << c.name;
    EXPECT_EQ(system.opened.find(L"other.bin"), std::wstring::npos) << c.name;
    EXPECT_EQ(Wrote(Summary()), c.expected == UR_OK) << c.name;
    TearDown();
  }
}

TEST_F(UpdateWorkerTest, NoImageSaysWhetherTheFolderOrItsEntriesFailed) {
  struct Case {
    const char* name;
    std::wstring folder;  // relative to the notebook folder; empty: its data folder
    ImageMiss miss;
  };
  const Case cases[] = {
      {"no such folder", L"nowhere", ImageMiss::FolderUnlisted},
      {"no *.bin", L"", ImageMiss::NoMatch},
      {"a path too long", std::wstring(1100, L'd'), ImageMiss::PathTooLong},
  };
  for (const Case& c : cases) {
    SetUp();
    CNotebookFolder folder;
    folder.WriteNotebook();
    folder.WriteText("data/readme.txt", "not an image");
    m_dataFolder = c.folder.empty() ? L"" : (folder.Root() / c.folder).wstring();
    EXPECT_EQ(Run(folder), UR_NO_IMAGE) << c.name;
    EXPECT_EQ(UpdateWorkerDiscovery().miss, c.miss) << c.name;
    m_dataFolder.clear();
    TearDown();
  }
}

TEST_F(UpdateWorkerTest, AnAttemptThatEndsBeforeDiscoveryReportsNoSearch) {
  CNotebookFolder folder;
  folder.WriteNotebook("ThunderboltSoftware=absent");
  folder.WriteImage("image.bin", FixtureImage(0x17));
  EXPECT_EQ(Run(folder), UR_NO_TBT_SOFTWARE);
  EXPECT_FALSE(UpdateWorkerDiscovery().searched);
}

// An image that passes the check but is shorter than the controller's firmware: the emulated
// controller, like a real one, refuses it with a code of its own and keeps what it has.
TEST_F(UpdateWorkerTest, ControllerRefusesAShorterImage) {
  CNotebookFolder folder;
  folder.WriteNotebook();
  folder.WriteFile("current.bin",
                   CNvmImageBuilder(FIXTURE_DEVICE_ID).Version(0x16).SectionSize(0x3000).Build());
  folder.WriteImage("image.bin", FixtureImage(0x17));
  const auto before = folder.Snapshot();
  EXPECT_EQ(Run(folder), static_cast<UpdateResult>(EMU_PROVIDER_IMAGE_REFUSED));
  EXPECT_TRUE(Wrote(Summary()));
  EXPECT_EQ(Summary().back(), "DEVS 0");
  EXPECT_EQ(folder.Snapshot(), before);
  EXPECT_EQ(m_notebook->Controller().Version(), 0x16u);
}

// The folder spoilt between the check and the write: the write fails, and the attempt still
// waits and switches the device off.
TEST_F(UpdateWorkerTest, FolderSpoiltMidRunStillEndsWithDeviceOff) {
  CNotebookFolder folder;
  folder.WriteNotebook();
  folder.WriteImage("image.bin", FixtureImage(0x17));
  struct CSpoiler {
    std::filesystem::path ini;
    static void Observe(UpdateStep step, void* context) {
      if (step != UpdateStep::Write)
        return;
      const auto& ini = static_cast<CSpoiler*>(context)->ini;
      std::filesystem::remove(ini);
      std::filesystem::create_directory(ini);
    }
  } spoiler{folder.Root() / "notebook.ini"};
  UpdateWorkerSetObserver(&CSpoiler::Observe, &spoiler);
  EXPECT_EQ(Run(folder), static_cast<UpdateResult>(EMU_PROVIDER_WRITE_FAILED));
  UpdateWorkerSetObserver(nullptr, nullptr);
  const auto summary = Summary();
  ASSERT_GE(summary.size(), 2u);
  EXPECT_EQ(summary[summary.size() - 2], "wait 10000");
  EXPECT_EQ(summary.back(), "DEVS 0");
  EXPECT_NE(m_notebook->Controller().WriteError().find("notebook.ini"), std::string::npos);
  EXPECT_EQ(m_notebook->Controller().Version(), 0x16u);
}

// The real platform's lock is seen by every process of the machine, not only by its holder.
TEST(AttemptLock, NativeLockIsSystemWide) {
  ISystem& native = *PlatformNative().system;
  if (!native.AcquireAttemptLock())
    GTEST_SKIP() << "another process holds the attempt lock, or it cannot be made here";
  EXPECT_FALSE(native.AcquireAttemptLock());  // a second attempt of this process
  const auto heldByOther = [] {
#ifdef _WIN32
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, L"Global\\KelvaneUpdateAttempt");
    const bool exists = ::GetLastError() == ERROR_ALREADY_EXISTS;
    ::CloseHandle(mutex);
    return exists;
#else
    const int fd = open("/run/lock/kelvane-update.lock", O_RDONLY | O_CLOEXEC);
    const bool locked = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (fd >= 0)
      close(fd);
    return locked;
#endif
  };
  EXPECT_TRUE(heldByOther());
  native.ReleaseAttemptLock();
  EXPECT_FALSE(heldByOther());
  ASSERT_TRUE(native.AcquireAttemptLock());
  native.ReleaseAttemptLock();
}

struct CStepLog {
  std::vector<UpdateStep> steps;
  static void Observe(UpdateStep step, void* context) {
    static_cast<CStepLog*>(context)->steps.push_back(step);
  }
};

TEST_F(UpdateWorkerTest, ObserverSeesEachStepAndCheckStopsBeforeTheWrite) {
  using S = UpdateStep;
  const std::vector<UpdateStep> all = {
      S::DeviceOn,  S::ServiceStart, S::ServiceWait, S::Connect, S::ReadVersion, S::FindImage,
      S::LoadImage, S::CheckImage,   S::VersionRule, S::Write,   S::SettleWait,  S::DeviceOff};
  std::vector<UpdateStep> checkOnly = all;
  checkOnly.erase(std::find(checkOnly.begin(), checkOnly.end(), S::Write));

  for (const UpdateMode mode : {UpdateMode::Write, UpdateMode::CheckOnly}) {
    SetUp();
    CNotebookFolder folder;
    folder.WriteNotebook();
    folder.WriteImage("image.bin", FixtureImage(0x17));
    const auto before = folder.Snapshot();
    CStepLog log;
    UpdateWorkerSetObserver(&CStepLog::Observe, &log);
    EXPECT_EQ(Run(folder, 0, mode), UR_OK);
    UpdateWorkerSetObserver(nullptr, nullptr);
    EXPECT_EQ(log.steps, mode == UpdateMode::Write ? all : checkOnly);
    EXPECT_EQ(Wrote(Summary()), mode == UpdateMode::Write);
    if (mode == UpdateMode::CheckOnly) {
      EXPECT_EQ(folder.Snapshot(), before);
    }
    TearDown();
  }
}

}  // namespace
