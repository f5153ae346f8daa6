// Texts between the dialog's Windows-1250 bytes and the wide calls, their
// width on the screen, and the program's own name.
#include "dialog/gui_win32.h"

#include "common/text_1250.h"

#include <string>

namespace gui_win32 {

std::wstring Wide(const std::string& text) { return WideFrom1250(text); }

std::string Narrow(const std::wstring& text) { return NarrowTo1250(text); }

std::wstring WideWindowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  int copied = GetWindowTextW(window, &text[0], length + 1);
  text.resize(static_cast<std::size_t>(copied < 0 ? 0 : copied));
  return text;
}

std::string WindowText(HWND window) { return Narrow(WideWindowText(window)); }

int TextWidth(HWND window) {
  std::wstring text = WideWindowText(window);
  HDC dc = GetDC(window);
  HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  SelectObject(dc, oldFont);
  ReleaseDC(window, dc);
  return size.cx;
}

// The program file's name without its extension.
std::string ProgramName() {
  std::wstring path(32768, L'\0');
  DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
  path.resize(length);
  std::size_t slash = path.find_last_of(L"\\/");
  if (slash != std::wstring::npos) path.erase(0, slash + 1);
  std::size_t dot = path.rfind(L'.');
  if (dot != std::wstring::npos && dot != 0) path.erase(dot);
  return Narrow(path);
}

}  // namespace gui_win32
