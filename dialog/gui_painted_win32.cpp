// The windows the toolkit paints itself, panels and bevels, and the
// registration of the toolkit's window classes.
#include "dialog/gui_win32.h"

#include <stdexcept>
#include <string>

namespace gui_win32 {

namespace {

// Panels and bevels keep their font in the window's extra bytes.
LRESULT FontMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETFONT) {
    SetWindowLongPtrW(window, 0, static_cast<LONG_PTR>(wParam));
    if (LOWORD(lParam) != 0) InvalidateRect(window, nullptr, TRUE);
    return 0;
  }
  return GetWindowLongPtrW(window, 0);
}

}  // namespace

LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETFONT:
    case WM_GETFONT:
      return FontMessage(window, message, wParam, lParam);
    case WM_SETTEXT: {
      LRESULT result = DefWindowProcW(window, message, wParam, lParam);
      InvalidateRect(window, nullptr, TRUE);
      return result;
    }
    case WM_ENABLE:
      InvalidateRect(window, nullptr, TRUE);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT area;
      GetClientRect(window, &area);
      FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
      DrawEdge(dc, &area, BDR_SUNKENOUTER | BDR_RAISEDINNER, BF_RECT);
      HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HGDIOBJ>(GetWindowLongPtrW(window, 0)));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, GetSysColor(IsWindowEnabled(window) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
      std::wstring text = WideWindowText(window);
      DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
                DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      SelectObject(dc, oldFont);
      EndPaint(window, &paint);
      return 0;
    }
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

LRESULT CALLBACK BevelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETFONT:
    case WM_GETFONT:
      return FontMessage(window, message, wParam, lParam);
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT area;
      GetClientRect(window, &area);
      FillRect(dc, &area, GetSysColorBrush(COLOR_BTNFACE));
      // A lowered line: shadow above highlight, along the bottom.
      DrawEdge(dc, &area, EDGE_ETCHED, BF_BOTTOM);
      EndPaint(window, &paint);
      return 0;
    }
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, int extraBytes, HICON icon) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = procedure;
  windowClass.cbWndExtra = extraBytes;
  windowClass.hInstance = Instance();
  windowClass.hIcon = icon;
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  windowClass.lpszClassName = name;
  // A second application object in the process (tests) finds it there.
  if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    throw std::runtime_error("RegisterClassExW failed: " + std::to_string(GetLastError()));
  }
}

}  // namespace gui_win32
