#include <windows.h>

#include <string>

#include "client/console.h"
#include "common/text_1250.h"

namespace velta::client {

void console_write(ConsoleStream stream, const std::string& text1250) {
    HANDLE handle = GetStdHandle(stream == ConsoleStream::out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return;
    const std::wstring wide = WideFrom1250(text1250);
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    // Redirected: the bytes cmd and PowerShell decode with the console's
    // output code page; without a console, the OEM code page it would have.
    UINT page = GetConsoleOutputCP();
    if (page == 0) page = GetOEMCP();
    const int size = WideCharToMultiByte(page, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                         nullptr);
    if (size <= 0) return;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(page, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), size, nullptr, nullptr);
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace velta::client
