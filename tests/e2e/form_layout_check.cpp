// form-layout-check: builds veltactl's main form with the GUI toolkit in
// this process, as veltactl does, and checks it on this display: every
// caption fits its control in the control's own font (a check box leaves
// room for its box, a push button for its frame), and no two controls on
// one parent overlap. Prints "client WIDTH HEIGHT font HEIGHT dpi DPI".
// Runs inside because Wine's font handles are good in their own process only.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dialog/gui_toolkit.h"
#include "dialog/main_form_layout.h"

namespace {

BOOL CALLBACK Collect(HWND window, LPARAM found) {
  reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
  return TRUE;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring TextOf(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

// The text's extent in the window's own font; the font's metrics too.
SIZE TextExtent(HWND window, const std::wstring& text, TEXTMETRICW& metrics) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return size;
}

LONG Room(HWND control) {
  RECT area{};
  GetClientRect(control, &area);
  if (ClassOf(control) != L"Button") return area.right;
  if ((GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
    return area.right - GetSystemMetrics(SM_CXMENUCHECK) - 2 * GetSystemMetrics(SM_CXEDGE);
  }
  return area.right - 4 * GetSystemMetrics(SM_CXEDGE);
}

RECT PlaceInParent(HWND window) {
  RECT place{};
  GetWindowRect(window, &place);
  MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&place), 2);
  return place;
}

// Pages and the tab control hold the others; a bevel is a line under them.
bool Holder(HWND window) {
  std::wstring kind = ClassOf(window);
  return kind == L"TVeltaTabSheet" || kind == L"SysTabControl32" || kind == L"TVeltaBevel";
}

}  // namespace

int main() {
  // As veltactl's manifest declares it.
  SetProcessDPIAware();
  TApplication& application = TApplication::Platform();
  application.Initialize();
  application.CreateForm(ServerMainFormLayout());
  HWND form = FindWindowW(L"TVeltaForm", nullptr);
  std::vector<HWND> controls;
  EnumChildWindows(form, Collect, reinterpret_cast<LPARAM>(&controls));
  int failures = 0;
  TEXTMETRICW metrics{};
  for (HWND control : controls) {
    std::wstring kind = ClassOf(control);
    std::wstring text = TextOf(control);
    if (text.empty() || (kind != L"Button" && kind != L"Static" && kind != L"TVeltaPanel")) continue;
    LONG needed = TextExtent(control, text, metrics).cx;
    if (needed > Room(control)) {
      std::printf("FAIL %ls \"%ls\": the text is %ld px wide, the room %ld px\n", kind.c_str(), text.c_str(), needed,
                  Room(control));
      ++failures;
    }
  }
  for (std::size_t a = 0; a < controls.size(); ++a) {
    for (std::size_t b = a + 1; b < controls.size(); ++b) {
      if (Holder(controls[a]) || Holder(controls[b]) || GetParent(controls[a]) != GetParent(controls[b])) continue;
      RECT first = PlaceInParent(controls[a]);
      RECT second = PlaceInParent(controls[b]);
      RECT both{};
      if (IntersectRect(&both, &first, &second)) {
        std::printf("FAIL \"%ls\" and \"%ls\" overlap\n", TextOf(controls[a]).c_str(), TextOf(controls[b]).c_str());
        ++failures;
      }
    }
  }
  RECT client{};
  GetClientRect(form, &client);
  HDC screen = GetDC(nullptr);
  std::printf("%d failures\nclient %ld %ld font %ld dpi %d\n", failures, client.right, client.bottom,
              metrics.tmHeight, GetDeviceCaps(screen, LOGPIXELSY));
  ReleaseDC(nullptr, screen);
  return failures == 0 ? 0 : 1;
}
