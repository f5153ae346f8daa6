// veltaping's way to the terminal: its texts are Windows-1250 bytes, and
// each platform's terminal reads something else.
#pragma once

#include <string>

namespace velta::client {

enum class ConsoleStream { out, err };

// Natively as UTF-8. On Windows, wide characters to a console; redirected
// output in the console's output code page, which is what cmd and
// PowerShell decode it with.
void console_write(ConsoleStream stream, const std::string& text1250);

}  // namespace velta::client
