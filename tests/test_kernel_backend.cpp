#include "platform/linux/kernel_backend.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>

#include <array>
#include <stdexcept>

#include "engine/acpi_channel.h"
#include "engine/compatibility_check.h"
#include "engine/controller_access.h"
#include "engine/update_worker.h"
#include "kernel_fixture.h"
#include "platform/linux/kernel_tree.h"

namespace {

const std::string ROUTER = KfixRouterFolder("0-0");
const std::string NON_ACTIVE = ROUTER + "/nvm_non_active0/nvmem";
const std::string ACTIVE = ROUTER + "/nvm_active0/nvmem";
const std::string AUTHENTICATE = ROUTER + "/nvm_authenticate";
const std::string FORCE_POWER = KERNEL_FORCE_POWER;

const NvmCheckEntry& Row(const wchar_t* label) {
  for (const NvmCheckEntry& row : g_nvmCheckTable) {
    if (row.family == 1 && std::wstring_view(row.label) == label)
      return row;
  }
  throw std::logic_error("no such row");
}

void ResetEngine() {
  AcpiDeviceClose();
  g_acpiDevice = DEVICE_HANDLE_EMPTY;
  g_wbemServices.reset();
  g_controllerPath[0] = 0;
  PlatformSetDataFolder(L"");
}

// One fake notebook and one attempt of the worker against it, as kelvane-cli runs it.
struct CRig {
  CFakeKernel kernel;
  CFakeKernelClock clock{kernel, *PlatformNative().system};
  KernelTiming timing;
  std::unique_ptr<CKernelBackend> backend;
  std::string notes;

  CRig() { ResetEngine(); }
  ~CRig() { ResetEngine(); }

  // A controller at version 0x16 with the fixture's section, force power and AC.
  CRig& Standard() {
    kernel.AddDomain("domain0");
    kernel.AddRouter("0-0", KernelImage(0x16).MainSection(), 0x16);
    kernel.AddForcePower();
    kernel.AddSupply("AC", "Mains", "1");
    return *this;
  }

  UpdateResult Run(const std::vector<uint8_t>& image, UpdateMode mode = UpdateMode::Write,
                   const std::string& controller = "") {
    const std::string data = kernel.Root() + "/data";
    std::filesystem::create_directories(data);
    std::ofstream(data + "/image.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    backend = std::make_unique<CKernelBackend>(
        kernel, clock, controller, [this](const std::string& line) { notes += line + "\n"; },
        timing);
    CScopedPlatform installed(backend->Services());
    PlatformSetDataFolder(std::filesystem::path(data).wstring());
    if (!AcpiDeviceOpen())
      return UR_NO_ACPI_DEVICE;
    CUpdateState state;
    state.m_result = 0xBAD;
    UpdateAttempt(state, mode);
    AcpiDeviceClose();
    return state.m_result;
  }

  bool Noted(const std::string& text) const { return notes.find(text) != std::string::npos; }
  bool Failed(const std::string& text) const {
    return backend->Failure().find(text) != std::string::npos;
  }

