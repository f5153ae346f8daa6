// form-layout-check: builds veltactl's main form with the GUI toolkit in
// this process, as veltactl does, and checks it as it stands on this
// system's display: every caption fits its control in the font the control
// itself uses (a check box leaves room for its box, a push button for its
// frame), and no two controls on one parent overlap. Prints the form's
// client size, the font's height and the display's DPI. A font handle is
// only good in its own process, which is why this runs inside.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dialog/gui_toolkit.h"
#include "dialog/main_form_layout.h"

namespace {

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(
      parent,
      [](HWND window, LPARAM found) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  return children;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

std::wstring TextOf(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, &text[0], length + 1)));
  return text;
}

std::string Shown(HWND window) {
  std::wstring text = TextOf(window);
  std::string ascii;
  for (wchar_t c : text) ascii += c < 128 ? static_cast<char>(c) : '?';
  std::string kind;
  for (wchar_t c : ClassOf(window)) kind += static_cast<char>(c);
  return kind + " \"" + ascii + "\"";
}

// The font the window draws its text with, selected into a DC of its own.
SIZE TextExtent(HWND window, const std::wstring& text, TEXTMETRICW* metrics = nullptr) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  if (metrics != nullptr) GetTextMetricsW(dc, metrics);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return size;
}

// The room a control gives its caption.
LONG Room(HWND control) {
  RECT area{};
  GetClientRect(control, &area);
  LONG room = area.right - area.left;
  if (ClassOf(control) != L"Button") return room;
  if ((GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
    return room - GetSystemMetrics(SM_CXMENUCHECK) - 2 * GetSystemMetrics(SM_CXEDGE);
  }
  return room - 4 * GetSystemMetrics(SM_CXEDGE);
}

RECT PlaceInParent(HWND window) {
  RECT place{};
  GetWindowRect(window, &place);
  MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&place), 2);
  return place;
}

// Pages and the tab control hold the others; a bevel is a line drawn under
// what it separates.
bool Holder(HWND window) {
  std::wstring kind = ClassOf(window);
  return kind == L"TVeltaTabSheet" || kind == WC_TABCONTROLW || kind == L"TVeltaBevel";
}

HWND FormWindow() {
  HWND form = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM found) -> BOOL {
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if (std::wstring(name) == L"TVeltaForm") *reinterpret_cast<HWND*>(found) = window;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&form));
  return form;
}

}  // namespace

int main() {
  // As veltactl's manifest declares it.
  SetProcessDPIAware();
  TApplication& application = TApplication::Platform();
  application.Initialize();
  application.CreateForm(ServerMainFormLayout());
  HWND form = FormWindow();
  if (form == nullptr) {
    std::printf("FAIL no form window\n");
    return 1;
  }
  int failures = 0;
  int captions = 0;
  std::vector<HWND> controls = Children(form);
  for (HWND control : controls) {
    std::wstring kind = ClassOf(control);
    std::wstring text = TextOf(control);
    if (text.empty() || (kind != L"Button" && kind != L"Static" && kind != L"TVeltaPanel")) continue;
    ++captions;
    LONG needed = TextExtent(control, text).cx;
    if (needed > Room(control)) {
      std::printf("FAIL %s: the text is %ld px wide, the room %ld px\n", Shown(control).c_str(), needed,
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
        std::printf("FAIL %s and %s overlap\n", Shown(controls[a]).c_str(), Shown(controls[b]).c_str());
        ++failures;
      }
    }
  }
  RECT client{};
  GetClientRect(form, &client);
  TEXTMETRICW metrics{};
  TextExtent(form, L"x", &metrics);
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  std::printf("%d captions checked, %d failures\n", captions, failures);
  std::printf("client %ld %ld font %ld dpi %d\n", client.right, client.bottom, metrics.tmHeight, dpi);
  return failures == 0 ? 0 : 1;
}
