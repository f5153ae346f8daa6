// The application: its taskbar window, the forms it owns, the message loop
// and the message boxes.
#include "dialog/gui_win32.h"

#include <commctrl.h>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace gui_win32 {

namespace {

// The toolkit's title for an information box.
const wchar_t kInformationTitle[] = L"Informacija";

// Checks the whole layout before any window exists.
void CheckLayout(const TFormLayout& layout) {
  std::map<std::string, int> names;
  std::map<std::string, int> pages;
  for (const TControlLayout& entry : layout.controls) {
    if (!entry.page.empty() && pages.count(entry.page) == 0) {
      throw std::invalid_argument("no page " + entry.page + " for " + entry.name);
    }
    if (names.count(entry.name) != 0) throw std::invalid_argument("two controls named " + entry.name);
    names[entry.name] = 1;
    if (entry.kind == TControlKind::PageControl) {
      if (entry.pages.empty()) throw std::invalid_argument("page control without pages: " + entry.name);
      for (const TPageLayout& page : entry.pages) {
        if (pages.count(page.name) != 0) throw std::invalid_argument("two pages named " + page.name);
        pages[page.name] = 1;
      }
    }
  }
}

}  // namespace

LRESULT CALLBACK ApplicationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* application = reinterpret_cast<TWin32Application*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (application == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return application->Message(window, message, wParam, lParam);
}

TWin32Application::TWin32Application() : FTitle(ProgramName()) {
  HICON icon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  RegisterWindowClass(kApplicationClass, ApplicationProc, 0, icon);
  // A zero-size window in the middle of the screen, as the application's
  // presence on the taskbar; the forms it owns are what the user sees.
  HWND window = CreateWindowExW(0, kApplicationClass, Wide(FTitle).c_str(),
                                WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                                GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0,
                                nullptr, nullptr, Instance(), this);
  if (window == nullptr) throw std::runtime_error("CreateWindowExW failed for the application window");
  FWindow.reset(window);
}

TWin32Application::~TWin32Application() {
  FForms.clear();
  if (FWindow) SetWindowLongPtrW(FWindow.get(), GWLP_USERDATA, 0);
}

void TWin32Application::Initialize() {
  if (FInitialized) return;
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = sizeof(controls);
  controls.dwICC = ICC_TAB_CLASSES;
  InitCommonControlsEx(&controls);
  HICON icon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  RegisterWindowClass(kFormClass, FormProc, 0, icon);
  RegisterWindowClass(kPageClass, PageProc, 0, nullptr);
  RegisterWindowClass(kPanelClass, PanelProc, sizeof(LONG_PTR), nullptr);
  RegisterWindowClass(kBevelClass, BevelProc, sizeof(LONG_PTR), nullptr);

  FDpi = ScreenDpi();
  FOwnedFont = CreateDialogFont();
  FFont = FOwnedFont ? FOwnedFont.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  FInitialized = true;
}

void TWin32Application::SetTitle(const std::string& title) {
  FTitle = title;
  if (FWindow) SetWindowTextW(FWindow.get(), Wide(title).c_str());
}

TForm& TWin32Application::CreateForm(const TFormLayout& layout) {
  Initialize();
  CheckLayout(layout);
  FForms.push_back(std::make_unique<TWin32Form>(*this, layout, FWindow.get(), FFont));
  return *FForms.back();
}

TWin32Form* TWin32Application::FormOf(HWND window) {
  if (window == nullptr) return nullptr;
  HWND root = GetAncestor(window, GA_ROOT);
  for (const auto& form : FForms) {
    if (form->Window() != nullptr && form->Window() == root) return form.get();
  }
  return nullptr;
}

