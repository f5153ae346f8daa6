#pragma once

#include <string>

// The system's texts are Windows-1250 bytes; the wide Win32 calls take them
// as UTF-16, so the letters are right whatever the system's code page is.
std::wstring WideFrom1250(const std::string& text);
std::string NarrowTo1250(const std::wstring& text);
