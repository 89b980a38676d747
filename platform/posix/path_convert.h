#pragma once
// The program speaks of paths with backslashes everywhere; on POSIX they become slashes at the
// edge to the system and back.
#include <string>

std::string PathToNative(const std::wstring& path);
std::wstring PathFromNative(const std::string& path);
