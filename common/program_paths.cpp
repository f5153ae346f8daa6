#include "common/program_paths.h"

#include "common/path_delimiters.h"

namespace {
std::size_t LastDelimiter(const std::string& path) { return path.find_last_of(kPathDelimiters); }
}  // namespace

std::string ExtractFilePath(const std::string& path) {
  std::size_t last = LastDelimiter(path);
  return last == std::string::npos ? "" : path.substr(0, last + 1);
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
  std::size_t dot = path.find_last_of('.');
  std::size_t last = LastDelimiter(path);
  if (dot == std::string::npos || (last != std::string::npos && dot < last)) return path + extension;
  return path.substr(0, dot) + extension;
}
