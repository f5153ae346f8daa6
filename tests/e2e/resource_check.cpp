// resource-check FILE.exe: prints what Windows reads from a program's
// resources, for the installer's end-to-end test: "fixed FILEVERSION
// PRODUCTVERSION" from the fixed version record, "NAME=VALUE" for the
// strings of the first translation, then the application manifest.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string Dotted(DWORD high, DWORD low) {
  return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." + std::to_string(HIWORD(low)) +
         "." + std::to_string(LOWORD(low));
}

bool PrintVersion(const char* file) {
  DWORD size = GetFileVersionInfoSizeA(file, nullptr);
  std::vector<char> info(size);
  void* value = nullptr;
  UINT length = 0;
  if (size == 0 || !GetFileVersionInfoA(file, 0, size, info.data()) ||
      !VerQueryValueA(info.data(), "\\", &value, &length)) {
    return false;
  }
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  std::printf("fixed %s %s\n", Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS).c_str(),
              Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS).c_str());
  if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &value, &length)) return false;
  const WORD* translation = static_cast<const WORD*>(value);
  char block[64];
  std::snprintf(block, sizeof block, "\\StringFileInfo\\%04X%04X\\", translation[0], translation[1]);
  for (const char* name : {"FileDescription", "FileVersion", "OriginalFilename", "ProductName", "ProductVersion"}) {
    if (VerQueryValueA(info.data(), (std::string(block) + name).c_str(), &value, &length)) {
      std::printf("%s=%s\n", name, static_cast<const char*>(value));
    }
  }
  return true;
}

bool PrintManifest(const char* file) {
  HMODULE module = LoadLibraryExA(file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return false;
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data != nullptr) {
    std::printf("%.*s\n", static_cast<int>(SizeofResource(module, found)), static_cast<const char*>(data));
  }
  FreeLibrary(module);
  return data != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: resource-check FILE.exe\n");
    return 2;
  }
  bool read = PrintVersion(argv[1]) && PrintManifest(argv[1]);
  if (!read) std::fprintf(stderr, "resource-check: %s: error %lu\n", argv[1], GetLastError());
  return read ? 0 : 1;
}