void TWin32Application::HandleMessage(MSG& message) {
  TWin32Form* form = FormOf(message.hwnd);
  if (form != nullptr && form->Preview(message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

void TWin32Application::Run() {
  Initialize();
  if (FForms.empty()) return;
  if (!FTerminated) {
    ShowWindow(FWindow.get(), SW_SHOWNOACTIVATE);
    FForms.front()->Show();
  }
  MSG message;
  while (!FTerminated) {
    BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      FTerminated = true;
      break;
    }
    HandleMessage(message);
  }
  ShowWindow(FWindow.get(), SW_HIDE);
}

void TWin32Application::ProcessMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      FTerminated = true;
      break;
    }
    HandleMessage(message);
  }
}

void TWin32Application::FormClosed(TWin32Form& form) {
  if (!FForms.empty() && FForms.front().get() == &form) FTerminated = true;
}

HWND TWin32Application::BoxOwner() {
  HWND active = GetActiveWindow();
  if (active != nullptr && FormOf(active) != nullptr) return active;
  for (const auto& form : FForms) {
    if (form->Window() != nullptr && IsWindowVisible(form->Window())) return form->Window();
  }
  return FWindow.get();
}

void TWin32Application::ShowException(const std::string& message) {
  MessageBoxW(BoxOwner(), Wide(message).c_str(), Wide(FTitle).c_str(), MB_OK | MB_ICONERROR);
}

void TWin32Application::MessageDlg(const std::string& text) {
  MessageBoxW(BoxOwner(), Wide(text).c_str(), kInformationTitle, MB_OK | MB_ICONINFORMATION);
}

void TWin32Application::BringFormForward() {
  if (FForms.empty() || FForms.front()->Window() == nullptr || FMinimized) return;
  HWND target = FForms.front()->Window();
  if (!IsWindowVisible(target)) return;
  // Behind a modal box the box is what comes forward.
  if (!IsWindowEnabled(target)) target = GetLastActivePopup(target);
  SetForegroundWindow(target);
}

void TWin32Application::HideForms() {
  FMinimized = true;
  for (const auto& form : FForms) {
    if (form->Window() != nullptr && IsWindowVisible(form->Window())) {
      FHiddenForms.push_back(form->Window());
      ShowWindow(form->Window(), SW_HIDE);
    }
  }
}

void TWin32Application::ShowForms() {
  FMinimized = false;
  std::vector<HWND> hidden;
  hidden.swap(FHiddenForms);
  for (HWND form : hidden) {
    if (IsWindow(form)) ShowWindow(form, SW_SHOWNA);
  }
  PostMessageW(FWindow.get(), kBringFormForward, 0, 0);
}

void TWin32Application::Minimize() {
  if (FWindow) ShowWindow(FWindow.get(), SW_MINIMIZE);
}

void TWin32Application::Restore() {
  if (FWindow) ShowWindow(FWindow.get(), SW_RESTORE);
}

LRESULT TWin32Application::Message(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SYSCOMMAND:
      // What the taskbar button sends, and what a form passes on.
      if ((wParam & 0xFFF0) == SC_MINIMIZE) {
        Minimize();
        return 0;
      }
      if ((wParam & 0xFFF0) == SC_RESTORE) {
        Restore();
        return 0;
      }
      break;
    case WM_WINDOWPOSCHANGED:
      // Every way in ends here: the system command, ShowWindow from another
      // process (a second instance), the taskbar. Restoring a window of no
      // size may bring no WM_SIZE at all, so the state itself is looked at.
      if (IsIconic(window) && !FMinimized) {
        HideForms();
      } else if (!IsIconic(window) && FMinimized) {
        ShowForms();
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) {
        PostMessageW(window, kBringFormForward, 0, 0);
        return 0;
      }
      break;
    case kBringFormForward:
      BringFormForward();
      return 0;
    case WM_CLOSE:
      // Closing the application closes its main form, which ends it.
      if (!FForms.empty()) {
        TWin32Form* main = FForms.front().get();
        main->RunUserHandler([main] { main->Close(); });
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace gui_win32

TApplication& TApplication::Platform() {
  static gui_win32::TWin32Application application;
  return application;
}
