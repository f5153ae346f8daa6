#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

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
  // CREATE_NEW passes over a leftover of a crashed process whose id came back.
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = TemporaryNameBeside(target, GetCurrentProcessId(), counter++);
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
  DWORD attributes = GetFileAttributesA(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (!NothingThere(GetLastError())) return false;
    return MoveFileExA(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }
  // The administrator's read-only stays in force.
  if (attributes & FILE_ATTRIBUTE_READONLY) return false;
  // A reader that has the log open without sharing deletion makes the
  // replace fail while it holds it; such holds are mostly brief, and after
  // these retries the caller rewrites the file in place.
  constexpr int kAttempts = 4;
  constexpr DWORD kRetryMs = 25;
  for (int attempt = 1;; ++attempt) {
    // ReplaceFile keeps the old file's security descriptor, attributes and
    // identity; a plain move would give the log the new file's.
    if (ReplaceFileA(target.c_str(), tmp.c_str(), nullptr,
                     REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS,
                     nullptr, nullptr)) {
      // Not every implementation carries the attributes over (Wine's does
      // not); setting them again costs nothing where it does.
      SetFileAttributesA(target.c_str(), attributes);
      return true;
    }
    DWORD error = GetLastError();
    // The old file has gone (1176: deleted; 1177: under a name of the
    // system's choosing) and the new one is still beside it under its own:
    // the new one takes the place, or the caller finds the log missing.
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
      return MoveIntoPlace(tmp, target);
    }
    // 1175 (ERROR_UNABLE_TO_REMOVE_REPLACED): both files kept their names.
    bool held = error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
                error == ERROR_UNABLE_TO_REMOVE_REPLACED;
    if (!held || attempt == kAttempts) return false;
    Sleep(kRetryMs);
  }
}

bool RewriteInPlace(const std::string& target, const std::string& bytes) {
  // Said explicitly: an administrator's account may be let through anyway.
  DWORD attributes = GetFileAttributesA(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_READONLY)) return false;
  THandle file(CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid() || GetFileType(file.Get()) != FILE_TYPE_DISK) return false;
  bool written = WriteAll(file.Get(), bytes) && SetEndOfFile(file.Get()) && FlushFileBuffers(file.Get());
  return file.Close() && written;
}

bool MoveIntoPlace(const std::string& tmp, const std::string& target) {
  return MoveFileExA(tmp.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

bool IsMissing(const std::string& path) {
  return GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES && NothingThere(GetLastError());
}

std::vector<TLeftover> FindLeftoverTemporaries(const std::string& target) {
  std::vector<TLeftover> found;
  std::size_t slash = target.find_last_of("\\/");
  std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  std::string base = target.substr(folder.size());
  WIN32_FIND_DATAA entry{};
  HANDLE first = FindFirstFileA((target + ".*.tmp").c_str(), &entry);
  if (first == INVALID_HANDLE_VALUE) return found;
  std::unique_ptr<void, BOOL(WINAPI*)(HANDLE)> search(first, FindClose);
  do {
    if (!IsTemporaryNameOf(entry.cFileName, base)) continue;
    ULARGE_INTEGER written;
    written.LowPart = entry.ftLastWriteTime.dwLowDateTime;
    written.HighPart = entry.ftLastWriteTime.dwHighDateTime;
    found.push_back({folder + entry.cFileName, static_cast<long long>(written.QuadPart)});
  } while (FindNextFileA(search.get(), &entry));
  return found;
}

void RemoveFileQuietly(const std::string& path) { DeleteFileA(path.c_str()); }
