#pragma once

#include <stdexcept>
#include <string>

// The INI facility failed: the file cannot be read, or a write did not land.
class EIniFileException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An INI file of the Windows private-profile kind, for one path. Section and
// key names match without regard to case; a value is the text after the
// first "=" with surrounding blanks removed; a key with nothing after "="
// gives the empty text, not the default. A write replaces the key's line in
// place, or adds the key at the end of its section, or adds the section at
// the end of the file, creating the file when needed. Each call opens and
// releases the file itself: nothing stays open between calls.
class TIniFile {
 public:
  explicit TIniFile(std::string path) : FPath(std::move(path)) {}
  const std::string& FileName() const { return FPath; }

  // The default when the file, the section or the key is missing; raises
  // EIniFileException when the file is there but cannot be read.
  std::string ReadString(const std::string& section, const std::string& key, const std::string& defaultValue);
  // Raises EIniFileException when the value could not be written.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);

 private:
  std::string FPath;
};
