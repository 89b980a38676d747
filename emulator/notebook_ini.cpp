#include "emulator/notebook_ini.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Trim(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos)
    return {};
  const size_t last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// "[Name]" gives Name; any other line gives nothing.
std::optional<std::string> SectionName(const std::string& line) {
  const std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[' || t.back() != ']')
    return std::nullopt;
  return Trim(t.substr(1, t.size() - 2));
}

std::string StripComment(const std::string& value) {
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == ';' && (i == 0 || value[i - 1] == ' ' || value[i - 1] == '\t')) {
      return Trim(value.substr(0, i));
    }
  }
  return Trim(value);
}

}  // namespace

CNotebookIni CNotebookIni::Parse(const std::string& text) {
  CNotebookIni ini;
  std::string body = text;
  if (body.starts_with("\xEF\xBB\xBF"))
    body.erase(0, 3);
  if (body.find("\r\n") != std::string::npos)
    ini.m_newline = "\r\n";
  size_t start = 0;
  while (start < body.size()) {
    size_t end = body.find('\n', start);
    if (end == std::string::npos)
      end = body.size();
    std::string line = body.substr(start, end - start);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    ini.m_lines.push_back(std::move(line));
    start = end + 1;
  }
  return ini;
}

CNotebookIni::Location CNotebookIni::Find(const std::string& section,
                                          const std::string& key) const {
  Location where;
  bool inside = false;
  for (size_t i = 0; i < m_lines.size(); ++i) {
    if (const auto name = SectionName(m_lines[i])) {
      inside = SameName(*name, section);
      if (inside)
        where.sectionEnd = i + 1;
      continue;
    }
    if (!inside)
      continue;
    where.sectionEnd = i + 1;
    const size_t equals = m_lines[i].find('=');
    if (equals == std::string::npos)
      continue;
    if (!where.keyLine && SameName(Trim(m_lines[i].substr(0, equals)), key))
      where.keyLine = i;
  }
  return where;
}

std::optional<std::string> CNotebookIni::Get(const std::string& section,
                                             const std::string& key) const {
  const Location where = Find(section, key);
  if (!where.keyLine)
    return std::nullopt;
  const std::string& line = m_lines[*where.keyLine];
  return StripComment(line.substr(line.find('=') + 1));
}

void CNotebookIni::Set(const std::string& section, const std::string& key,
                       const std::string& value) {
  const Location where = Find(section, key);
  const std::string line = key + "=" + value;
  if (where.keyLine) {
    m_lines[*where.keyLine] = line;
  } else if (where.sectionEnd) {
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(where.sectionEnd), line);
  } else {
    m_lines.push_back("[" + section + "]");
    m_lines.push_back(line);
  }
}

std::vector<CNotebookIni::Entry> CNotebookIni::Entries() const {
  std::vector<Entry> entries;
  std::string section;
  for (size_t i = 0; i < m_lines.size(); ++i) {
    const std::string line = Trim(m_lines[i]);
    if (line.empty() || line[0] == ';')
      continue;
    Entry entry;
    entry.number = i + 1;
    if (const auto name = SectionName(line)) {
      section = *name;
      entry.section = section;
    } else {
      const size_t equals = line.find('=');
      entry.section = section;
      entry.key = equals == std::string::npos ? line : Trim(line.substr(0, equals));
      entry.malformed = equals == std::string::npos || entry.key.empty();
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string CNotebookIni::Text() const {
  std::string text;
  for (const std::string& line : m_lines)
    text += line + m_newline;
  return text;
}
