#pragma once
// The command line of kelvane-cli.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class CliCommand { Update, Check, Inspect, MakeImage, Help };

struct CCliOptions {
  CliCommand command = CliCommand::Help;
  std::string emulate;     // UTF-8 folder, empty: the real platform
  std::string data;        // UTF-8 folder, empty: "data" beside the program
  std::string controller;  // Linux: the host router "<domain>-0", empty: the only one
  bool downgradable = false;
  bool json = false;
  std::string file;  // inspect: the image; make-image: the file to write
  // make-image
  uint16_t deviceId = 0;
  uint8_t version = 0;
  uint8_t level = 0;
  std::string header = "zero";
  std::optional<uint16_t> base;
  std::vector<std::pair<uint8_t, uint16_t>> blocks;  // flag bit, dword count
};

// False with a message for the user when the arguments do not make a command.
bool CliParseOptions(const std::vector<std::string>& args, CCliOptions& options,
                     std::string& error);

// The --help text, exit statuses included.
const char* CliUsage();
// Its first lines: the command forms only, for a usage error.
const char* CliShortUsage();

inline constexpr int CLI_EXIT_OK = 0;
inline constexpr int CLI_EXIT_FAILED = 1;      // the attempt or the inspection ended in a code
inline constexpr int CLI_EXIT_USAGE = 2;       // the command line is not valid
inline constexpr int CLI_EXIT_ON_BATTERY = 3;  // refused: the notebook runs on battery power
inline constexpr int CLI_EXIT_NO_DEVICE = 4;   // refused: no ACPI control device
inline constexpr int CLI_EXIT_UNREADABLE = 5;  // emulation folder or file cannot be used
inline constexpr int CLI_EXIT_BUSY = 6;        // refused: another update attempt is running
