// The form: its window, the controls built from the layout, the focus and
// the Tab key, and the messages its controls send it.
#include "dialog/gui_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace gui_win32 {

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* form = reinterpret_cast<TWin32Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return form->Message(window, message, wParam, lParam);
}

TWin32Form::TWin32Form(TWin32Application& application, const TFormLayout& layout, HWND owner, HFONT font)
    : FApplication(application), FDpi(application.Dpi()), FCaption(layout.caption) {
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST | WS_EX_CONTROLPARENT;
  RECT frame{0, 0, Scale(layout.clientWidth), Scale(layout.clientHeight)};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  HWND window = CreateWindowExW(exStyle, kFormClass, Wide(layout.caption).c_str(), style, left, top, width, height,
                                owner, nullptr, Instance(), this);
  if (window == nullptr) throw std::runtime_error("CreateWindowExW failed for the form");
  FWindow.reset(window);
  Build(layout, font);
  FitCaptions(layout);
}

TWin32Form::~TWin32Form() {
  if (FWindow) {
    SetWindowLongPtrW(FWindow.get(), GWLP_USERDATA, 0);
    DetachControls();
  }
}

std::string TWin32Form::Caption() const { return FWindow ? WindowText(FWindow.get()) : FCaption; }

void TWin32Form::SetCaption(const std::string& caption) {
  FCaption = caption;
  if (FWindow) SetWindowTextW(FWindow.get(), Wide(caption).c_str());
}

TControl* TWin32Form::FindControl(const std::string& name) {
  auto found = FByName.find(name);
  return found == FByName.end() ? nullptr : found->second;
}

HWND TWin32Form::CreateControlWindow(TWin32Control& control, const TControlLayout& layout, HFONT font) {
  const wchar_t* windowClass = nullptr;
  DWORD style = WS_CHILD | WS_VISIBLE;
  DWORD exStyle = 0;
  switch (layout.kind) {
    case TControlKind::PageControl:
      windowClass = WC_TABCONTROLW;
      style |= WS_TABSTOP | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
      exStyle = WS_EX_CONTROLPARENT;
      break;
    case TControlKind::Button:
      windowClass = L"BUTTON";
      style |= BS_PUSHBUTTON | WS_TABSTOP;
      break;
    case TControlKind::CheckBox:
      windowClass = L"BUTTON";
      style |= BS_AUTOCHECKBOX | WS_TABSTOP;
      break;
    case TControlKind::Edit:
      windowClass = L"EDIT";
      style |= ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP;
      exStyle = WS_EX_CLIENTEDGE;
      break;
    case TControlKind::Label:
      windowClass = L"STATIC";
      style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
      break;
    case TControlKind::Panel:
      windowClass = kPanelClass;
      break;
    case TControlKind::Bevel:
      windowClass = kBevelClass;
      break;
  }
  HWND parent = FWindow.get();
  if (control.PageControl != nullptr) parent = control.PageControl->PageWindow(control.Page);
  // The page control's caption is its pages'; the window has none.
  std::wstring text = layout.kind == TControlKind::PageControl ? std::wstring() : Wide(layout.caption);
  const TPlace& place = layout.place;
  HMENU id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(100 + FControls.size()));
  HWND window = CreateWindowExW(exStyle, windowClass, text.c_str(), style, Scale(place.left), Scale(place.top),
                                Scale(place.width), Scale(place.height), parent, id, Instance(), nullptr);
  if (window == nullptr) throw std::runtime_error("CreateWindowExW failed for " + layout.name);
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  if (layout.kind == TControlKind::Edit && layout.maxLength > 0) {
    SendMessageW(window, EM_LIMITTEXT, static_cast<WPARAM>(layout.maxLength), 0);
  }
  return window;
}

void TWin32Form::Build(const TFormLayout& layout, HFONT font) {
  for (const TControlLayout& entry : layout.controls) {
    std::unique_ptr<TWin32Control> control;
    TWin32PageControl* pageControl = nullptr;
    switch (entry.kind) {
      case TControlKind::PageControl: {
        auto pages = std::make_unique<TWin32PageControl>(*this, entry);
        pageControl = pages.get();
        control = std::move(pages);
        break;
      }
      case TControlKind::Button:
        control = std::make_unique<TWin32Button>(*this, entry);
        break;
      case TControlKind::Panel:
        control = std::make_unique<TWin32Panel>(*this, entry);
        break;
      case TControlKind::Label:
        control = std::make_unique<TWin32Label>(*this, entry);
        break;
      case TControlKind::Bevel:
        control = std::make_unique<TWin32Bevel>(*this, entry);
        break;
      case TControlKind::Edit:
        control = std::make_unique<TWin32Edit>(*this, entry);
        break;
      case TControlKind::CheckBox:
        control = std::make_unique<TWin32CheckBox>(*this, entry);
        break;
    }
    if (!entry.page.empty()) {
      const auto& page = FPages.at(entry.page);
      control->PageControl = page.first;
      control->Page = page.second;
    }
    HWND window = CreateControlWindow(*control, entry, font);
    control->Attach(window);
    if (auto* label = dynamic_cast<TWin32Label*>(control.get())) label->FitToText();
    if (pageControl != nullptr) {
      pageControl->CreatePages(font, *this);
      for (int index = 0; index < pageControl->PageCount(); ++index) {
        FPages[pageControl->PageName(index)] = {pageControl, index};
      }
    }
    FByName[entry.name] = control.get();
    FByWindow[window] = control.get();
    FControls.push_back(std::move(control));
  }
}

