#include "service/file_replace.h"

#include <cctype>

namespace {

constexpr char kTemporaryEnd[] = ".tmp";

// Skips one run of decimal digits; false when there is none.
bool SkipDigits(const std::string& text, std::size_t& at) {
  std::size_t start = at;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
  return at > start;
}

}  // namespace

// The process id keeps writers of other processes apart, the counter the
// threads of one.
std::string TemporaryNameBeside(const std::string& target, unsigned long process, unsigned counter) {
  return target + "." + std::to_string(process) + "." + std::to_string(counter) + kTemporaryEnd;
}

bool IsTemporaryNameOf(const std::string& fileName, const std::string& targetFileName) {
  if (fileName.compare(0, targetFileName.size() + 1, targetFileName + ".") != 0) return false;
  std::size_t at = targetFileName.size() + 1;
  if (!SkipDigits(fileName, at) || at >= fileName.size() || fileName[at] != '.') return false;
  ++at;
  if (!SkipDigits(fileName, at)) return false;
  return fileName.compare(at, std::string::npos, kTemporaryEnd) == 0;
}

void RemoveLeftoverTemporaries(const std::string& target) {
  for (const TLeftover& leftover : FindLeftoverTemporaries(target)) RemoveFileQuietly(leftover.Path);
}
