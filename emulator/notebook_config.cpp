#include "emulator/notebook_config.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <set>
#include <utility>

namespace {

struct CKnownSection {
  const char* name;
  std::initializer_list<const char*> keys;
};

constexpr CKnownSection NOTEBOOK_KEYS[] = {
    {"Controller", {"NvmImage", "NvmVersion", "NvmImageWritten"}},
    {"Platform", {"AcpiDevice", "Service", "ThunderboltSoftware", "AcOnline", "Clock"}},
    {"Faults",
     {"FailCall", "FailReadAt", "ShortReadAt", "VersionReturnValue", "ReadReturnValue",
      "UpdateReturnValue", "NoNvmVersion", "NoController", "FailDeviceRequest", "DevsReplyBytes"}},
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

const CKnownSection* FindSection(const std::string& name) {
  for (const CKnownSection& section : NOTEBOOK_KEYS) {
    if (Lower(section.name) == Lower(name))
      return &section;
  }
  return nullptr;
}

bool KnowsKey(const CKnownSection& section, const std::string& key) {
  return std::any_of(section.keys.begin(), section.keys.end(),
                     [&](const char* known) { return Lower(known) == Lower(key); });
}

// A typo must not quietly leave a fault out: every line is a known section or key, once.
bool CheckEveryLine(const CNotebookIni& ini, std::string& error) {
  std::set<std::string> seen;
  for (const CNotebookIni::Entry& entry : ini.Entries()) {
    const std::string at = "line " + std::to_string(entry.number) + ": ";
    const CKnownSection* section = FindSection(entry.section);
    if (entry.malformed) {
      error = at + "\"" + entry.key + "\" is not a [section], a key=value or a ; comment";
    } else if (entry.key.empty() && !section) {
      error = at + "unknown section [" + entry.section + "]";
    } else if (entry.key.empty()) {
      continue;
    } else if (!section) {
      error = at + "key " + entry.key + " is outside any known section";
    } else if (!KnowsKey(*section, entry.key)) {
      error = at + "unknown key " + entry.key + " in [" + section->name + "]";
    } else if (!seen.insert(Lower(entry.section) + "/" + Lower(entry.key)).second) {
      error = at + "[" + section->name + "] " + entry.key + " is given twice";
    } else {
      continue;
    }
    return false;
  }
  return true;
}

template <typename T>
using Choices = std::initializer_list<std::pair<const char*, T>>;

// Reads one key; keeps the default when the key is absent.
class CReader {
 public:
  CReader(const CNotebookIni& ini, std::string& error) : m_ini(ini), m_error(error) {}

  bool Ok() const { return m_error.empty(); }

  template <typename T>
  void Choice(const char* section, const char* key, Choices<T> choices, T& out) {
    const auto text = m_ini.Get(section, key);
    if (!text || !Ok())
      return;
    for (const auto& [name, value] : choices) {
      if (*text == name) {
        out = value;
        return;
      }
    }
    Fail(section, key, *text);
  }

  void Number(const char* section, const char* key, uint32_t& out) {
    std::optional<uint32_t> value;
    Number(section, key, value);
    if (value)
      out = *value;
  }

  void Number(const char* section, const char* key, std::optional<uint32_t>& out) {
    const auto text = m_ini.Get(section, key);
    if (!text || !Ok())
      return;
    out = NotebookParseNumber(*text);
    if (!out)
      Fail(section, key, *text);
  }

  void Text(const char* section, const char* key, std::string& out) {
    if (const auto text = m_ini.Get(section, key))
      out = *text;
  }

  void Fail(const char* section, const char* key, const std::string& text) {
    if (Ok())
      m_error = std::string("[") + section + "] " + key + "=" + text + " is not valid";
  }

  void Require(const char* section, const char* key) {
    if (Ok() && !m_ini.Get(section, key))
      m_error = std::string("[") + section + "] " + key + " is missing";
  }

 private:
  const CNotebookIni& m_ini;
  std::string& m_error;
};

}  // namespace

std::optional<uint32_t> NotebookParseNumber(const std::string& text) {
  if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
    return std::nullopt;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, hex ? 16 : 10);
  if (errno || *end || end == text.c_str() || value > UINT32_MAX)
    return std::nullopt;
  return static_cast<uint32_t>(value);
}

bool NotebookConfigFromIni(const CNotebookIni& ini, CNotebookConfig& config, std::string& error) {
  error.clear();
  if (!CheckEveryLine(ini, error))
    return false;
  CReader read(ini, error);
  static constexpr Choices<bool> presence = {{"present", true}, {"absent", false}};
  static constexpr Choices<bool> flag = {{"1", true}, {"0", false}};

  read.Require("Controller", "NvmImage");
  read.Text("Controller", "NvmImage", config.nvmImage);
  if (config.nvmImage.empty())
    read.Fail("Controller", "NvmImage", "");
  read.Require("Controller", "NvmVersion");
  std::optional<uint32_t> version;
  read.Number("Controller", "NvmVersion", version);
  if (!version)
    read.Fail("Controller", "NvmVersion", "");
  config.nvmVersion = version.value_or(0);
  read.Choice("Controller", "NvmImageWritten", flag, config.nvmImageWritten);

  read.Choice("Platform", "AcpiDevice", presence, config.acpiDevice);
  read.Choice("Platform", "Service",
              Choices<EmuServiceState>{{"running", EmuServiceState::Running},
                                       {"stopped", EmuServiceState::Stopped},
                                       {"absent", EmuServiceState::Absent}},
              config.service);
  read.Choice("Platform", "ThunderboltSoftware", presence, config.thunderboltSoftware);
  read.Choice(
      "Platform", "AcOnline",
      Choices<EmuAcState>{
          {"1", EmuAcState::Online}, {"0", EmuAcState::Offline}, {"unknown", EmuAcState::Unknown}},
      config.ac);
  read.Choice("Platform", "Clock",
              Choices<EmuClock>{{"real", EmuClock::Real}, {"instant", EmuClock::Instant}},
              config.clock);

  EmuFaults& faults = config.faults;
  read.Number("Faults", "FailCall", faults.failCall);
  read.Number("Faults", "FailReadAt", faults.failReadAt);
  read.Number("Faults", "ShortReadAt", faults.shortReadAt);
  read.Number("Faults", "VersionReturnValue", faults.versionReturnValue);
  read.Number("Faults", "ReadReturnValue", faults.readReturnValue);
  read.Number("Faults", "UpdateReturnValue", faults.updateReturnValue);
  read.Choice("Faults", "NoNvmVersion", flag, faults.noNvmVersion);
  read.Choice("Faults", "NoController", flag, faults.noController);
  if (ini.Get("Faults", "FailDeviceRequest") == "all") {
    faults.failEveryDeviceRequest = true;
  } else {
    read.Number("Faults", "FailDeviceRequest", faults.failDeviceRequest);
  }
  read.Number("Faults", "DevsReplyBytes", faults.devsReplyBytes);
  if (faults.devsReplyBytes > 1024) {
    read.Fail("Faults", "DevsReplyBytes", std::to_string(faults.devsReplyBytes));
  }
  return read.Ok();
}