  // Nothing of the NVM interface was written.
  void ExpectUntouched(const std::string& name) const {
    EXPECT_FALSE(kernel.WroteTo("nvm_non_active")) << name;
    EXPECT_FALSE(kernel.WroteTo("nvm_authenticate")) << name;
    EXPECT_EQ(kernel.Content(NON_ACTIVE), "") << name;
    EXPECT_EQ(kernel.Content(AUTHENTICATE), "0x0\n") << name;
  }
};

TEST(KernelBackend, CompatibleUpdateEndToEndRereadsTheVersion) {
  CRig rig;
  rig.Standard();
  const auto image = KernelImage(0x18).Build();
  EXPECT_EQ(rig.Run(image), UR_OK) << rig.backend->Failure() << rig.notes;

  // The new section is what the controller now runs, found under the kernel's new numbering.
  const auto section = KernelImage(0x18).MainSection();
  EXPECT_EQ(rig.kernel.Content(ROUTER + "/nvm_active7/nvmem"),
            std::string(section.begin(), section.end()));
  const std::vector<std::string> writes = {FORCE_POWER + "=1",
                                           NON_ACTIVE + "=" + std::to_string(image.size()),
                                           AUTHENTICATE + "=1", FORCE_POWER + "=0"};
  EXPECT_EQ(rig.kernel.Writes(), writes);
  for (const char* line :
       {"nothing to start", "has gone away", "is back after", "still waiting: 5 s of at most 180 s",
        "authentication status 0, running version 18.0"}) {
    EXPECT_TRUE(rig.Noted(line)) << line << "\n" << rig.notes;
  }
  EXPECT_EQ(rig.backend->Failure(), "");

  // The next attempt reads the new firmware: the same image again is no downgrade.
  CRig again;
  again.kernel.AddRouter("0-0", section, 0x18);
  again.kernel.AddForcePower();
  EXPECT_EQ(again.Run(image, UpdateMode::CheckOnly), UR_OK) << again.backend->Failure();
  EXPECT_EQ(again.Run(KernelImage(0x17).Build(), UpdateMode::CheckOnly), UR_DOWNGRADE_REFUSED);
}

// The first return is not the end: the kernel power-cycles the controller once more.
TEST(KernelBackend, VerifiesOnlyAfterTheRouterStaysBack) {
  CRig rig;
  rig.Standard();
  rig.kernel.React(KfixReaction::PowerCycle);
  EXPECT_EQ(rig.Run(KernelImage(0x18).Build()), UR_OK) << rig.backend->Failure() << rig.notes;
  EXPECT_TRUE(rig.Noted("running version 18.0")) << rig.notes;
}

TEST(KernelBackend, EveryRefusalLeavesTheNvmInterfaceUntouched) {
  struct Case {
    const char* name;
    std::vector<uint8_t> image;
    UpdateResult expected;
  };
  const Case cases[] = {
      {"other family", KernelImage(0x18, 0x1578).Build(), UR_FAMILY_MISMATCH},
      {"other variant", KernelImage(0x18, 0x156B).Build(), UR_VARIANT_MISMATCH},
      {"unlisted device", KernelImage(0x18, 0x1234).Build(), UR_UNLISTED_DEVICE_ID},
      {"higher level", KernelImage(0x18).Level(3).Build(), UR_LEVEL_MISMATCH},
      {"PCIe settings", KernelImage(0x18).SetField(Row(L"PCIe Settings"), 1).Build(),
       UR_SECTION_MISMATCH},
      {"second sink (variant 0 only)", KernelImage(0x18).SetField(Row(L"Snk1_3(DP-in)"), 9).Build(),
       UR_SECTION_MISMATCH},
      {"older", KernelImage(0x15).Build(), UR_DOWNGRADE_REFUSED},
      {"no main section", std::vector<uint8_t>(0x2000, 0), UR_NO_IMAGE},
      // Accepted by our check, refused by the kernel's own rule: said before anything is written.
      {"section not on 4 KiB", KernelImage(0x18).Header(NvmHeader::AtZero, 0x100).Build(),
       uint32_t(KERNEL_RV_IMAGE_REFUSED)},
      {"section behind the word at 0x1000",
       KernelImage(0x18).Header(NvmHeader::At0x1000, 0x2000).Build(),
       uint32_t(KERNEL_RV_IMAGE_REFUSED)},
  };
  for (const Case& c : cases) {
    CRig rig;
    rig.Standard();
    EXPECT_EQ(rig.Run(c.image), c.expected) << c.name << ": " << rig.backend->Failure();
    rig.ExpectUntouched(c.name);
    // The platform device is switched off again whatever the outcome.
    EXPECT_EQ(rig.kernel.Writes().back(), FORCE_POWER + "=0") << c.name;
  }
}

TEST(KernelBackend, KernelRefusalIsNamedInWords) {
  struct Case {
    const char* name;
    std::vector<uint8_t> image;
    const char* words;  // empty: the kernel takes it
  };
  const Case cases[] = {
      {"fixture", KernelImage(0x18).Build(), ""},
      {"not on 4 KiB", KernelImage(0x18).Header(NvmHeader::AtZero, 0x100).Build(),
       "(0x100), and it is not on a 4 KiB boundary"},
      {"other device ID", KernelImage(0x18, 0x156B).Build(),
       "device ID 0x156B at 0x4005, and the host router is 0x156D"},
      {"too short", {0x00, 0x40, 0x00, 0x00}, "point past the end"},
      {"empty", {}, "point past the end"},
  };
  for (const Case& c : cases) {
    const std::string refusal = KernelImageRefusal(c.image, KFIX_DEVICE_ID);
    if (*c.words == 0) {
      EXPECT_EQ(refusal, "") << c.name;
    } else {
      EXPECT_NE(refusal.find(c.words), std::string::npos) << c.name << ": " << refusal;
    }
  }
}

TEST(KernelBackend, SafeModeIsRefusedWithItsOwnMessage) {
  CRig rig;
  rig.Standard();
  rig.kernel.FailRead(ROUTER + "/nvm_version", ENODATA);
  EXPECT_EQ(rig.Run(KernelImage(0x18).Build()), uint32_t(KERNEL_RV_SAFE_MODE));
  EXPECT_TRUE(rig.Failed("safe mode")) << rig.backend->Failure();
  EXPECT_TRUE(rig.Failed("cannot compare")) << rig.backend->Failure();
  rig.ExpectUntouched("safe mode");
}

TEST(KernelBackend, FailuresAfterTheTriggerAreFailuresInWords) {
  struct Case {
    const char* name;
    KfixReaction reaction;
    uint32_t status;
    UpdateResult expected;
    const char* words;
  };
  const Case cases[] = {
      {"status", KfixReaction::FailStatus, 0x2D, uint32_t(KERNEL_RV_AUTH_STATUS),
       "authentication status is 0x2D"},
      {"never back", KfixReaction::NeverBack, 0, uint32_t(KERNEL_RV_NOT_BACK),
       "did not come back within 180 s"},
      {"never restarts", KfixReaction::NeverGone, 0, uint32_t(KERNEL_RV_NOT_RESTARTED),
       "did not restart within 30 s"},
      {"never restarts, status", KfixReaction::NeverGone, 0x7, uint32_t(KERNEL_RV_AUTH_STATUS),
       "authentication status is 0x7"},
  };
  for (const Case& c : cases) {
    CRig rig;
    rig.Standard();
    rig.kernel.React(c.reaction, c.status);
    const uint32_t start = rig.kernel.Now();
    EXPECT_EQ(rig.Run(KernelImage(0x18).Build()), c.expected) << c.name << rig.notes;
    EXPECT_TRUE(rig.Failed(c.words)) << c.name << ": " << rig.backend->Failure();
    // Bounded: the restart wait and the worker's two waits of 10 s, nothing more.
    EXPECT_LE(rig.kernel.Now() - start, rig.timing.backWithinMs + 20000) << c.name;
    EXPECT_TRUE(rig.kernel.WroteTo("nvm_authenticate")) << c.name;
  }
}

TEST(KernelBackend, WriteAndTriggerErrorsAreFailuresInWords) {
  struct Case {
    const char* name;
    std::string path;
    int error;
    UpdateResult expected;
    const char* words;
    bool triggered;
  };
  const Case cases[] = {
      {"image write", NON_ACTIVE, ENOSPC, uint32_t(KERNEL_RV_WRITE_FAILED),
       "did not take the image", false},
      {"trigger", AUTHENTICATE, EINVAL, uint32_t(KERNEL_RV_AUTHENTICATE_FAILED),
       "the kernel's own check of the image failed", true},
  };
  for (const Case& c : cases) {
    CRig rig;
    rig.Standard();
    rig.kernel.FailWrite(c.path, c.error);
    EXPECT_EQ(rig.Run(KernelImage(0x18).Build()), c.expected) << c.name;
    EXPECT_TRUE(rig.Failed(c.words)) << c.name << ": " << rig.backend->Failure();
    EXPECT_TRUE(rig.Failed(SysfsErrorText(c.error))) << c.name << ": " << rig.backend->Failure();
    EXPECT_EQ(rig.kernel.WroteTo("nvm_authenticate"), c.triggered) << c.name;
    EXPECT_FALSE(rig.Noted("has gone away")) << c.name;
  }
}

TEST(KernelBackend, ChoosingAmongHostRouters) {
  struct Case {
    const char* name;
    std::vector<std::string> routers;
    std::string controller;
    UpdateResult expected;
    const char* words;  // in the failure; empty: none
  };
  const Case cases[] = {
      {"two, none chosen",
       {"0-0", "1-0"},
       "",
       UR_NO_CONTROLLER,
       "More than one Thunderbolt host router: 0-0, 1-0. Choose the one to update with "
       "--controller <domain>-0."},
      {"two, second chosen", {"0-0", "1-0"}, "1-0", UR_OK, ""},
      {"chosen one absent",
       {"0-0"},
       "2-0",
       UR_NO_CONTROLLER,
       "No host router 2-0 in /sys/bus/thunderbolt/devices; there are: 0-0."},
      {"none, force power only",
       {},
       "",
       UR_NO_CONTROLLER,
       "looked for /sys/bus/thunderbolt/devices/<domain>-0 and found none"},
  };
  for (const Case& c : cases) {
    CRig rig;
    rig.kernel.AddBus();
    rig.kernel.AddForcePower();
    rig.kernel.AddDomain("domain0");
    rig.kernel.AddRouter("0-0-1", {}, 0);  // a device behind the host router, never chosen
    for (const std::string& name : c.routers)
      rig.kernel.AddRouter(name, KernelImage(0x16).MainSection(), 0x16);
    EXPECT_EQ(rig.Run(KernelImage(0x18).Build(), UpdateMode::Write, c.controller), c.expected)
        << c.name << ": " << rig.backend->Failure();
    if (*c.words) {
      EXPECT_TRUE(rig.Failed(c.words)) << c.name << ": " << rig.backend->Failure();
    }
    for (const std::string& name : c.routers) {
      const bool chosen = name == c.controller && c.expected == UR_OK;
      EXPECT_EQ(rig.kernel.WroteTo(KfixRouterFolder(name) + "/nvm_non_active"), chosen)
          << c.name << " " << name;
    }
  }
}

TEST(KernelBackend, ForcePowerWhereTheNotebookHasIt) {
  // No switch but a router: the attempt goes on, and says so.
  CRig withoutSwitch;
  withoutSwitch.kernel.AddRouter("0-0", KernelImage(0x16).MainSection(), 0x16);
  EXPECT_EQ(withoutSwitch.Run(KernelImage(0x18).Build()), UR_OK) << withoutSwitch.notes;
  EXPECT_TRUE(withoutSwitch.Noted("no force-power switch")) << withoutSwitch.notes;
  EXPECT_FALSE(withoutSwitch.kernel.WroteTo("force_power"));

  // Neither: the "no control device" refusal, before any step.
  CRig neither;
  neither.kernel.AddBus();
  EXPECT_EQ(neither.Run(KernelImage(0x18).Build()), UR_NO_ACPI_DEVICE);
  EXPECT_TRUE(neither.Failed("neither the force-power switch")) << neither.backend->Failure();
  EXPECT_TRUE(neither.kernel.Writes().empty());

  // No driver at all, but the switch: the software cannot be reached.
  CRig noDriver;
  noDriver.kernel.AddForcePower();
  EXPECT_EQ(noDriver.Run(KernelImage(0x18).Build()), UR_NO_TBT_SOFTWARE);
  EXPECT_TRUE(noDriver.Failed("modprobe thunderbolt")) << noDriver.backend->Failure();
}

TEST(KernelBackend, NotRootNamesTheFileThatCouldNotBeOpened) {
  const std::string paths[] = {FORCE_POWER, ACTIVE, NON_ACTIVE, AUTHENTICATE};
  for (const std::string& path : paths) {
    for (const UpdateMode mode : {UpdateMode::Write, UpdateMode::CheckOnly}) {
      CRig rig;
      rig.Standard();
      rig.kernel.Deny(path);
      EXPECT_EQ(rig.Run(KernelImage(0x18).Build(), mode), UR_NO_CONTROLLER) << path;
      EXPECT_TRUE(rig.Failed("Cannot open " + path)) << path << ": " << rig.backend->Failure();
      EXPECT_TRUE(rig.Failed("Permission denied. Run kelvane-cli as root")) << path;
      rig.ExpectUntouched(path);
    }
  }
}

TEST(KernelBackend, CheckStopsBeforeTheWriteAndPredictsTheKernel) {
  CRig rig;
  rig.Standard();
  const auto misaligned = KernelImage(0x18).Header(NvmHeader::AtZero, 0x100).Build();
  EXPECT_EQ(rig.Run(misaligned, UpdateMode::CheckOnly), UR_OK);
  rig.ExpectUntouched("check");
  EXPECT_NE(rig.backend->PredictRefusal(misaligned).find("4 KiB"), std::string::npos);
  EXPECT_EQ(rig.backend->PredictRefusal(KernelImage(0x18).Build()), "");
}

TEST(KernelTree, ParsesWhatSysfsPrints) {
  struct Case {
    const char* text;
    bool ok;
    uint32_t major, minor;
  };
  const Case versions[] = {
      {"18.0\n", true, 0x18, 0}, {" 18.0 ", true, 0x18, 0}, {"0x20.0x1\n", true, 0x20, 1},
      {"a.b", true, 0xA, 0xB},   {"18", false, 0, 0},       {"", false, 0, 0},
      {"x.0", false, 0, 0},      {"1.2.3", false, 0, 0},
  };
  for (const Case& c : versions) {
    const auto v = KernelParseNvmVersion(c.text);
    EXPECT_EQ(v.has_value(), c.ok) << c.text;
    if (v && c.ok) {
      EXPECT_EQ(v->major, c.major) << c.text;
      EXPECT_EQ(v->minor, c.minor) << c.text;
    }
  }
  EXPECT_EQ(KernelParseHex("0x15d3\n"), 0x15D3u);
  EXPECT_EQ(KernelParseHex("0x0\n"), 0u);
  EXPECT_EQ(KernelParseHex("156d"), 0x156Du);
  EXPECT_FALSE(KernelParseHex("0x"));
  EXPECT_FALSE(KernelParseHex("-1"));
  EXPECT_FALSE(KernelParseHex("123456789"));
}

TEST(KernelTree, AcStateFromTheMainsSupplies) {
  struct Case {
    const char* name;
    std::vector<std::array<const char*, 3>> supplies;  // name, type, online
    PowerSource expected;
  };
  const Case cases[] = {
      {"no supplies", {}, PowerSource::Unknown},
      {"battery only", {{"BAT0", "Battery", "1"}}, PowerSource::Unknown},
      {"mains online", {{"BAT0", "Battery", ""}, {"AC", "Mains", "1"}}, PowerSource::Ac},
      {"mains offline", {{"AC", "Mains", "0"}}, PowerSource::Battery},
      {"one of two online", {{"AC0", "Mains", "0"}, {"AC1", "Mains", "1"}}, PowerSource::Ac},
      {"mains without online", {{"AC", "Mains", ""}}, PowerSource::Unknown},
  };
  for (const Case& c : cases) {
    CFakeKernel kernel;
    for (const auto& s : c.supplies)
      kernel.AddSupply(s[0], s[1], s[2]);
    EXPECT_EQ(KernelAcPowerSource(kernel), c.expected) << c.name;
  }
}

}  // namespace

