#include <iconv.h>

#include <cstdio>
#include <memory>
#include <string>

#include "client/console.h"

namespace velta::client {

namespace {

std::string utf8_from_1250(const std::string& text) {
    iconv_t convert = iconv_open("UTF-8", "CP1250");
    // Without the conversion the ASCII letters still read right.
    if (convert == reinterpret_cast<iconv_t>(-1)) return text;
    std::unique_ptr<void, int (*)(iconv_t)> hold(convert, iconv_close);
    std::string in = text;
    std::string out(text.size() * 3 + 1, '\0');
    char* from = in.data();
    std::size_t from_left = in.size();
    char* to = out.data();
    std::size_t to_left = out.size();
    while (from_left > 0) {
        if (iconv(convert, &from, &from_left, &to, &to_left) != static_cast<std::size_t>(-1)) break;
        // A byte the code page leaves undefined.
        if (to_left == 0) break;
        *to++ = '?';
        --to_left;
        ++from;
        --from_left;
    }
    out.resize(out.size() - to_left);
    return out;
}

}  // namespace

void console_write(ConsoleStream stream, const std::string& text1250) {
    const std::string text = utf8_from_1250(text1250);
    std::FILE* file = stream == ConsoleStream::out ? stdout : stderr;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fflush(file);
}

}  // namespace velta::client
