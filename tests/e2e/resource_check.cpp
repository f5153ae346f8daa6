// resource-check: prints what Windows reads from a program's resources, for
// end-to-end tests of the release:
//
//   resource-check FILE.exe
//
// prints "fixed FILEVERSION PRODUCTVERSION" from the fixed version record,
// then "NAME=VALUE" for each string of the version resource's first
// translation, then the application manifest after a line "manifest:".
// Exits with the Win32 error of the first step that fails.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr const char* kVersionStrings[] = {"CompanyName", "FileDescription", "FileVersion", "InternalName",
                                           "OriginalFilename", "ProductName", "ProductVersion"};

DWORD Fail(const char* what) {
  DWORD error = GetLastError();
  std::fprintf(stderr, "resource-check: %s failed: %lu\n", what, static_cast<unsigned long>(error));
  return error != 0 ? error : ERROR_RESOURCE_DATA_NOT_FOUND;
}

std::string Dotted(DWORD high, DWORD low) {
  return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." + std::to_string(HIWORD(low)) +
         "." + std::to_string(LOWORD(low));
}

DWORD PrintVersion(const char* file) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(file, &ignored);
  if (size == 0) return Fail("GetFileVersionInfoSizeA");
  std::vector<char> info(size);
  if (!GetFileVersionInfoA(file, 0, size, info.data())) return Fail("GetFileVersionInfoA");

  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(info.data(), "\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
    return Fail("VerQueryValueA(fixed)");
  }
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  std::printf("fixed %s %s\n", Dotted(fixed->dwFileVersionMS, fixed->dwFileVersionLS).c_str(),
              Dotted(fixed->dwProductVersionMS, fixed->dwProductVersionLS).c_str());

  if (!VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", &value, &length) || length < 4) {
    return Fail("VerQueryValueA(Translation)");
  }
  const WORD* translation = static_cast<const WORD*>(value);
  char block[64];
  std::snprintf(block, sizeof block, "\\StringFileInfo\\%04X%04X\\", translation[0], translation[1]);
  std::printf("translation %04X %u\n", translation[0], translation[1]);
  for (const char* name : kVersionStrings) {
    std::string path = std::string(block) + name;
    if (!VerQueryValueA(info.data(), path.c_str(), &value, &length)) {
      std::printf("%s (missing)\n", name);
      continue;
    }
    std::printf("%s=%s\n", name, static_cast<const char*>(value));
  }
  return ERROR_SUCCESS;
}

DWORD PrintManifest(const char* file) {
  HMODULE module = LoadLibraryExA(file, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return Fail("LoadLibraryExA");
  DWORD result = ERROR_SUCCESS;
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
  const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (data == nullptr) {
    result = Fail("FindResourceA(RT_MANIFEST)");
  } else {
    std::printf("manifest:\n");
    std::fwrite(data, 1, SizeofResource(module, found), stdout);
    std::printf("\n");
  }
  FreeLibrary(module);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: resource-check FILE.exe\n");
    return ERROR_INVALID_PARAMETER;
  }
  DWORD result = PrintVersion(argv[1]);
  if (result == ERROR_SUCCESS) result = PrintManifest(argv[1]);
  return static_cast<int>(result);
}
