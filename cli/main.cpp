// kelvane-cli: the update engine without a window.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "platform/utf8.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

namespace {

std::vector<std::string> Arguments(int, char**) {
  std::vector<std::string> args;
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  for (int i = 1; wide && i < count; ++i)
    args.push_back(Utf8FromWide(wide[i]));
  if (wide)
    ::LocalFree(wide);
  return args;
}

// A console gets wide characters, whatever its code page; a file or pipe gets UTF-8 bytes.
void Write(DWORD which, FILE* stream, std::string_view utf8) {
  const HANDLE handle = ::GetStdHandle(which);
  DWORD mode = 0;
  if (handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode)) {
    const std::wstring wide = WideFromUtf8(utf8);
    DWORD written = 0;
    ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
  std::fflush(stream);
}

class CStdOutput final : public ICliOutput {
 public:
  void Out(std::string_view utf8) override { Write(STD_OUTPUT_HANDLE, stdout, utf8); }
  void Err(std::string_view utf8) override { Write(STD_ERROR_HANDLE, stderr, utf8); }
};

}  // namespace
#else
namespace {

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

class CStdOutput final : public ICliOutput {
 public:
  void Out(std::string_view utf8) override { Write(stdout, utf8); }
  void Err(std::string_view utf8) override { Write(stderr, utf8); }

 private:
  static void Write(FILE* stream, std::string_view utf8) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
  }
};

}  // namespace
#endif

int main(int argc, char** argv) {
  CStdOutput output;
  return CliRun(Arguments(argc, argv), output);
}
