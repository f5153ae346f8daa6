// Drives gui_demo from another process, as a user and as a test program
// would: finds its application window and form, reads every control's
// text through WM_GETTEXT and checks the Serbian letters arrive as the
// right UTF-16 code points, then clicks, types, sets texts and changes
// pages with messages and reads from the demo's status panel which
// handlers ran.
//
//   gui_driver check TITLE   all checks; leaves the demo open on its first
//                            page for a screenshot
//   gui_driver close TITLE   clicks "Osveži" and presses Esc while its
//                            handler processes messages: the form closes
//                            under the handler, which goes on; the demo
//                            must end with exit code 0
//
// Exit code 0 when every check passed.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <map>
#include <string>
#include <vector>

namespace {

const wchar_t kLetters[] = L"\u010D \u0107 \u0111 \u0161 \u017E \u010C \u0106 \u0110 \u0160 \u017D";

int gFailures = 0;

void Check(bool passed, const std::string& what) {
  std::printf("%s %s\n", passed ? "ok  " : "FAIL", what.c_str());
  std::fflush(stdout);
  if (!passed) ++gFailures;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], length, nullptr, nullptr);
  return bytes;
}

std::wstring Text(HWND window) {
  wchar_t buffer[1024] = {};
  LRESULT length = SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer));
  return std::wstring(buffer, static_cast<std::size_t>(length));
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

bool HasLetters(const std::wstring& text) { return text.find(kLetters) != std::wstring::npos; }

