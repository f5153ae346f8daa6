#pragma once

#include <string>
#include <vector>

// The rules of INI text, apart from files: how a value is found in the lines
// of a file and where a write puts it.

// The lines of a file without their line ends (CRLF or LF).
std::vector<std::string> SplitIniLines(const std::string& text);
// True when the key is in the section; value is then the text after the
// first "=", without surrounding blanks. The first of duplicate keys wins.
bool FindIniValue(const std::vector<std::string>& lines, const std::string& section, const std::string& key,
                  std::string& value);
// Replaces the key's value in place (the line becomes name=value, the name
// as written), or adds "key=value" after the last line
// of its section, or adds the section with the key at the end. Every other
// line stays as it is.
void PutIniValue(std::vector<std::string>& lines, const std::string& section, const std::string& key,
                 const std::string& value);
