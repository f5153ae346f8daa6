#include <sys/stat.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <vector>

#include "common/ini_file.h"
#include "common/ini_lines.h"

namespace {

// Missing file: no lines and no error. A file that is there but cannot be
// read (a directory, no permission) is a failure of the facility.
bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return false;
    throw EIniFileException("cannot read " + path);
  }
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  if (!S_ISREG(info.st_mode) || !file || !(text << file.rdbuf())) {
    // An empty regular file reads as nothing, which is not an error.
    if (S_ISREG(info.st_mode) && info.st_size == 0) return true;
    throw EIniFileException("cannot read " + path);
  }
  lines = SplitIniLines(text.str());
  return true;
}

}  // namespace

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& defaultValue) {
  std::vector<std::string> lines;
  if (!ReadLines(FPath, lines)) return defaultValue;
  std::string value;
  return FindIniValue(lines, section, key, value) ? value : defaultValue;
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  std::vector<std::string> lines;
  ReadLines(FPath, lines);
  PutIniValue(lines, section, key, value);
  std::ofstream file(FPath, std::ios::binary | std::ios::trunc);
  for (const std::string& line : lines) file << line << "\r\n";
  file.flush();
  if (!file) throw EIniFileException("cannot write " + FPath);
}
