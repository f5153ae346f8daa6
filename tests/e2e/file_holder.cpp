// file-holder: keeps a file open for reading the way a log viewer or a tail
// tool does, sharing reads and writes but not deletion, for end-to-end
// tests of the activity log:
//
//   file-holder FILE SECONDS
//
// Prints "holding" once the file is open, then holds it for SECONDS.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: file-holder FILE SECONDS\n");
    return ERROR_INVALID_PARAMETER;
  }
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    std::fprintf(stderr, "file-holder: CreateFileA failed: %lu\n", static_cast<unsigned long>(error));
    return static_cast<int>(error);
  }
  std::printf("holding\n");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
  CloseHandle(file);
  return 0;
}
