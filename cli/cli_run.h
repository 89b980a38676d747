#pragma once
// kelvane-cli as a function of its arguments (after the program name), so that tests run it
// in-process. Returns the exit status.
#include <string>
#include <vector>

#include "cli/cli_output.h"

int CliRun(const std::vector<std::string>& args, ICliOutput& output);
