#include <windows.h>

#include <vector>

#include "common/path_delimiters.h"
#include "common/program_paths.h"

const char kPathDelimiters[] = "\\/:";

std::string ParamStr0() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return "";
    if (n < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}
