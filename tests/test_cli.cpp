#include "cli/cli_run.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "cli/cli_options.h"
#include "cli/image_explain.h"
#include "engine/compatibility_check.h"
#include "notebook_fixture.h"
#include "platform/platform.h"
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
      {"check", "--data", "--downgradable"},
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
  for (auto args : usage) {
    const std::string shown = args.empty() ? "(none)" : args[0];
    CRun run = Cli(args);
    EXPECT_EQ(run.status, CLI_EXIT_USAGE) << shown;
    // The reason, the command forms and where to read more; not the whole help.
    EXPECT_EQ(run.output.err.rfind("kelvane-cli: ", 0), 0u) << shown;
    EXPECT_NE(run.output.err.find("Usage:"), std::string::npos) << shown;
    EXPECT_NE(run.output.err.find("kelvane-cli --help\" for"), std::string::npos) << shown;
    EXPECT_EQ(run.output.err.find("Exit status"), std::string::npos) << shown;
    if (args.empty())
      continue;
    args.insert(args.begin() + 1, "--json");
    CRun json = Cli(args);
    EXPECT_EQ(json.status, CLI_EXIT_USAGE) << shown;
    EXPECT_EQ(json.output.LastLine().rfind("{\"command\":", 0), 0u) << shown;
    EXPECT_NE(json.output.LastLine().find(R"("result":null,"name":"usage")"), std::string::npos)
        << shown << ": " << json.output.LastLine();
  }
  CRun noNotebook = Cli({"update", "--emulate", Utf8Path(empty.Root()), "--json"});
  EXPECT_EQ(noNotebook.status, CLI_EXIT_UNREADABLE);
  EXPECT_NE(noNotebook.output.err.find("notebook.ini"), std::string::npos);
  EXPECT_NE(noNotebook.output.LastLine().find(R"("result":null,"name":"unreadable")"),
            std::string::npos)
      << noNotebook.output.LastLine();
  CRun folder = Cli({"inspect", Utf8Path(empty.Root())});
  EXPECT_EQ(folder.status, CLI_EXIT_UNREADABLE);
  EXPECT_NE(folder.output.err.find("cannot be opened"), std::string::npos) << folder.output.err;
  CRun noFile = Cli({"inspect", Utf8Path(empty.Root() / "missing.bin"), "--json"});
  EXPECT_EQ(noFile.status, CLI_EXIT_UNREADABLE);
  EXPECT_NE(noFile.output.LastLine().find(R"("result":null,"name":"unreadable")"),
            std::string::npos)
      << noFile.output.LastLine();
}