bool StartsWith(const std::wstring& text, const std::wstring& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

bool WaitFor(const std::function<bool()>& condition, int milliseconds = 10000) {
  for (int waited = 0; waited < milliseconds; waited += 20) {
    if (condition()) return true;
    Sleep(20);
  }
  return condition();
}

struct THandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using TOwnedHandle = std::unique_ptr<void, THandleCloser>;

struct TDemoWindows {
  HWND application = nullptr;
  HWND form = nullptr;
};

BOOL CALLBACK FindOwnedForm(HWND window, LPARAM parameter) {
  auto* found = reinterpret_cast<TDemoWindows*>(parameter);
  if (GetWindow(window, GW_OWNER) == found->application && ClassOf(window) != L"#32770") {
    found->form = window;
    return FALSE;
  }
  return TRUE;
}

TDemoWindows FindDemo(const std::string& title) {
  TDemoWindows demo;
  WaitFor(
      [&] {
        demo.application = FindWindowA("TApplication", title.c_str());
        if (demo.application == nullptr) return false;
        demo.form = nullptr;
        EnumWindows(FindOwnedForm, reinterpret_cast<LPARAM>(&demo));
        return demo.form != nullptr && IsWindowVisible(demo.form);
      },
      30000);
  return demo;
}

struct TChild {
  HWND window;
  std::wstring className;
  std::wstring text;
};

BOOL CALLBACK CollectChild(HWND window, LPARAM parameter) {
  reinterpret_cast<std::vector<TChild>*>(parameter)->push_back({window, ClassOf(window), Text(window)});
  return TRUE;
}

std::vector<TChild> Children(HWND form) {
  std::vector<TChild> children;
  EnumChildWindows(form, CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

HWND ChildStarting(const std::vector<TChild>& children, const std::wstring& prefix) {
  for (const TChild& child : children) {
    if (StartsWith(child.text, prefix)) return child.window;
  }
  return nullptr;
}

// The counters in the demo's status panel: "name=value" pairs.
std::map<std::string, int> Counters(HWND panel) {
  std::map<std::string, int> counters;
  std::string text = Utf8(Text(panel));
  std::size_t at = text.find('|');
  while (at != std::string::npos) {
    std::size_t equals = text.find('=', at);
    if (equals == std::string::npos) break;
    std::size_t start = text.rfind(' ', equals);
    std::string name = text.substr(start + 1, equals - start - 1);
    counters[name] = std::atoi(text.c_str() + equals + 1);
    at = text.find(' ', equals);
  }
  return counters;
}

// Waits until the panel shows a counter at the value.
bool CounterReaches(HWND panel, const std::string& name, int value) {
  return WaitFor([&] { return Counters(panel)[name] >= value; }, 5000) && Counters(panel)[name] == value;
}

struct TBoxSearch {
  DWORD process;
  HWND box;
};

BOOL CALLBACK FindBox(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<TBoxSearch*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == search->process && ClassOf(window) == L"#32770" && IsWindowVisible(window)) {
    search->box = window;
    return FALSE;
  }
  return TRUE;
}

HWND MessageBoxOf(HWND form) {
  TBoxSearch search{0, nullptr};
  GetWindowThreadProcessId(form, &search.process);
  EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
  return search.box;
}

// The window with the keyboard focus in the form's thread.
HWND FocusOf(HWND form) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  GetGUIThreadInfo(GetWindowThreadProcessId(form, nullptr), &info);
  return info.hwndFocus;
}

void TypeInto(HWND edit, const char* keys) {
  for (const char* key = keys; *key != '\0'; ++key) SendMessageW(edit, WM_CHAR, static_cast<WPARAM>(*key), 0);
}

int CheckDemo(const TDemoWindows& demo) {
  HWND form = demo.form;
  Check(true, "found the application window and the form it owns");

  // The frame.
  LONG_PTR style = GetWindowLongPtrW(form, GWL_STYLE);
  LONG_PTR exStyle = GetWindowLongPtrW(form, GWL_EXSTYLE);
  Check((exStyle & WS_EX_TOPMOST) != 0, "the form stays on top");
  Check((style & WS_SYSMENU) != 0 && (style & WS_CAPTION) == WS_CAPTION, "caption with system menu");
  Check((style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) == 0, "no minimise or maximise box, fixed size");
  RECT client;
  GetClientRect(form, &client);
  Check(client.right == 386 && client.bottom == 399,
        "client area 386 x 399 (is " + std::to_string(client.right) + " x " + std::to_string(client.bottom) + ")");
  RECT frame;
  GetWindowRect(form, &frame);
  int dx = (frame.left + frame.right) / 2 - GetSystemMetrics(SM_CXSCREEN) / 2;
  int dy = (frame.top + frame.bottom) / 2 - GetSystemMetrics(SM_CYSCREEN) / 2;
  Check(dx >= -1 && dx <= 1 && dy >= -1 && dy <= 1, "centred on the screen");
  Check(HasLetters(Text(form)), "form caption: " + Utf8(Text(form)));
  Check(HasLetters(Text(demo.application)) == false && Utf8(Text(demo.application)) == "gui_demo",
        "application title is the program name: " + Utf8(Text(demo.application)));

  // Every control's text.
  std::vector<TChild> children = Children(form);
  std::map<std::wstring, int> kinds;
  for (const TChild& child : children) {
    ++kinds[child.className];
    bool mustHaveLetters = child.className != WC_TABCONTROLW && !(child.className == L"Edit" && child.text.empty());
    if (mustHaveLetters) {
      Check(HasLetters(child.text), Utf8(child.className) + " text: " + Utf8(child.text));
    }
  }
  Check(kinds[WC_TABCONTROLW] == 1, "one tab control");
  Check(kinds[L"TVeltaTabSheet"] == 2, "two pages");
  Check(kinds[L"Button"] == 6, "five buttons and a check box");
  Check(kinds[L"Edit"] == 2, "two edits");
  Check(kinds[L"Static"] == 2, "two labels");
  Check(kinds[L"TVeltaPanel"] == 1, "a panel");
  Check(kinds[L"TVeltaBevel"] == 1, "a bevel");

  HWND tabs = FindWindowExW(form, nullptr, WC_TABCONTROLW, nullptr);
  HWND firstPage = ChildStarting(children, L"Prva");
  HWND secondPage = ChildStarting(children, L"Druga ");
  HWND panel = nullptr;
  HWND numberEdit = nullptr;
  for (const TChild& child : children) {
    if (child.className == L"TVeltaPanel") panel = child.window;
    if (child.className == L"Edit" && child.text.empty()) numberEdit = child.window;
  }
  HWND clickButton = ChildStarting(children, L"Dugme");
  HWND messageButton = ChildStarting(children, L"Poruka");
  HWND backButton = ChildStarting(children, L"Nazad");
  HWND checkBox = ChildStarting(children, L"Odbij");
  HWND textEdit = ChildStarting(children, L"Tekst");
  if (!tabs || !firstPage || !secondPage || !panel || !numberEdit || !clickButton || !messageButton || !backButton ||
      !checkBox || !textEdit) {
    Check(false, "found every control of the demo");
    return 1;
  }
  Check(GetParent(clickButton) == firstPage && GetParent(firstPage) == tabs, "controls sit on their page");
  Check((GetWindowLongPtrW(numberEdit, GWL_STYLE) & ES_NUMBER) != 0, "ES_NUMBER set through GetHandle");
  Check((GetWindowLongPtrW(checkBox, GWL_STYLE) & BS_TYPEMASK) == BS_AUTOCHECKBOX, "an automatic check box");
  Check(IsWindowVisible(firstPage) && !IsWindowVisible(secondPage), "the first page is shown");
  Check(Counters(panel)["a"] >= 1, "activated at the first showing");
  std::printf("     panel: %s\n", Utf8(Text(panel)).c_str());

  // A click whose handler sets the check box to the other state and back
  // to the same, and the edit to its own text and then another: one click
  // and one change follow, not more.
  SendMessageW(clickButton, BM_CLICK, 0, 0);
  std::map<std::string, int> counters = Counters(panel);
  Check(counters["k"] == 1, "BM_CLICK ran the button's handler");
  Check(counters["p"] == 1, "SetChecked to the other state ran the check box's OnClick once, the same state none");
  Check(counters["i"] == 1, "SetText with another text ran OnChange once, the same text none");
  Check(SendMessageW(checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED, "the check box is checked");
  Check(Text(textEdit) == L"klik 1", "the edit holds the text set: " + Utf8(Text(textEdit)));

  // The user's paths.
  SendMessageW(checkBox, BM_CLICK, 0, 0);
  Check(Counters(panel)["p"] == 2, "a click on the check box ran OnClick");
  Check(SendMessageW(checkBox, BM_GETCHECK, 0, 0) == BST_UNCHECKED, "the click cleared the check box");
  SendMessageW(textEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"abc"));
  Check(Counters(panel)["i"] == 2, "WM_SETTEXT ran OnChange once");
  SendMessageW(textEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"0"));
  Check(Counters(panel)["i"] == 4, "a handler setting another text re-entered once");
  Check(Text(textEdit) == L"nula", "the handler's text stands: " + Utf8(Text(textEdit)));
  int changes = Counters(panel)["i"];
  TypeInto(textEdit, "ab");
  Check(Counters(panel)["i"] == changes + 2, "typing ran OnChange per character");
  TypeInto(numberEdit, "12a3456789");
  Check(Text(numberEdit) == L"12345", "digits only, five at most: " + Utf8(Text(numberEdit)));

  // Pages: by the user (with the notifications), refused, and by the
  // program (without them).
  SendMessageW(tabs, TCM_SETCURFOCUS, 1, 0);
  Check(SendMessageW(tabs, TCM_GETCURSEL, 0, 0) == 1 && IsWindowVisible(secondPage) && !IsWindowVisible(firstPage),
        "the user's page change shows the second page");
  Check(Counters(panel)["s"] == 1, "and ran OnChange");
  SendMessageW(backButton, BM_CLICK, 0, 0);
  Check(SendMessageW(tabs, TCM_GETCURSEL, 0, 0) == 0 && IsWindowVisible(firstPage) && !IsWindowVisible(secondPage),
        "SetActivePage shows the first page again");
  Check(Counters(panel)["s"] == 1 && Counters(panel)["o"] == 0, "and ran no handler");
  SendMessageW(checkBox, BM_CLICK, 0, 0);
  SendMessageW(tabs, TCM_SETCURFOCUS, 1, 0);
  Check(Counters(panel)["o"] == 1, "OnChanging was asked");
  Check(SendMessageW(tabs, TCM_GETCURSEL, 0, 0) == 0 && IsWindowVisible(firstPage) && !IsWindowVisible(secondPage),
        "a refused change leaves the page (tab " + std::to_string(SendMessageW(tabs, TCM_GETCURSEL, 0, 0)) +
            ", focus " + std::to_string(SendMessageW(tabs, TCM_GETCURFOCUS, 0, 0)) + ", pages shown " +
            std::to_string(IsWindowVisible(firstPage)) + std::to_string(IsWindowVisible(secondPage)) + ")");
  Check(Counters(panel)["s"] == 1, "and runs no OnChange");
  SendMessageW(checkBox, BM_CLICK, 0, 0);

  // The form sees keys first: "q" is consumed before the edit gets it.
  int keys = Counters(panel)["t"];
  std::wstring before = Text(textEdit);
  PostMessageW(textEdit, WM_CHAR, 'q', 0);
  Check(CounterReaches(panel, "t", keys + 1), "the form's key handler saw the key");
  Check(Text(textEdit) == before, "and consumed it");

  // A modal information box; the form becomes active again after it.
  int activations = Counters(panel)["a"];
  PostMessageW(messageButton, BM_CLICK, 0, 0);
  HWND box = nullptr;
  Check(WaitFor([&] { return (box = MessageBoxOf(form)) != nullptr; }), "a message box opened");
  if (box != nullptr) {
    std::wstring text = Text(GetDlgItem(box, 0xFFFF));
    Check(HasLetters(text) && text.find(L"\nDrugi red") != std::wstring::npos,
          "the box's text with its line break: " + Utf8(text));
    Check(Text(box) == L"Informacija", "the box's title: " + Utf8(Text(box)));
    Check(GetWindow(box, GW_OWNER) == form && !IsWindowEnabled(form), "the box is modal to the form");
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    Check(WaitFor([&] { return MessageBoxOf(form) == nullptr; }), "the box closed");
    Check(CounterReaches(panel, "a", activations + 1), "the form's OnActivate ran after the box");
  }

  // Minimising the application hides the form; restoring and activating
  // the application window from here brings the form back to the front.
  ShowWindow(demo.application, SW_MINIMIZE);
  Check(WaitFor([&] { return IsIconic(demo.application) && !IsWindowVisible(form); }),
        "minimising the application hides the form");
  ShowWindow(demo.application, SW_SHOWDEFAULT);
  SetForegroundWindow(demo.application);
  Check(WaitFor([&] { return !IsIconic(demo.application) && IsWindowVisible(form); }),
        "SW_SHOWDEFAULT on the application shows the form again");
  Check(WaitFor([&] { return GetForegroundWindow() == form; }), "SetForegroundWindow brings the form forward");

  // The Tab key moves the focus in layout order, into the page shown.
  HWND okButton = ChildStarting(children, L"U redu");
  HWND refreshButton = ChildStarting(children, L"Osve\u017Ei");
  std::vector<HWND> order = {tabs,     clickButton, messageButton, textEdit,
                             checkBox, numberEdit,  refreshButton, okButton};
  for (int step = 0; step < 3; ++step) {
    HWND focus = nullptr;
    WaitFor([&] {
      focus = FocusOf(form);
      return std::find(order.begin(), order.end(), focus) != order.end();
    }, 5000);
    auto at = std::find(order.begin(), order.end(), focus);
    if (at == order.end()) {
      Check(false, "the focus is on a control of the form (is on " +
                       (focus == nullptr ? std::string("no window") : Utf8(ClassOf(focus) + L" " + Text(focus))) +
                       ")");
      break;
    }
    HWND expected = order[(static_cast<std::size_t>(at - order.begin()) + 1) % order.size()];
    // The first key comes as another program brings the dialog forward,
    // which passes the focus through the application window.
    if (step == 0) SetForegroundWindow(demo.application);
    PostMessageW(focus, WM_KEYDOWN, VK_TAB, 1);
    Check(WaitFor([&] { return FocusOf(form) == expected; }, 5000),
          "Tab moves the focus to " + Utf8(Text(expected)));
  }

  // For the screenshot: the edit with its letters again.
  std::wstring lettered = std::wstring(L"Tekst ") + kLetters;
  SendMessageW(textEdit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lettered.c_str()));
  std::printf("     panel: %s\n", Utf8(Text(panel)).c_str());
  return gFailures == 0 ? 0 : 1;
}

