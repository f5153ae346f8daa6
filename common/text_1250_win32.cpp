#include "common/text_1250.h"

#include <windows.h>

namespace {
constexpr UINT kCodePage = 1250;
}  // namespace

std::wstring WideFrom1250(const std::string& text) {
  if (text.empty()) return std::wstring();
  int length = MultiByteToWideChar(kCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(kCodePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

std::string NarrowTo1250(const std::wstring& text) {
  if (text.empty()) return std::string();
  int length =
      WideCharToMultiByte(kCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(kCodePage, 0, text.data(), static_cast<int>(text.size()), &narrow[0], length, nullptr,
                      nullptr);
  return narrow;
}