// The help calls them hexadecimal: "1578" must not silently be decimal 1578 (0x62A).
TEST(Cli, DeviceAndBaseAreHexadecimalWithOrWithoutPrefix) {
  struct Case {
    std::vector<std::string> options;
    std::string expected;  // in the inspection's JSON; empty: a usage error
  };
  const Case cases[] = {
      {{"--device", "1578"}, R"("deviceId":5496,"family":3)"},
      {{"--device", "0x156d"}, R"("deviceId":5485,"family":1)"},
      {{"--device", "147E", "--header", "0x1000", "--base", "1100"}, R"("base":4352)"},
      {{"--device", "156B", "--base", "0x200"}, R"("base":512)"},
      {{"--device", "0x"}, ""},
      {{"--device", "15G8"}, ""},
      {{"--device", "10000"}, ""},
      {{"--device", "-1578"}, ""},
      {{"--device", "156B", "--base", "0"}, ""},
  };
  for (const Case& c : cases) {
    CNotebookFolder folder;
    const std::string file = Utf8Path(folder.Root() / "made.bin");
    std::vector<std::string> make = {"make-image", file};
    make.insert(make.end(), c.options.begin(), c.options.end());
    CRun made = Cli(make);
    if (c.expected.empty()) {
      EXPECT_EQ(made.status, CLI_EXIT_USAGE) << c.options[1];
      continue;
    }
    ASSERT_EQ(made.status, CLI_EXIT_OK) << c.options[1] << made.output.err;
    CRun inspect = Cli({"inspect", file, "--json"});
    EXPECT_NE(inspect.output.LastLine().find(c.expected), std::string::npos)
        << inspect.output.LastLine();
  }
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

TEST(Cli, EmulationAloneTakesTheImageFromTheNotebooksDataFolder) {
  CNotebookFolder folder;
  folder.WriteNotebook();
  folder.WriteImage("image.bin", FixtureImage(0x17));
  CRun check = Cli({"check", "--emulate", Utf8Path(folder.Root()), "--json"});
  EXPECT_EQ(check.status, CLI_EXIT_OK) << check.output.out;
  const std::string shown = PlatformDisplayPath(folder.Data().wstring());
  EXPECT_NE(check.output.out.find("image folder: " + shown + "\n"), std::string::npos)
      << check.output.out;
  EXPECT_NE(check.output.LastLine().find(R"("image":"image.bin","imageEntries":1,"noImage":null)"),
            std::string::npos)
      << check.output.LastLine();
  // Without a data folder the program's own is searched, and the answer says so.
  std::filesystem::remove_all(folder.Data());
  CRun none = Cli({"check", "--emulate", Utf8Path(folder.Root()), "--json"});
  EXPECT_EQ(none.status, CLI_EXIT_FAILED);
  EXPECT_NE(none.output.LastLine().find(R"("noImage":"the folder holds no *.bin file")"),
            std::string::npos)
      << none.output.LastLine();
  EXPECT_EQ(none.output.out.find(Utf8Path(folder.Root())), std::string::npos) << none.output.out;
}

// Separator-holding names exist only where "\\" is a name character.
TEST(Cli, CheckAndUpdateSayWhatDiscoveryTookOrWhyThereIsNoImage) {
  struct Case {
    const char* name;
    std::vector<std::string> images;  // "/" at the end: a folder
    std::string text;                 // in the output
    std::string json;                 // in the last line
  };
  const Case cases[] = {
#ifndef _WIN32
      {"a name with a separator",
       {"..\\other.bin"},
       R"(passed over "..\other.bin": its name holds a path separator)",
       R"("image":null,"imageEntries":1,"noImage":"every *.bin entry was passed over for its name")"},
      {"a name not in the encoding",
       {"\xFF.bin"},
       "its name is not valid in the file system's encoding",
       R"("image":null,"imageEntries":1,"noImage")"},
#endif
      {"a folder named *.bin",
       {"folder.bin/"},
       "no image: the entry taken is a folder, not a file",
       R"("image":"folder.bin","imageEntries":1,"noImage":"the entry taken is a folder)"},
      {"no *.bin", {}, "no image: the folder holds no *.bin file", R"("image":null)"},
      {"three images",
       {"a-0x23.bin", "b-0x23.bin", "c-0x23.bin"},
       " of 3 *.bin entries in the order",
       R"("imageEntries":3,"noImage":null)"},
  };
  for (const Case& c : cases) {
    CNotebookFolder folder;
    folder.WriteNotebook();
    folder.WriteText("data/readme.txt", "not an image");
    folder.WriteFile("other.bin", FixtureImage(0x17));
    for (const std::string& image : c.images) {
      if (image.ends_with("/"))
        std::filesystem::create_directories(folder.Data() / image.substr(0, image.size() - 1));
      else
        folder.WriteImage(image, FixtureImage(0x17));
    }
    for (const char* command : {"check", "update"}) {
      CRun run = Cli(Attempt(command, folder));
      EXPECT_NE(run.output.out.find(c.text), std::string::npos) << c.name << "\n" << run.output.out;
      EXPECT_NE(run.output.LastLine().find(c.json), std::string::npos)
          << c.name << ": " << run.output.LastLine();
      EXPECT_NE(
          run.output.out.find("image folder: " + PlatformDisplayPath(folder.Data().wstring())),
          std::string::npos)
          << c.name;
    }
  }
}

// With Clock=instant the waits take no time, so the output must not promise them.
TEST(Cli, WaitsAreAnnouncedOnlyWhenTheyAreReal) {
  CNotebookFolder folder;
  folder.WriteNotebook();
  folder.WriteImage("image.bin", FixtureImage(0x17));
  for (const char* command : {"check", "update"}) {
    CRun run = Cli(Attempt(command, folder));
    EXPECT_EQ(run.status, CLI_EXIT_OK);
    EXPECT_NE(run.output.out.find("wait for the service\n"), std::string::npos) << run.output.out;
    EXPECT_EQ(run.output.out.find("20 s"), std::string::npos) << run.output.out;
    EXPECT_EQ(run.output.out.find("(10 s)"), std::string::npos) << run.output.out;
  }
}

TEST(Cli, TextExplainsAMissingLanguageFileAndHasHelp) {
  CNotebookFolder folder;
  const std::string missing = Utf8Path(folder.Root() / "nowhere");
  CRun run = Cli({"text", "IDS_PROMPT", "--data", missing});
  EXPECT_EQ(run.status, 1);
#ifdef _WIN32
  const std::string file = missing + "\\Update.ini";
#else
  const std::string file = missing + "/Update.ini";
#endif
  EXPECT_NE(run.output.err.find("the language file " + file + " is missing"), std::string::npos)
      << run.output.err;

  CRun help = Cli({"text", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.output.out.find("kelvane-cli text KEY"), std::string::npos);
  EXPECT_NE(help.output.out.find("--lid"), std::string::npos);
}

std::vector<uint8_t> Bytes(size_t size, std::initializer_list<std::pair<size_t, uint8_t>> put) {
  std::vector<uint8_t> bytes(size, 0);
  for (const auto& [at, value] : put)
    bytes[at] = value;
  return bytes;
}

std::vector<uint8_t> Cut(std::vector<uint8_t> image, size_t size) {
  image.resize(size);
  return image;
}

// Each refusal in words that point at the offending word and the file's end.
TEST(Cli, InspectSaysWhyAnImageIsRefused) {
  const auto family3 = [] { return CNvmImageBuilder(0x1578).Header(NvmHeader::AtZero, 0x100); };
  struct Case {
    const char* name;
    std::vector<uint8_t> image;
    std::string refusal;
    std::string result;
  };
  const Case cases[] = {
      {"base past the end", Bytes(12 * 1024, {{0x1001, 0x40}}),
       "the word at 0x1000 names offset 0x4000, past the end of this 12 KiB file", "UR_NO_IMAGE"},
      {"empty",
       {},
       "this 0-byte file is too short to hold the header word at 0x0000",
       "UR_NO_IMAGE"},
      {"cut before the second word",
       Cut(CNvmImageBuilder(0x156D).Header(NvmHeader::At0x1000, 0x1100).Build(), 700),
       "the word at 0x0000 is 0x0000, which sends the reader to the word at 0x1000, but this "
       "700-byte file ends before it",
       "UR_NO_IMAGE"},
      {"zeroed", Bytes(0x2000, {}),
       "neither header word names the main section: the word at 0x0000 is 0x0000 and the word "
       "at 0x1000 is 0x0000",
       "UR_NO_IMAGE"},
      {"main section cut short", Cut(FixtureImage(0x17), 0x108),
       "the word at 0x0000 names offset 0x100, but this 264-byte file ends before the section's "
       "version byte at 0x10A",
       "UR_NO_IMAGE"},
      {"unlisted", FixtureImage(0x17, 0x1234), "device ID 0x1234 is not a listed controller",
       "UR_UNLISTED_DEVICE_ID"},
      {"extension past the end", family3().ExtensionOffset(0x100000).Build(),
       "the extension offset 0x100000 names file offset 0x100100, past the end of this",
       "UR_NO_IMAGE"},
      {"block chain past the end",
       Cut(family3().AddBlock(0x04, 2).AddBlock(0x20, 3).Build(), 0x250),
       "the block chain ends at 0x258, past the end of this 592-byte file", "UR_NO_IMAGE"},
      {"block count past the end",
       Cut(family3().AddBlock(0x04, 2).AddBlock(0x20, 3).Build(), 0x24B),
       "the dword count of block 0x20 at 0x24A lies past the end of this 587-byte file",
       "UR_NO_IMAGE"},
  };
  for (const Case& c : cases) {
    CNotebookFolder folder;
    folder.WriteFile("image.bin", c.image);
    CRun run = Cli({"inspect", Utf8Path(folder.Root() / "image.bin"), "--json"});
    EXPECT_EQ(run.status, CLI_EXIT_FAILED) << c.name;
    EXPECT_NE(run.output.out.find("refused: " + c.refusal), std::string::npos) << c.name << "\n"
                                                                               << run.output.out;
    EXPECT_NE(run.output.LastLine().find("\"refusal\":\"" + c.refusal), std::string::npos)
        << c.name << ": " << run.output.LastLine();
    EXPECT_NE(run.output.LastLine().find("\"name\":\"" + c.result + "\""), std::string::npos)
        << c.name;
  }
}

// The explanation reads its own way; on any input it must reach the check's verdict and layout,
// or it would explain a refusal that did not happen (or miss one).
TEST(Cli, InspectExplainsExactlyWhatTheChecksParseDecides) {
  const std::vector<std::vector<uint8_t>> seeds = {
      FixtureImage(0x17),
      CNvmImageBuilder(0x1578)
          .Header(NvmHeader::At0x1000, 0x1100)
          .AddBlock(0x04, 2)
          .AddBlock(0x01, 1)
          .Build(),
      CNvmImageBuilder(0x1576).Header(NvmHeader::Erased, 0x1100).AddBlock(0x20, 3).Build(),
      CNvmImageBuilder(0x147E).Header(NvmHeader::AtZero, 0x200).Build(),
  };
  std::mt19937 random(20261211);
  int refused = 0;
  for (int i = 0; i < 3000; ++i) {
    std::vector<uint8_t> image = seeds[random() % seeds.size()];
    const auto word = [&image](size_t at) -> size_t { return image[at] | image[at + 1] << 8; };
    const size_t base = word(0) == 0 || word(0) == 0xFFFF ? word(0x1000) : word(0);
    // Where the parse looks: the header words, the main section's fields, the block chain.
    const size_t spots[] = {
        0,           1,        0x1000,       0x1001,       base + 2,     base + 3,
        base + 4,    base + 5, base + 0x10E, base + 0x10F, base + 0x111, base + 0x140,
        base + 0x141};
    for (int m = random() % 4; m > 0; --m) {
      const size_t at = spots[random() % std::size(spots)];
      if (at < image.size())
        image[at] = static_cast<uint8_t>(random());
    }
    // Cut anywhere, or within two bytes of an end the parse tests.
    NvmLayout seed;
    NvmLayoutFromImage(image.data(), static_cast<uint32_t>(image.size()), &seed);
    const size_t ends[] = {2, 0x1002, base + 0x0B, base + 0x112, seed.extBase + 1u, seed.blockBase};
    if (random() % 3 == 0)
      image.resize(random() % (image.size() + 1));
    else if (const size_t end = ends[random() % std::size(ends)] + random() % 5;
             random() % 2 && end >= 2)
      image.resize(std::min(image.size(), end - 2));
    NvmLayout layout;
    const UpdateResult expected =
        NvmLayoutFromImage(image.data(), static_cast<uint32_t>(image.size()), &layout);
    const CImageFacts facts = ImageExplain(image);
    ASSERT_EQ(facts.result, expected) << i;
    ASSERT_EQ(facts.refusal.empty(), expected == UR_OK) << i;
    refused += expected != UR_OK;
    if (expected != UR_OK)
      continue;
    ASSERT_EQ(facts.base, layout.base) << i;
    ASSERT_EQ(facts.family, layout.family) << i;
    ASSERT_EQ(facts.version, layout.version) << i;
    const auto optional = [](bool has, uint32_t value) {
      return has ? std::optional<uint64_t>(value) : std::nullopt;
    };
    ASSERT_EQ(facts.extBase, optional(layout.hasExtBase, layout.extBase)) << i;
    ASSERT_EQ(facts.blockEnd, optional(layout.hasBlockBase, layout.blockBase)) << i;
  }
  // Both verdicts must have been met often, or the comparison shows little.
  EXPECT_GT(refused, 300);
  EXPECT_LT(refused, 2700);
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
