#pragma once
// The window's option "/emulate:<folder>": run against the emulated notebook in that folder.
#include <string>

// The folder of the last "/emulate:" argument (the name in any case, at least one character
// after the colon), from argv[1] on; empty when there is none.
std::wstring ParseEmulateOption(int argc, const wchar_t* const* argv);