namespace {

// The real file access below a root folder: what it does with files that are not there.
TEST(SysfsIo, ReadsAndWritesOnlyWhatExists) {
  CFakeKernel tree;  // only for its temporary root
  tree.AddRouter("0-0", {1, 2, 3, 4, 5, 6}, 0x16);
  CSysfsIo io(tree.Root() + "/");
  const std::string active = KfixRouterFolder("0-0") + "/nvm_active0/nvmem";

  std::vector<uint8_t> bytes;
  EXPECT_EQ(io.ReadAt(active, 4, 4, bytes), 0);
  EXPECT_EQ(bytes, (std::vector<uint8_t>{5, 6}));  // short at the end of the file
  EXPECT_EQ(io.ReadAt(active, 64, 4, bytes), 0);
  EXPECT_TRUE(bytes.empty());

  std::string text;
  EXPECT_EQ(io.ReadText(KfixRouterFolder("0-0") + "/nvm_version", text), 0);
  EXPECT_EQ(text, "16.0\n");
  EXPECT_EQ(io.ReadText("/sys/nothing", text), ENOENT);

  // A missing attribute is never made: writing it fails and leaves no file behind.
  const uint8_t one = '1';
  EXPECT_EQ(io.WriteAll(KERNEL_FORCE_POWER, &one, 1), ENOENT);
  EXPECT_FALSE(io.Exists(KERNEL_FORCE_POWER));
  EXPECT_EQ(io.CheckWritable(KERNEL_FORCE_POWER), ENOENT);

  EXPECT_EQ(io.List(KfixRouterFolder("0-0")),
            (std::vector<std::string>{"device", "nvm_active0", "nvm_authenticate",
                                      "nvm_non_active0", "nvm_version", "vendor"}));
  EXPECT_EQ(io.Shown(active), tree.Root() + active);
}

TEST(SysfsIo, FilesWithoutPermissionAnswerEacces) {
  if (::geteuid() == 0)
    GTEST_SKIP() << "root opens files whatever their permission bits";
  CFakeKernel tree;
  tree.AddRouter("0-0", {1, 2, 3, 4}, 0x16);
  CSysfsIo io(tree.Root());
  const std::string active = KfixRouterFolder("0-0") + "/nvm_active0/nvmem";
  std::vector<uint8_t> bytes;
  std::filesystem::permissions(tree.Root() + active, std::filesystem::perms::none);
  EXPECT_EQ(io.ReadAt(active, 0, 4, bytes), EACCES);
  EXPECT_EQ(io.CheckWritable(active), EACCES);
}

}  // namespace
