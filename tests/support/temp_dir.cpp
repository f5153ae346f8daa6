#include "support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  FRoot = std::filesystem::temp_directory_path() /
          ("velta-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(FRoot);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(FRoot, ignored);
}

void TempDir::Write(const std::string& name, const std::string& bytes) const {
  std::ofstream file(FRoot / name, std::ios::binary | std::ios::trunc);
  file << bytes;
}

std::string TempDir::Read(const std::string& name) const {
  std::ifstream file(FRoot / name, std::ios::binary);
  if (!file) return "<missing>";
  std::stringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

void TempDir::MakeDirectory(const std::string& name) const { std::filesystem::create_directories(FRoot / name); }
