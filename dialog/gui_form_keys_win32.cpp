// The keys a standard Windows dialog gives meaning to: Tab and Shift+Tab
// through the tab order, Ctrl+Tab, Ctrl+Shift+Tab and Ctrl+PgDn/PgUp
// through the pages (with the same rules as a click on a tab), Enter on a
// focused button to press it (Space the button does by itself), the arrow
// keys among the buttons of one row or page; and the form's key handler,
// which sees every character first.
#include "dialog/gui_win32.h"

#include <algorithm>
#include <exception>

namespace gui_win32 {

namespace {

bool Down(int key) { return (GetKeyState(key) & 0x8000) != 0; }

}  // namespace

// Not GetFocus(): an activation between the key and its handling (another
// program bringing the dialog forward) passes the focus through the
// application window, and the key would then start again from the first
// control.
HWND TWin32Form::KeyTarget(const MSG& message) const {
  if (FWindow && message.hwnd != nullptr && IsChild(FWindow.get(), message.hwnd)) return message.hwnd;
  return GetFocus();
}

void TWin32Form::MoveFocus(HWND from, bool backwards) {
  std::vector<HWND> stops = TabStops();
  if (stops.empty()) return;
  auto at = std::find(stops.begin(), stops.end(), from);
  std::size_t next = backwards ? stops.size() - 1 : 0;
  if (at != stops.end()) {
    std::size_t index = static_cast<std::size_t>(at - stops.begin());
    next = backwards ? (index + stops.size() - 1) % stops.size() : (index + 1) % stops.size();
  }
  SetFocus(stops[next]);
  auto control = FByWindow.find(stops[next]);
  if (control != FByWindow.end() && dynamic_cast<TWin32Edit*>(control->second) != nullptr) {
    SendMessageW(stops[next], EM_SETSEL, 0, -1);
  }
}

// Keyboard use shows where the focus is, as it does in every dialog.
void TWin32Form::ShowFocusRectangles() {
  if (FWindow) SendMessageW(FWindow.get(), WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

// The page control that holds the focus, or the form's first one.
TWin32PageControl* TWin32Form::FocusedPageControl() const {
  TWin32PageControl* first = nullptr;
  for (const auto& control : FControls) {
    auto* pages = dynamic_cast<TWin32PageControl*>(control.get());
    if (pages == nullptr || pages->Window() == nullptr) continue;
    if (HoldsFocus(pages->Window())) return pages;
    if (first == nullptr) first = pages;
  }
  return first;
}

void TWin32Form::TurnPage(int step) {
  TWin32PageControl* pages = FocusedPageControl();
  if (pages == nullptr || !CanFocus(pages->Window())) return;
  int count = pages->PageCount();
  int next = ((pages->ActivePage() + step) % count + count) % count;
  pages->SelectAsClicked(next);
  if (FWindow) SetFocus(pages->Window());
}

bool TWin32Form::PressFocusedButton(HWND focus) {
  auto control = FByWindow.find(focus);
  if (control == FByWindow.end() || dynamic_cast<TWin32Button*>(control->second) == nullptr) return false;
  if (!IsWindowEnabled(focus)) return true;
  SendMessageW(focus, BM_CLICK, 0, 0);
  return true;
}

// The buttons beside the focused one, on its page or on the form, in the
// layout's order; the arrows go round them.
bool TWin32Form::MoveAmongButtons(HWND focus, bool forward) {
  auto focused = FByWindow.find(focus);
  if (focused == FByWindow.end() || dynamic_cast<TWin32Button*>(focused->second) == nullptr) return false;
  std::vector<HWND> row;
  for (const auto& control : FControls) {
    HWND window = control->Window();
    if (dynamic_cast<TWin32Button*>(control.get()) == nullptr || window == nullptr) continue;
    if (GetParent(window) == GetParent(focus) && (window == focus || CanFocus(window))) row.push_back(window);
  }
  auto at = std::find(row.begin(), row.end(), focus);
  std::size_t index = static_cast<std::size_t>(at - row.begin());
  std::size_t next = forward ? (index + 1) % row.size() : (index + row.size() - 1) % row.size();
  SetFocus(row[next]);
  return true;
}

bool TWin32Form::NavigationKey(const MSG& message) {
  if (Down(VK_MENU)) return false;
  const WPARAM key = message.wParam;
  HWND focus = KeyTarget(message);
  bool control = Down(VK_CONTROL);
  bool used = false;
  switch (key) {
    case VK_TAB:
      if (control) {
        TurnPage(Down(VK_SHIFT) ? -1 : 1);
      } else {
        MoveFocus(focus, Down(VK_SHIFT));
      }
      used = true;
      break;
    case VK_NEXT:
    case VK_PRIOR:
      if (control) TurnPage(key == VK_NEXT ? 1 : -1);
      used = control;
      break;
    case VK_RETURN:
      used = !control && PressFocusedButton(focus);
      break;
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
      used = !control && MoveAmongButtons(focus, key == VK_RIGHT || key == VK_DOWN);
      break;
    default:
      break;
  }
  if (used) ShowFocusRectangles();
  return used;
}

bool TWin32Form::Preview(MSG& message) {
  if (message.message == WM_KEYDOWN && NavigationKey(message)) return true;
  if (message.message != WM_CHAR || !OnKeyPress) return false;
  wchar_t wide = static_cast<wchar_t>(message.wParam);
  char key = 0;
  BOOL defaulted = FALSE;
  int converted = WideCharToMultiByte(kCodePage, 0, &wide, 1, &key, 1, nullptr, &defaulted);
  // A character the code page does not have cannot be shown to the
  // handler; it goes to the control unseen.
  if (converted != 1 || defaulted) return false;
  const char original = key;
  std::function<void(char&)> handler = OnKeyPress;
  try {
    handler(key);
  } catch (const std::exception& error) {
    FApplication.ShowException(error.what());
    return true;
  } catch (...) {
    FApplication.ShowException("");
    return true;
  }
  if (key == 0) return true;
  if (key != original) {
    wchar_t replaced = 0;
    MultiByteToWideChar(kCodePage, 0, &key, 1, &replaced, 1);
    message.wParam = replaced;
  }
  return false;
}

}  // namespace gui_win32
