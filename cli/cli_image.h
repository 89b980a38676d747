#pragma once
// The image commands of kelvane-cli: inspect one file, and make a synthetic one.
#include "cli/cli_options.h"
#include "cli/cli_output.h"

int CliInspect(const CCliOptions& options, ICliOutput& output);
int CliMakeImage(const CCliOptions& options, ICliOutput& output);
