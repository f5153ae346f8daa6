#pragma once

#include <filesystem>
#include <string>

// A fresh directory for one test's files, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string Path(const std::string& name) const { return (FRoot / name).string(); }
  void Write(const std::string& name, const std::string& bytes) const;
  // The file's bytes, or "<missing>" when there is no such file.
  std::string Read(const std::string& name) const;
  void MakeDirectory(const std::string& name) const;

 private:
  std::filesystem::path FRoot;
};
