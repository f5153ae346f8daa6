// The controls: what every kind does alike, and the simple kinds, which
// are a single window each.
#include "dialog/gui_win32.h"

#include <string>

namespace gui_win32 {

std::string TWin32Control::GetText() const { return FWindow != nullptr ? WindowText(FWindow) : FText; }

void TWin32Control::SetText(const std::string& text) {
  FText = text;
  if (FWindow != nullptr) SetWindowTextW(FWindow, Wide(text).c_str());
}

bool TWin32Control::Enabled() const { return FWindow != nullptr ? IsWindowEnabled(FWindow) != FALSE : FEnabled; }

void TWin32Control::SetEnabled(bool enabled) {
  FEnabled = enabled;
  if (FWindow == nullptr) return;
  bool hadFocus = !enabled && HoldsFocus(FWindow);
  EnableWindow(FWindow, enabled ? TRUE : FALSE);
  FForm.FocusLost(hadFocus);
}

bool TWin32Control::Visible() const {
  return FWindow != nullptr ? (GetWindowLongPtrW(FWindow, GWL_STYLE) & WS_VISIBLE) != 0 : FVisible;
}

void TWin32Control::SetVisible(bool visible) {
  FVisible = visible;
  if (FWindow == nullptr) return;
  bool hadFocus = !visible && HoldsFocus(FWindow);
  ShowWindow(FWindow, visible ? SW_SHOWNA : SW_HIDE);
  FForm.FocusLost(hadFocus);
}

void TWin32Control::Detach() {
  FText = WindowText(FWindow);
  FEnabled = IsWindowEnabled(FWindow) != FALSE;
  FVisible = (GetWindowLongPtrW(FWindow, GWL_STYLE) & WS_VISIBLE) != 0;
  FWindow = nullptr;
}

void TWin32Button::Command(WORD code) {
  if (code == BN_CLICKED) RunHandler(OnClick);
}

void TWin32Label::SetText(const std::string& text) {
  TWin32Control::SetText(text);
  FitToText();
}

void TWin32Label::FitToText() {
  if (FWindow == nullptr) return;
  RECT frame;
  GetWindowRect(FWindow, &frame);
  SetWindowPos(FWindow, nullptr, 0, 0, TextWidth(FWindow), frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TWin32Edit::SetText(const std::string& text) {
  if (text == GetText()) return;
  FText = text;
  if (FWindow != nullptr) {
    // The change notification of this very assignment is ours to answer,
    // outside the window procedure, so that an exception of the handler
    // reaches the caller as it does on the double. A nested assignment
    // from inside the handler comes after the flag is down again.
    FAssigning = true;
    SetWindowTextW(FWindow, Wide(text).c_str());
    FAssigning = false;
  }
  RunHandler(OnChange);
}

void TWin32Edit::Command(WORD code) {
  if (code == EN_CHANGE && !FAssigning) RunHandler(OnChange);
}

bool TWin32CheckBox::Checked() const {
  return FWindow != nullptr ? SendMessageW(FWindow, BM_GETCHECK, 0, 0) == BST_CHECKED : FChecked;
}

void TWin32CheckBox::SetChecked(bool checked) {
  if (checked == Checked()) return;
  FChecked = checked;
  // BM_SETCHECK notifies nobody; the click handler runs as for a click.
  if (FWindow != nullptr) SendMessageW(FWindow, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  RunHandler(OnClick);
}

void TWin32CheckBox::Detach() {
  FChecked = Checked();
  TWin32Control::Detach();
}

void TWin32CheckBox::Command(WORD code) {
  if (code == BN_CLICKED) RunHandler(OnClick);
}

}  // namespace gui_win32
