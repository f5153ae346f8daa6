// The page control: a comctl32 tab control with a page window per tab,
// and the page changes it asks the dialog about.
#include "dialog/gui_win32.h"

#include <commctrl.h>

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

namespace gui_win32 {

namespace {

constexpr UINT_PTR kTabsSubclass = 1;

LRESULT CALLBACK TabsProc(HWND, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR pageControl) {
  return reinterpret_cast<TWin32PageControl*>(pageControl)->TabMessage(message, wParam, lParam);
}

}  // namespace

// A page passes its controls' notifications on to the form.
LRESULT CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* form = reinterpret_cast<TWin32Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form != nullptr && form->Window() != nullptr && (message == WM_COMMAND || message == WM_NOTIFY)) {
    return form->Message(form->Window(), message, wParam, lParam);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void TWin32PageControl::SetText(const std::string& text) {
  FPages[FActive].caption = text;
  if (FWindow == nullptr) return;
  std::wstring caption = Wide(text);
  TCITEMW item{};
  item.mask = TCIF_TEXT;
  item.pszText = &caption[0];
  SendMessageW(FWindow, TCM_SETITEMW, static_cast<WPARAM>(FActive), reinterpret_cast<LPARAM>(&item));
  SetWindowTextW(FPageWindows[FActive], caption.c_str());
}

const std::string& TWin32PageControl::PageName(int index) const {
  CheckIndex(index);
  return FPages[index].name;
}

void TWin32PageControl::SetActivePage(int index) {
  CheckIndex(index);
  FActive = index;
  if (FWindow == nullptr) return;
  // TCM_SETCURSEL sends neither TCN_SELCHANGING nor TCN_SELCHANGE.
  SendMessageW(FWindow, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
  ShowActivePage();
}

void TWin32PageControl::CheckIndex(int index) const {
  if (index < 0 || index >= PageCount()) {
    throw std::out_of_range("no page " + std::to_string(index) + " in " + FName);
  }
}

void TWin32PageControl::CreatePages(HFONT font, TWin32Form& form) {
  for (int index = 0; index < PageCount(); ++index) {
    std::wstring caption = Wide(FPages[index].caption);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = &caption[0];
    SendMessageW(FWindow, TCM_INSERTITEMW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  }
  RECT display;
  GetClientRect(FWindow, &display);
  SendMessageW(FWindow, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
  for (int index = 0; index < PageCount(); ++index) {
    // The page carries its tab's caption as its own text, where programs
    // that read windows find it.
    HWND page = CreateWindowExW(WS_EX_CONTROLPARENT, kPageClass, Wide(FPages[index].caption).c_str(),
                                WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | (index == FActive ? WS_VISIBLE : 0),
                                display.left, display.top, display.right - display.left,
                                display.bottom - display.top, FWindow, nullptr, Instance(), nullptr);
    if (page == nullptr) throw std::runtime_error("CreateWindowExW failed for a page of " + FName);
    SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&form));
    SendMessageW(page, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    FPageWindows.push_back(page);
  }
  SendMessageW(FWindow, TCM_SETCURSEL, static_cast<WPARAM>(FActive), 0);
  SetWindowSubclass(FWindow, TabsProc, kTabsSubclass, reinterpret_cast<DWORD_PTR>(this));
}

void TWin32PageControl::Detach() {
  RemoveWindowSubclass(FWindow, TabsProc, kTabsSubclass);
  FPageWindows.clear();
  TWin32Control::Detach();
}

// Seen under Wine: TCM_SETCURFOCUS selects the new tab even when
// TCN_SELCHANGING refused it. Once the tab control is done with the
// message, the tab of the page still shown is selected again.
LRESULT TWin32PageControl::TabMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  HWND window = FWindow;
  ++FTabDepth;
  LRESULT result = DefSubclassProc(window, message, wParam, lParam);
  --FTabDepth;
  if (FTabDepth == 0 && FRefused) {
    FRefused = false;
    if (FWindow != nullptr && SendMessageW(FWindow, TCM_GETCURSEL, 0, 0) != FActive) {
      SendMessageW(FWindow, TCM_SETCURSEL, static_cast<WPARAM>(FActive), 0);
    }
  }
  return result;
}

void TWin32PageControl::SelectAsClicked(int index) {
  CheckIndex(index);
  if (FWindow != nullptr) SendMessageW(FWindow, TCM_SETCURFOCUS, static_cast<WPARAM>(index), 0);
}

void TWin32PageControl::ShowActivePage() {
  if (FWindow == nullptr) return;
  bool hadFocus = false;
  for (std::size_t index = 0; index < FPageWindows.size(); ++index) {
    if (static_cast<int>(index) != FActive) hadFocus = hadFocus || HoldsFocus(FPageWindows[index]);
  }
  ShowWindow(FPageWindows[FActive], SW_SHOWNA);
  for (std::size_t index = 0; index < FPageWindows.size(); ++index) {
    if (static_cast<int>(index) != FActive) ShowWindow(FPageWindows[index], SW_HIDE);
  }
  if (hadFocus) {
    if (IsWindowVisible(FWindow) && IsWindowEnabled(FWindow)) {
      SetFocus(FWindow);
    } else {
      FForm.FocusLost(true);
    }
  }
}

LRESULT TWin32PageControl::Notify(const NMHDR& header) {
  if (header.code == static_cast<UINT>(TCN_SELCHANGING)) {
    bool allowed = true;
    std::function<bool()> asking = OnChanging;
    if (asking) {
      try {
        allowed = asking();
      } catch (const std::exception& error) {
        FForm.Application().ShowException(error.what());
        allowed = false;
      } catch (...) {
        FForm.Application().ShowException("");
        allowed = false;
      }
    }
    if (!allowed) FRefused = true;
    return allowed ? FALSE : TRUE;
  }
  if (header.code == static_cast<UINT>(TCN_SELCHANGE)) {
    LRESULT selected = SendMessageW(FWindow, TCM_GETCURSEL, 0, 0);
    if (selected >= 0 && selected < PageCount()) FActive = static_cast<int>(selected);
    ShowActivePage();
    FForm.RunUserHandler(OnChange);
  }
  return 0;
}

}  // namespace gui_win32