int CloseDemo(const TDemoWindows& demo) {
  DWORD processId = 0;
  GetWindowThreadProcessId(demo.form, &processId);
  TOwnedHandle owned(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  HANDLE process = owned.get();
  Check(process != nullptr, "opened the demo's process");
  HWND refresh = ChildStarting(Children(demo.form), L"Osve\u017Ei");
  Check(refresh != nullptr, "found the refresh button");
  if (process == nullptr || refresh == nullptr) return 1;
  // Both queued: the Esc is handled inside the click's handler, when it
  // processes the pending messages.
  PostMessageW(refresh, BM_CLICK, 0, 0);
  PostMessageW(refresh, WM_CHAR, VK_ESCAPE, 0);
  Check(WaitForSingleObject(process, 15000) == WAIT_OBJECT_0, "Esc closed the demo and it ended");
  DWORD code = 1;
  GetExitCodeProcess(process, &code);
  Check(code == 0, "exit code 0 (is " + std::to_string(code) + ")");
  return gFailures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::string(argv[1]) != "check" && std::string(argv[1]) != "close")) {
    std::fprintf(stderr, "usage: gui_driver check|close TITLE\n");
    return 2;
  }
  TDemoWindows demo = FindDemo(argv[2]);
  if (demo.application == nullptr || demo.form == nullptr) {
    Check(false, std::string("found the window of class TApplication titled ") + argv[2] + " and its form");
    return 1;
  }
  return std::string(argv[1]) == "check" ? CheckDemo(demo) : CloseDemo(demo);
}
