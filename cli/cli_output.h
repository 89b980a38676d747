#pragma once
// Where the CLI writes: UTF-8 text, flushed at once so that progress shows as it happens.
#include <string>
#include <string_view>

class ICliOutput {
 public:
  virtual ~ICliOutput() = default;
  virtual void Out(std::string_view utf8) = 0;
  virtual void Err(std::string_view utf8) = 0;
};

// A JSON string literal, quotes included.
std::string JsonString(std::string_view utf8);
// "0x%08X".
std::string HexCode(uint32_t value);
