#include "cli/cli_run.h"

#include <gtest/gtest.h>

#include "cli/cli_options.h"
#include "notebook_fixture.h"
#ifdef __linux__
#include "engine/controller_access.h"
#include "kernel_fixture.h"
#endif
#include "platform/utf8.h"

namespace {

class CCapture final : public ICliOutput {
 public:
  std::string out, err;
  void Out(std::string_view utf8) override { out += utf8; }
  void Err(std::string_view utf8) override { err += utf8; }
  std::string LastLine() const {
    const size_t end = out.find_last_not_of('\n');
    const size_t start = out.rfind('\n', end);
    return out.substr(start == std::string::npos ? 0 : start + 1, end - start);
  }
};

std::string Utf8Path(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

struct CRun {
  int status;
  CCapture output;
};

CRun Cli(std::vector<std::string> args) {
  CRun run;
  run.status = CliRun(args, run.output);
  return run;
}

std::vector<std::string> Attempt(const char* command, const CNotebookFolder& folder,
                                 std::vector<std::string> extra = {}) {
  std::vector<std::string> args = {
      command, "--emulate", Utf8Path(folder.Root()), "--data", Utf8Path(folder.Data()), "--json"};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

TEST(Cli, UpdatePersistsAndTheNextCheckSeesTheNewFirmware) {
  CNotebookFolder folder;
  folder.WriteNotebook();
  folder.WriteImage("newer.bin", FixtureImage(0x17));

  CRun update = Cli(Attempt("update", folder));
  EXPECT_EQ(update.status, CLI_EXIT_OK) << update.output.err;
  EXPECT_NE(update.output.out.find("write\n"), std::string::npos);
  EXPECT_NE(update.output.out.find("device off\n"), std::string::npos);
  EXPECT_EQ(update.output.LastLine().rfind(R"({"command":"update","result":"0x00000000",)"
                                           R"("name":"UR_OK","wrote":true,)",
                                           0),
            0u)
      << update.output.LastLine();

  // The same image again is allowed (same version); an older one now is not.
  EXPECT_EQ(Cli(Attempt("check", folder)).status, CLI_EXIT_OK);
  folder.WriteImage("newer.bin", FixtureImage(0x16));
  CRun check = Cli(Attempt("check", folder));
  EXPECT_EQ(check.status, CLI_EXIT_FAILED);
  EXPECT_NE(check.output.LastLine().find(R"("result":"0x1043000C","name":"UR_DOWNGRADE_REFUSED")"),
            std::string::npos)
      << check.output.LastLine();
}

TEST(Cli, RefusalsLeaveEveryFileAsItWas) {
  struct Case {
    const char* name;
    const char* command;
    std::string platform, faults;
    std::vector<uint8_t> image;
    int status;
    std::string json;
  };
  const Case cases[] = {
      {"older image", "update", "", "", FixtureImage(0x15), CLI_EXIT_FAILED,
       R"("name":"UR_DOWNGRADE_REFUSED")"},
      {"other family", "update", "", "", FixtureImage(0x17, 0x1578), CLI_EXIT_FAILED,
       R"("name":"UR_FAMILY_MISMATCH")"},
      {"provider refuses", "update", "", "UpdateReturnValue=5", FixtureImage(0x17), CLI_EXIT_FAILED,
       R"("result":"0x00000005","name":"provider")"},
      {"check only", "check", "", "", FixtureImage(0x17), CLI_EXIT_OK, R"("wrote":false)"},
      {"on battery", "update", "AcOnline=0", "", FixtureImage(0x17), CLI_EXIT_ON_BATTERY,
       R"("result":null,"name":"battery")"},
      {"no ACPI device", "update", "AcpiDevice=absent", "", FixtureImage(0x17), CLI_EXIT_NO_DEVICE,
       R"("result":"0x10430001","name":"UR_NO_ACPI_DEVICE")"},
  };
  for (const Case& c : cases) {
    CNotebookFolder folder;
    folder.WriteNotebook(c.platform, c.faults);
    folder.WriteImage("image.bin", c.image);
    const auto before = folder.Snapshot();
    CRun run = Cli(Attempt(c.command, folder));
    EXPECT_EQ(run.status, c.status) << c.name << "\n" << run.output.out << run.output.err;
    EXPECT_NE(run.output.LastLine().find(c.json), std::string::npos)
        << c.name << ": " << run.output.LastLine();
    EXPECT_EQ(folder.Snapshot(), before) << c.name;
  }
}

TEST(Cli, UnknownPowerStateCountsAsMains) {
  CNotebookFolder folder;
  folder.WriteNotebook("AcOnline=unknown");
  folder.WriteImage("image.bin", FixtureImage(0x16));
  EXPECT_EQ(Cli(Attempt("update", folder)).status, CLI_EXIT_OK);
}

TEST(Cli, UnusableCommandLinesAndFolders) {
  CNotebookFolder empty;
  const std::vector<std::vector<std::string>> usage = {
      {},
      {"flash"},
      {"update", "--data"},
      {"update", "--bogus"},
      {"check", "--controller"},
      {"update", "--emulate", "nb", "--controller", "0-0"},
      {"inspect"},
      {"inspect", "a.bin", "b.bin"},
      {"check", "extra"},
      {"make-image", "x.bin"},
      {"make-image", "x.bin", "--device", "0x1FFFF"},
      {"make-image", "x.bin", "--device", "0x156D", "--blocks", "4"},
  };
  for (const auto& args : usage) {
    CRun run = Cli(args);
    EXPECT_EQ(run.status, CLI_EXIT_USAGE) << (args.empty() ? "(none)" : args[0]);
    EXPECT_NE(run.output.err.find("Usage:"), std::string::npos);
  }
  CRun noNotebook = Cli({"update", "--emulate", Utf8Path(empty.Root())});
  EXPECT_EQ(noNotebook.status, CLI_EXIT_UNREADABLE);
  EXPECT_NE(noNotebook.output.err.find("notebook.ini"), std::string::npos);
}

TEST(Cli, HelpDocumentsEveryOptionAndExitStatus) {
  CRun help = Cli({"--help"});
  EXPECT_EQ(help.status, CLI_EXIT_OK);
  for (const char* text :
       {"--emulate", "--data", "--downgradable", "--json", "--device", "--blocks", "Exit status",
        "  0 ", "  1 ", "  2 ", "  3 ", "  4 ", "  5 "}) {
    EXPECT_NE(help.output.out.find(text), std::string::npos) << text;
  }
}

TEST(Cli, MadeImagesInspectAsTheirFamily) {
  struct Case {
    std::vector<std::string> options;
    std::string expected;
  };
  const Case cases[] = {
      {{"--device", "0x156B", "--version", "0x20"},
       R"("deviceId":5483,"family":1,"variant":1,"level":0,"version":32)"},
      {{"--device", "0x1578", "--header", "0x1000", "--blocks", "0x04:2,0x20:1"},
       R"("base":4352,"deviceId":5496,"family":3,"variant":0)"},
      {{"--device", "0x147E", "--level", "3", "--header", "erased"},
       R"("family":2,"variant":1,"level":3)"},
  };
  for (const Case& c : cases) {
    CNotebookFolder folder;
    const std::string file = Utf8Path(folder.Root() / "made.bin");
    std::vector<std::string> make = {"make-image", file};
    make.insert(make.end(), c.options.begin(), c.options.end());
    ASSERT_EQ(Cli(make).status, CLI_EXIT_OK) << c.expected;
    CRun inspect = Cli({"inspect", file, "--json"});
    EXPECT_EQ(inspect.status, CLI_EXIT_OK);
    EXPECT_NE(inspect.output.LastLine().find(c.expected), std::string::npos)
        << inspect.output.LastLine();
    EXPECT_NE(inspect.output.LastLine().find(R"("label":"Device ID")"), std::string::npos);
  }
}

TEST(Cli, InspectRefusesWhatIsNoImage) {
  CNotebookFolder folder;
  folder.WriteFile("zero.bin", std::vector<uint8_t>(0x2000, 0));
  folder.WriteFile("short.bin", {0x00});
  CRun zero = Cli({"inspect", Utf8Path(folder.Root() / "zero.bin"), "--json"});
  EXPECT_EQ(zero.status, CLI_EXIT_FAILED);
  EXPECT_NE(zero.output.LastLine().find(R"("name":"UR_NO_IMAGE")"), std::string::npos);
  EXPECT_EQ(Cli({"inspect", Utf8Path(folder.Root() / "short.bin")}).status, CLI_EXIT_FAILED);
  EXPECT_EQ(Cli({"inspect", Utf8Path(folder.Root() / "missing.bin")}).status, CLI_EXIT_UNREADABLE);
}

// The shipped Update.ini lies beside the test programs, where the CLI looks for it.
TEST(Cli, TextPrintsTheWindowsTextForALanguage) {
  CRun japanese = Cli({"text", "IDS_PROMPT", "--lid", "411"});
  EXPECT_EQ(japanese.status, 0) << japanese.output.err;
  EXPECT_NE(japanese.output.out.find("AC \xE3\x82\xA2\xE3\x83\x80\xE3\x83\x97"), std::string::npos)
      << japanese.output.out;

  CRun missing = Cli({"text", "IDS_NO_SUCH_KEY"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(missing.output.out.empty());
  EXPECT_NE(missing.output.err.find("IDS_NO_SUCH_KEY"), std::string::npos);
}

TEST(Cli, JsonStringsAreEscaped) {
  EXPECT_EQ(JsonString("a\"b\\c\n\x01\xC3\xA9"), "\"a\\\"b\\\\c\\u000A\\u0001\xC3\xA9\"");
}

#ifdef __linux__
// kelvane-cli without --emulate on a fake sysfs tree and a fake kernel.
class CKernelCli {
 public:
  CKernelCli() { KernelSetTestHooks(&kernel, &clock); }
  ~CKernelCli() {
    KernelSetTestHooks(nullptr, nullptr);
    g_controllerPath[0] = 0;
  }
  CKernelCli(const CKernelCli&) = delete;
  CKernelCli& operator=(const CKernelCli&) = delete;

  CRun Run(const char* command, const std::vector<uint8_t>& image,
           std::vector<std::string> extra = {}) {
    const std::filesystem::path data = kernel.Root() + "/data";
    std::filesystem::create_directories(data);
    std::ofstream(data / "image.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    // One process makes one attempt; the in-process runs before this one found other paths.
    g_controllerPath[0] = 0;
    std::vector<std::string> args = {command, "--data", Utf8Path(data), "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    return Cli(args);
  }

  CFakeKernel kernel;
  CFakeKernelClock clock{kernel, *PlatformNative().system};
};

std::string JsonName(const CRun& run) {
  const std::string line = run.output.LastLine();
  const size_t at = line.find("\"name\":\"");
  return at == std::string::npos ? line : line.substr(at + 8, line.find('"', at + 8) - at - 8);
}

TEST(Cli, KernelCheckAnswersAsTheEmulationDoes) {
  const NvmCheckEntry* pcie = nullptr;
  for (const NvmCheckEntry& row : g_nvmCheckTable) {
    if (row.family == 1 && std::wstring_view(row.label) == L"PCIe Settings")
      pcie = &row;
  }
  ASSERT_TRUE(pcie);
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> images = {
      {"newer", KernelImage(0x17).Build()},
      {"same", KernelImage(0x16).Build()},
      {"older", KernelImage(0x15).Build()},
      {"other family", KernelImage(0x17, 0x1578).Build()},
      {"other variant", KernelImage(0x17, 0x156B).Build()},
      {"higher level", KernelImage(0x17).Level(2).Build()},
      {"other PCIe settings", KernelImage(0x17).SetField(*pcie, 7).Build()},
      {"unlisted", KernelImage(0x17, 0x1111).Build()},
  };
  for (const auto& [name, image] : images) {
    CNotebookFolder folder;
    folder.WriteNotebook();
    folder.WriteFile("current.bin", KernelImage(0x16).Build());
    folder.WriteImage("image.bin", image);
    g_controllerPath[0] = 0;
    const CRun emulated = Cli(Attempt("check", folder));

    CKernelCli tree;
    tree.kernel.AddRouter("0-0", KernelImage(0x16).MainSection(), 0x16);
    tree.kernel.AddForcePower();
    const CRun kernel = tree.Run("check", image);
    EXPECT_EQ(kernel.status, emulated.status) << name << "\n" << kernel.output.out;
    EXPECT_EQ(JsonName(kernel), JsonName(emulated)) << name << "\n" << kernel.output.out;
    EXPECT_FALSE(tree.kernel.WroteTo("nvm_")) << name;
  }
}

TEST(Cli, KernelCheckSaysWhatTheKernelWouldRefuse) {
  CKernelCli tree;
  tree.kernel.AddRouter("0-0", KernelImage(0x16).MainSection(), 0x16);
  const CRun check = tree.Run("check", KernelImage(0x17).Header(NvmHeader::AtZero, 0x100).Build());
  EXPECT_EQ(check.status, CLI_EXIT_FAILED);
  EXPECT_NE(check.output.out.find("the kernel would refuse it"), std::string::npos)
      << check.output.out;
  EXPECT_NE(check.output.out.find("not on a 4 KiB boundary"), std::string::npos);
  EXPECT_NE(check.output.LastLine().find(R"("result":"0x4B000003","name":"provider")"),
            std::string::npos)
      << check.output.LastLine();
  EXPECT_FALSE(tree.kernel.WroteTo("nvm_"));
}

TEST(Cli, KernelPowerStateFromTheMainsSupplies) {
  struct Case {
    const char* name;
    const char* online;  // null: no mains supply at all
    int status;
  };
  const Case cases[] = {
      {"on battery", "0", CLI_EXIT_ON_BATTERY},
      {"on mains", "1", CLI_EXIT_OK},
      {"no mains supply counts as mains", nullptr, CLI_EXIT_OK},
  };
  for (const Case& c : cases) {
    CKernelCli tree;
    tree.kernel.AddRouter("0-0", KernelImage(0x16).MainSection(), 0x16);
    tree.kernel.AddSupply("BAT0", "Battery", "1");
    if (c.online)
      tree.kernel.AddSupply("AC", "Mains", c.online);
    const CRun update = tree.Run("update", KernelImage(0x17).Build());
    EXPECT_EQ(update.status, c.status) << c.name << "\n" << update.output.out;
    EXPECT_EQ(tree.kernel.WroteTo("nvm_authenticate"), c.status == CLI_EXIT_OK) << c.name;
  }
}

TEST(Cli, KernelUpdateShowsTheRestartAndTheVersionReadBack) {
  CKernelCli tree;
  tree.kernel.AddRouter("0-0", KernelImage(0x16).MainSection(), 0x16);
  tree.kernel.AddRouter("1-0", KernelImage(0x16).MainSection(), 0x16);
  tree.kernel.AddForcePower();

  const CRun refused = tree.Run("update", KernelImage(0x17).Build());
  EXPECT_EQ(refused.status, CLI_EXIT_FAILED);
  EXPECT_NE(refused.output.out.find("More than one Thunderbolt host router: 0-0, 1-0"),
            std::string::npos)
      << refused.output.out;

  const CRun update = tree.Run("update", KernelImage(0x17).Build(), {"--controller", "1-0"});
  EXPECT_EQ(update.status, CLI_EXIT_OK) << update.output.out;
  for (const char* text : {"nothing to start", "force power on", "has gone away", "is back after",
                           "running version 17.0", R"("name":"UR_OK","wrote":true)"}) {
    EXPECT_NE(update.output.out.find(text), std::string::npos) << text << "\n" << update.output.out;
  }
  EXPECT_TRUE(tree.kernel.WroteTo(KfixRouterFolder("1-0") + "/nvm_authenticate"));
  EXPECT_FALSE(tree.kernel.WroteTo(KfixRouterFolder("0-0") + "/nvm_"));
}
#endif

}  // namespace
