#include "cli/cli_run.h"

#include <gtest/gtest.h>

#include "cli/cli_options.h"
#include "notebook_fixture.h"
#include "platform/platform.h"
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
