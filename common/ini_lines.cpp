#include "common/ini_lines.h"

#include <algorithm>
#include <cctype>

namespace {

std::string Trim(const std::string& text) {
  const char* blanks = " \t";
  std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  std::size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// The section a header line opens, or false for any other line.
bool SectionHeader(const std::string& line, std::string& name) {
  std::string trimmed = Trim(line);
  if (trimmed.empty() || trimmed[0] != '[') return false;
  std::size_t close = trimmed.find(']');
  if (close == std::string::npos) return false;
  name = Trim(trimmed.substr(1, close - 1));
  return true;
}

bool IsComment(const std::string& line) {
  std::string trimmed = Trim(line);
  return !trimmed.empty() && trimmed[0] == ';';
}

// The key of a key line, or false for any other line.
bool KeyLine(const std::string& line, std::string& name, std::string& value) {
  if (IsComment(line)) return false;
  std::size_t equals = line.find('=');
  if (equals == std::string::npos) return false;
  name = Trim(line.substr(0, equals));
  value = Trim(line.substr(equals + 1));
  return true;
}

}  // namespace

std::vector<std::string> SplitIniLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

bool FindIniValue(const std::vector<std::string>& lines, const std::string& section, const std::string& key,
                  std::string& value) {
  bool inSection = false;
  for (const std::string& line : lines) {
    std::string name;
    std::string found;
    if (SectionHeader(line, name)) {
      inSection = SameName(name, section);
    } else if (inSection && KeyLine(line, name, found) && SameName(name, key)) {
      value = found;
      return true;
    }
  }
  return false;
}

void PutIniValue(std::vector<std::string>& lines, const std::string& section, const std::string& key,
                 const std::string& value) {
  const std::string keyLine = key + "=" + value;
  bool inSection = false;
  std::size_t sectionEnd = 0;  // one past the last non-blank line of the section
  bool sectionFound = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string name;
    std::string found;
    if (SectionHeader(lines[i], name)) {
      if (sectionFound && inSection) break;
      inSection = SameName(name, section);
      if (inSection) {
        sectionFound = true;
        sectionEnd = i + 1;
      }
    } else if (inSection) {
      if (KeyLine(lines[i], name, found) && SameName(name, key)) {
        // The key keeps its name as written; only the value changes.
        lines[i] = name + "=" + value;
        return;
      }
      if (!Trim(lines[i]).empty()) sectionEnd = i + 1;
    }
  }
  if (sectionFound) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd), keyLine);
    return;
  }
  lines.push_back("[" + section + "]");
  lines.push_back(keyLine);
}
