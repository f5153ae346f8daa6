#include <windows.h>

#include <atomic>
#include <string>

#include "service/file_replace.h"

namespace {

class THandle {
 public:
  explicit THandle(HANDLE handle) : FHandle(handle) {}
  ~THandle() {
    if (Valid()) CloseHandle(FHandle);
  }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  bool Valid() const { return FHandle != INVALID_HANDLE_VALUE && FHandle != nullptr; }
  HANDLE Get() const { return FHandle; }
  bool Close() {
    HANDLE handle = FHandle;
    FHandle = INVALID_HANDLE_VALUE;
    return CloseHandle(handle) != 0;
  }

 private:
  HANDLE FHandle;
};

bool NothingThere(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

bool WriteAll(HANDLE file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(bytes.size() - done > 0x40000000 ? 0x40000000 : bytes.size() - done);
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

}  // namespace

TWholeFileRead ReadWholeFile(const std::string& path, std::string& bytes) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return NothingThere(GetLastError()) ? TWholeFileRead::Missing : TWholeFileRead::Failed;
  }
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return TWholeFileRead::Failed;
  // Others may read the log, or put a new one in its place, while we read.
  THandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return NothingThere(GetLastError()) ? TWholeFileRead::Missing : TWholeFileRead::Failed;
  if (GetFileType(file.Get()) != FILE_TYPE_DISK) return TWholeFileRead::Failed;
  std::string text;
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.Get(), buffer, sizeof buffer, &n, nullptr)) return TWholeFileRead::Failed;
    if (n == 0) break;
    text.append(buffer, n);
  }
  bytes.swap(text);
  return TWholeFileRead::Read;
}

bool WriteTemporaryBeside(const std::string& target, const std::string& bytes, std::string& tmpPath) {
  // The process id keeps other processes apart, the counter threads of this
  // one, and CREATE_NEW a leftover of a crashed process whose id came back.
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name =
        target + "." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(counter++) + ".tmp";
    THandle file(CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      return false;
    }
    bool written = WriteAll(file.Get(), bytes) && FlushFileBuffers(file.Get());
    if (!file.Close() || !written) {
      DeleteFileA(name.c_str());
      return false;
    }
    tmpPath = name;
    return true;
  }
  return false;
}

bool ReplaceFileWith(const std::string& tmp, const std::string& target) {
  // A reader that has the log open without sharing deletion (a viewer, a
  // tail, a backup) makes the replace fail for as long as it holds it; such
  // holds are mostly brief, so a few short retries save the line.
  constexpr int kAttempts = 20;
  constexpr DWORD kRetryMs = 25;
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExA(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    DWORD error = GetLastError();
    bool held = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
    if (!held || attempt == kAttempts) return false;
    Sleep(kRetryMs);
  }
}

void RemoveFileQuietly(const std::string& path) { DeleteFileA(path.c_str()); }
