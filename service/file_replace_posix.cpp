#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>

#include "service/file_replace.h"

namespace {

class TFd {
 public:
  explicit TFd(int fd) : FFd(fd) {}
  ~TFd() {
    if (FFd >= 0) ::close(FFd);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return FFd; }
  // close() reports write errors that a delayed write-back may only find
  // now, so a writer must see its result.
  bool Close() {
    int fd = FFd;
    FFd = -1;
    return ::close(fd) == 0;
  }

 private:
  int FFd;
};

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string FileNameOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Gives tmp the mode and owner of an existing target, so that the new
// content is no more open to others than the old. A target that is not
// there has nothing to pass on.
bool TakeOverModeAndOwner(const std::string& tmp, const std::string& target) {
  struct stat old {};
  if (::stat(target.c_str(), &old) != 0) return errno == ENOENT;
  if (::chmod(tmp.c_str(), old.st_mode & 07777) != 0) return false;
  struct stat fresh {};
  if (::stat(tmp.c_str(), &fresh) != 0) return false;
  if (fresh.st_uid == old.st_uid && fresh.st_gid == old.st_gid) return true;
  return ::chown(tmp.c_str(), old.st_uid, old.st_gid) == 0;
}

}  // namespace

TWholeFileRead ReadWholeFile(const std::string& path, std::string& bytes) {
  // O_NONBLOCK: a FIFO at the path must fail the read, not hang the writer.
  TFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.Get() < 0) {
    return errno == ENOENT || errno == ENOTDIR ? TWholeFileRead::Missing : TWholeFileRead::Failed;
  }
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return TWholeFileRead::Failed;
  std::string text;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return TWholeFileRead::Failed;
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  bytes.swap(text);
  return TWholeFileRead::Read;
}

bool WriteTemporaryBeside(const std::string& target, const std::string& bytes, std::string& tmpPath) {
  // O_EXCL passes over a leftover of a crashed process whose id came back.
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = TemporaryNameBeside(target, static_cast<unsigned long>(::getpid()), counter++);
    TFd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.Get() < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    bool written = WriteAll(fd.Get(), bytes) && ::fsync(fd.Get()) == 0;
    if (!fd.Close() || !written) {
      ::unlink(name.c_str());
      return false;
    }
    tmpPath = name;
    return true;
  }
  return false;
}

bool ReplaceFileWith(const std::string& tmp, const std::string& target) {
  if (!TakeOverModeAndOwner(tmp, target)) return false;
  if (::rename(tmp.c_str(), target.c_str()) != 0) return false;
  // The rename itself lives in the directory; without this a power loss may
  // still bring back the old file. The new one is in place either way.
  TFd dir(::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0) ::fsync(dir.Get());
  return true;
}

bool RewriteInPlace(const std::string& target, const std::string& bytes) {
  TFd fd(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.Get() < 0) return false;
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  bool written = WriteAll(fd.Get(), bytes) && ::ftruncate(fd.Get(), static_cast<off_t>(bytes.size())) == 0 &&
                 ::fsync(fd.Get()) == 0;
  return fd.Close() && written;
}

bool MoveIntoPlace(const std::string& tmp, const std::string& target) {
  // A link, unlike a rename, refuses a target that is there. A file system
  // without links has no such guard; the rename is the best it offers.
  if (::link(tmp.c_str(), target.c_str()) == 0) {
    ::unlink(tmp.c_str());
  } else if (errno == EEXIST || ::rename(tmp.c_str(), target.c_str()) != 0) {
    return false;
  }
  TFd dir(::open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0) ::fsync(dir.Get());
  return true;
}

bool IsMissing(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

std::vector<TLeftover> FindLeftoverTemporaries(const std::string& target) {
  std::vector<TLeftover> found;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(DirectoryOf(target).c_str()), ::closedir);
  if (!dir) return found;
  std::string base = FileNameOf(target);
  std::string folder = DirectoryOf(target) + "/";
  while (dirent* entry = ::readdir(dir.get())) {
    if (!IsTemporaryNameOf(entry->d_name, base)) continue;
    TLeftover leftover{folder + entry->d_name, 0};
    struct stat info {};
    if (::stat(leftover.Path.c_str(), &info) == 0) {
      leftover.LastWrite = static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
    }
    found.push_back(leftover);
  }
  return found;
}

void RemoveFileQuietly(const std::string& path) { ::unlink(path.c_str()); }
