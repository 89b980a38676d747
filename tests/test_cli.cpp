#include "cli/cli_run.h"

#include <gtest/gtest.h>

#include <functional>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "cli/cli_options.h"
#include "notebook_fixture.h"
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

// What notebook.ini names must be a regular file inside the folder, and notebook.ini itself
// one; anything else is a clear error before the device is switched on, never an abort.
TEST(Cli, EmulationFolderRules) {
  namespace fs = std::filesystem;
  struct Case {
    const char* name;
    std::function<void(CNotebookFolder&)> arrange;
    std::string error;
  };
  const auto nvmImage = [](std::string value) {
    return [value](CNotebookFolder& f) {
      f.WriteText("notebook.ini", "[Controller]\nNvmImage=" + value + "\nNvmVersion=0x16\n");
    };
  };
  std::vector<Case> cases = {
      {"parent", nvmImage("../current.bin"), "does not name a file inside the folder"},
      {"parent inside", nvmImage("data/../../current.bin"), "inside the folder"},
      {"absolute", nullptr, "inside the folder"},
      {"directory", nvmImage("data"), "data is not a regular file"},
      {"too large",
       [&](CNotebookFolder& f) {
         nvmImage("huge.bin")(f);
         f.WriteText("huge.bin", "");
         fs::resize_file(f.Root() / "huge.bin", uint64_t{17} << 20);
       },
       "huge.bin is larger than 16 MiB"},
      {"ini is a directory",
       [](CNotebookFolder& f) {
         fs::remove(f.Root() / "notebook.ini");
         fs::create_directory(f.Root() / "notebook.ini");
       },
       "notebook.ini in the emulation folder is not a regular file"},
      {"unknown key", [](CNotebookFolder& f) { f.WriteNotebook("", "FailCal=3"); },
       "line 8: unknown key FailCal in [Faults]"},
  };
  cases[2].arrange = [](CNotebookFolder& f) {
    f.WriteText("notebook.ini", "[Controller]\nNvmImage=" + Utf8Path(f.Root() / "current.bin") +
                                    "\nNvmVersion=0x16\n");
  };
#ifndef _WIN32
  cases.push_back({"device", nvmImage("/dev/zero"), "inside the folder"});
  cases.push_back({"link to a device",
                   [&](CNotebookFolder& f) {
                     nvmImage("zero.bin")(f);
                     fs::create_symlink("/dev/zero", f.Root() / "zero.bin");
                   },
                   "inside the folder"});
  cases.push_back({"fifo",
                   [&](CNotebookFolder& f) {
                     nvmImage("fifo.bin")(f);
                     ASSERT_EQ(mkfifo((f.Root() / "fifo.bin").c_str(), 0600), 0);
                   },
                   "fifo.bin is not a regular file"});
#endif
  for (const Case& c : cases) {
    CNotebookFolder folder;
    folder.WriteNotebook();
    folder.WriteImage("newer.bin", FixtureImage(0x17));
    c.arrange(folder);
    CRun run = Cli(Attempt("update", folder));
    EXPECT_EQ(run.status, CLI_EXIT_UNREADABLE) << c.name << ": " << run.output.err;
    EXPECT_NE(run.output.err.find(c.error), std::string::npos) << c.name << ": " << run.output.err;
    EXPECT_EQ(run.output.out.find("device on"), std::string::npos) << c.name;
  }
}

// A second run on a folder in use refuses as a second attempt would, and touches nothing.
TEST(Cli, SecondRunOnAFolderInUseRefuses) {
  CNotebookFolder folder;
  folder.WriteNotebook();
  folder.WriteImage("newer.bin", FixtureImage(0x17));
  const auto before = folder.Snapshot();
  {
    auto first = folder.Load();
    ASSERT_TRUE(first);
    CRun second = Cli(Attempt("update", folder));
    EXPECT_EQ(second.status, CLI_EXIT_BUSY) << second.output.err;
    EXPECT_NE(second.output.err.find("another run is using this emulation folder"),
              std::string::npos)
        << second.output.err;
    EXPECT_NE(second.output.LastLine().find(R"("name":"UR_ATTEMPT_RUNNING","wrote":false)"),
              std::string::npos)
        << second.output.LastLine();
    EXPECT_EQ(folder.Snapshot(), before);
  }
  EXPECT_EQ(Cli(Attempt("update", folder)).status, CLI_EXIT_OK);
}

// Saving the new firmware can fail in the folder; that is said as such, with the path.
TEST(Cli, FolderThatCannotBeWrittenIsSaid) {
  CNotebookFolder folder;
  folder.WriteNotebook();
  folder.WriteImage("newer.bin", FixtureImage(0x17));
  // Every name the emulation could give its copy is taken by a directory.
  for (char letter = 'a'; letter <= 'z'; ++letter)
    std::filesystem::create_directory(folder.Root() /
                                      (std::string("nvm-written-") + letter + ".bin"));
  const auto before = folder.Snapshot();
  CRun run = Cli(Attempt("update", folder));
  EXPECT_EQ(run.status, CLI_EXIT_UNREADABLE) << run.output.out;
  EXPECT_NE(run.output.err.find("cannot write "), std::string::npos) << run.output.err;
  EXPECT_EQ(run.output.out.find("reinstall"), std::string::npos) << run.output.out;
  EXPECT_NE(run.output.out.find("device off"), std::string::npos) << run.output.out;
  EXPECT_EQ(folder.Snapshot(), before);
}

TEST(Cli, HelpDocumentsEveryOptionAndExitStatus) {
  CRun help = Cli({"--help"});
  EXPECT_EQ(help.status, CLI_EXIT_OK);
  for (const char* text :
       {"--emulate", "--data", "--downgradable", "--json", "--device", "--blocks", "Exit status",
        "  0 ", "  1 ", "  2 ", "  3 ", "  4 ", "  5 ", "  6 "}) {
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

}  // namespace
