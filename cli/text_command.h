#pragma once
// kelvane-cli text KEY [--lid HEX] [--data DIR]
// Prints, as UTF-8, the text the window shows for an IDS_ key in a language (by default the
// user's interface language), cut where the window's buffer cuts it, so translators can check
// their language file. --data names the folder that holds Update.ini.
#include <ostream>
#include <span>
#include <string>

// Exit statuses of the text subcommand.
constexpr int CLI_TEXT_OK = 0;
constexpr int CLI_TEXT_NOT_FOUND = 1;  // the file gives no text for the key in that language
constexpr int CLI_TEXT_USAGE = 2;      // a missing key, an unknown option or a bad value

// args are the words after "text".
int CliText(std::span<const std::wstring> args, std::ostream& out, std::ostream& err);