void TWin32Form::Show() {
  if (!FWindow) return;
  ShowWindow(FWindow.get(), SW_SHOW);
  UpdateWindow(FWindow.get());
  SetForegroundWindow(FWindow.get());
}

void TWin32Form::DetachControls() {
  for (const auto& control : FControls) {
    if (control->Window() != nullptr) control->Detach();
  }
  FByWindow.clear();
}

void TWin32Form::Finish() {
  FClosing = false;
  FClosed = true;
  // Destroying the window detaches the controls (WM_DESTROY).
  FWindow.reset();
  FApplication.FormClosed(*this);
}

void TWin32Form::Close() {
  if (FClosing || FClosed) return;
  FClosing = true;
  std::function<void()> handler = OnClose;
  try {
    if (handler) handler();
  } catch (...) {
    Finish();
    throw;
  }
  Finish();
}

void TWin32Form::RunUserHandler(const std::function<void()>& handler) {
  try {
    RunHandler(handler);
  } catch (const std::exception& error) {
    FApplication.ShowException(error.what());
  } catch (...) {
    FApplication.ShowException("");
  }
}

bool TWin32Form::CanFocus(HWND window) const {
  if (window == nullptr || !IsWindowVisible(window)) return false;
  for (HWND step = window; step != nullptr && step != FWindow.get(); step = GetParent(step)) {
    if (!IsWindowEnabled(step)) return false;
  }
  return true;
}

void TWin32Form::AddTabStops(const TWin32PageControl* pageControl, int page, std::vector<HWND>& stops) const {
  for (const auto& control : FControls) {
    if (control->PageControl != pageControl || (pageControl != nullptr && control->Page != page)) continue;
    if (control->TabStop() && CanFocus(control->Window())) stops.push_back(control->Window());
    if (const auto* pages = dynamic_cast<const TWin32PageControl*>(control.get())) {
      AddTabStops(pages, pages->ActivePage(), stops);
    }
  }
}

// The controls that take the focus, in the order the Tab key visits them:
// the form's own in layout order, each page control followed by what sits
// on its page shown.
std::vector<HWND> TWin32Form::TabStops() const {
  std::vector<HWND> stops;
  AddTabStops(nullptr, 0, stops);
  return stops;
}

void TWin32Form::FocusFirst() {
  std::vector<HWND> stops = TabStops();
  SetFocus(stops.empty() ? FWindow.get() : stops.front());
}

void TWin32Form::FocusLost(bool hadFocus) {
  // With the focus nowhere, keys would reach no window of the form, and
  // the key handler would miss Esc.
  if (hadFocus && FWindow) FocusFirst();
}

LRESULT TWin32Form::Message(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  try {
    switch (message) {
      case WM_COMMAND: {
        auto control = FByWindow.find(reinterpret_cast<HWND>(lParam));
        if (lParam != 0 && control != FByWindow.end()) {
          // Handlers run from here are the user's (or another program's
          // messages): an exception is shown.
          TWin32Control* target = control->second;
          RunUserHandler([target, wParam] { target->Command(HIWORD(wParam)); });
          return 0;
        }
        break;
      }
      case WM_NOTIFY: {
        const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
        auto control = FByWindow.find(header->hwndFrom);
        if (control != FByWindow.end()) return control->second->Notify(*header);
        break;
      }
      case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
          HWND focus = GetFocus();
          if (focus != nullptr && IsChild(window, focus)) FLastFocus = focus;
          return 0;
        }
        // Activated while minimised: it is not shown.
        if (HIWORD(wParam) != 0) return 0;
        if (FLastFocus != nullptr && IsChild(window, FLastFocus) && CanFocus(FLastFocus)) {
          SetFocus(FLastFocus);
        } else {
          FocusFirst();
        }
        RunUserHandler(OnActivate);
        return 0;
      case WM_SYSCOMMAND:
        // A form is minimised and restored only with its application, which
        // keeps the taskbar button: a form minimised alone could not be
        // brought back from there.
        if ((wParam & 0xFFF0) == SC_MINIMIZE) {
          FApplication.Minimize();
          return 0;
        }
        if ((wParam & 0xFFF0) == SC_RESTORE) {
          FApplication.Restore();
          return 0;
        }
        break;
      case WM_CLOSE:
        RunUserHandler([this] { Close(); });
        return 0;
      case WM_DESTROY:
        DetachControls();
        if (!FClosed) {
          FClosed = true;
          FApplication.FormClosed(*this);
        }
        break;
      case WM_NCDESTROY:
        // Destroyed by its owner's going rather than by Close.
        FWindow.release();
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
      default:
        break;
    }
  } catch (const std::exception& error) {
    FApplication.ShowException(error.what());
    return 0;
  } catch (...) {
    FApplication.ShowException("");
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace gui_win32
