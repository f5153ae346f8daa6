#include <unistd.h>

#include <vector>

#include "common/path_delimiters.h"
#include "common/program_paths.h"

const char kPathDelimiters[] = "/";

std::string ParamStr0() {
  std::vector<char> buffer(4096);
  ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  return n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
}
