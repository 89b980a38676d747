#pragma once
// notebook.ini as a document: read values, change a few, write it back with every other line
// (comments, fault keys) kept as it was.
#include <optional>
#include <string>
#include <vector>

class CNotebookIni {
 public:
  // UTF-8 text, with or without a byte-order mark; lines end in LF or CRLF.
  static CNotebookIni Parse(const std::string& text);

  // Section and key names match without regard to case. A value loses surrounding blanks and a
  // trailing "; comment" that follows a blank.
  std::optional<std::string> Get(const std::string& section, const std::string& key) const;
  // Replaces the key's value in place (its comment is dropped), or appends the key to its
  // section, or the section to the end.
  void Set(const std::string& section, const std::string& key, const std::string& value);
  std::string Text() const;

  // Every line that is neither blank nor a "; comment", numbered from 1: a section header (key
  // empty), a key=value line of the section above it ("" before any), or neither (malformed).
  struct Entry {
    size_t number = 0;
    std::string section;
    std::string key;
    bool malformed = false;
  };
  std::vector<Entry> Entries() const;

 private:
  struct Location {
    size_t sectionEnd = 0;  // line after the section's last line; 0 when the section is absent
    std::optional<size_t> keyLine;
  };
  Location Find(const std::string& section, const std::string& key) const;

  std::vector<std::string> m_lines;
  std::string m_newline = "\n";
};
