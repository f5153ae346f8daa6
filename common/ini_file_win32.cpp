#include <windows.h>

#include <vector>

#include "common/ini_file.h"

namespace {

// GetPrivateProfileStringA answers an unreadable file with the default, as
// if the file were missing; the load must tell the two apart.
void RequireReadable(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw EIniFileException("cannot read " + path);
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw EIniFileException("cannot read " + path);
  CloseHandle(file);
}

}  // namespace

std::string TIniFile::ReadString(const std::string& section, const std::string& key, const std::string& defaultValue) {
  RequireReadable(FPath);
  std::vector<char> buffer(256);
  for (;;) {
    DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                                       static_cast<DWORD>(buffer.size()), FPath.c_str());
    // A value that fills the buffer may have been cut: try again larger.
    if (n + 1 < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
  if (!WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), FPath.c_str())) {
    throw EIniFileException("cannot write " + FPath);
  }
}
