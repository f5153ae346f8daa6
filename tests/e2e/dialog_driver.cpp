// dialog-driver: works a running veltactl.exe from another process the way
// a user would, one action per run, for dialog_e2e.sh. It finds the
// dialog's windows, reads texts with WM_GETTEXT and compares them as UTF-16
// against the expected letters, clicks, types, changes pages and closes
// message boxes with window messages.
//
//   dialog-driver wait-window SECONDS     the form is shown with every control
//   dialog-driver status SECONDS [TEXT]   waits for the status check to end;
//                                         prints status, buttons and page
//   dialog-driver read WHAT               status | port | lines | caption |
//                                         title | page | BUTTON
//   dialog-driver click BUTTON            BM_CLICK, returns after the handler
//   dialog-driver post-click BUTTON       BM_CLICK posted, returns once the
//                                         dialog took it (busy or a box)
//   dialog-driver close-box [TEXT]        reads the message box, presses OK
//   dialog-driver tab INDEX               the user's page change
//   dialog-driver type port|lines TEXT    selects all, then WM_CHAR per char
//   dialog-driver minimize | is-iconic | is-foreground
//   dialog-driver syscommand app|form minimize|restore
//                                         WM_SYSCOMMAND as the taskbar button
//                                         or the keyboard sends it
//   dialog-driver key KEYS                one key press through the system's
//                                         input (SendInput), e.g. tab,
//                                         shift+tab, ctrl+tab, ctrl+pgdn,
//                                         enter, space, right; prints the focus
//   dialog-driver second-instance SECONDS starts the program again
//   dialog-driver esc SECONDS             Esc; waits for the process to end
//
// BUTTON: start pause continue stop refresh details send ok. TEXT may
// carry \uXXXX and \n escapes, so that scripts pass only ASCII (Wine turns
// other bytes of a command line into letters of the ANSI code page).
// Prints what it read; exit code 0 when the action and its checks passed.
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

const wchar_t kApplicationClass[] = L"TApplication";
const wchar_t kApplicationTitle[] = L"veltactl";
const wchar_t kFormCaption[] = L"Velta server, v1.0.001";
const wchar_t kBoxClass[] = L"#32770";
const wchar_t kPanelClass[] = L"TVeltaPanel";
const wchar_t kPageClass[] = L"TVeltaTabSheet";
const wchar_t kChecking[] = L"Provera statusa ...";
const wchar_t kCheckBoxCaption[] = L"Ograni\u010Di rast LOG datoteke na veli\u010Dinu od";
const wchar_t* const kPageCaptions[] = {L"Server", L"Konekcije", L"Zapisi"};
const wchar_t* const kLabels[] = {L"Port za povezivanje sa ovim serverom", L"Port", L"LOG Datoteka", L"redova"};
constexpr int kPageCount = 3;

struct TButtonName {
  const char* key;
  const wchar_t* caption;
};

// In the order the status line reports them; the six that follow the
// service's state come first.
const TButtonName kButtons[] = {
    {"start", L"Start"},
    {"pause", L"Pauza"},
    {"continue", L"Nastavi"},
    {"stop", L"Stop"},
    {"refresh", L"Osve\u017Ei"},
    {"send", L"Obavesti server (dok je u radu) o promeni konfiguracije"},
    {"details", L"Detalji..."},
    {"ok", L"OK"},
};
constexpr int kStateButtons = 6;

// The GUI thread sleeps 2 s in each status check and answers nothing
// meanwhile; a reply must come well within this.
constexpr DWORD kReplyWaitMs = 8000;
constexpr auto kPollEvery = std::chrono::milliseconds(20);

using TClock = std::chrono::steady_clock;

class TFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct THandleCloser {
  void operator()(HANDLE handle) const {
    if (handle != nullptr) CloseHandle(handle);
  }
};
using TOwnedHandle = std::unique_ptr<void, THandleCloser>;

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], length, nullptr, nullptr);
  return bytes;
}

// Line breaks shown as \n, so that a text is one line of output.
std::string Printable(const std::wstring& text) {
  std::string bytes = Utf8(text);
  std::string shown;
  for (char c : bytes) {
    if (c == '\n') {
      shown += "\\n";
    } else if (c == '\r') {
      shown += "\\r";
    } else {
      shown += c;
    }
  }
  return shown;
}

std::wstring Unescape(const std::string& text) {
  std::wstring wide;
  for (std::size_t at = 0; at < text.size(); ++at) {
    char c = text[at];
    if (c != '\\' || at + 1 >= text.size()) {
      wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
      continue;
    }
    char kind = text[++at];
    if (kind == 'n') {
      wide += L'\n';
    } else if (kind == 'u' && at + 4 < text.size()) {
      std::string digits = text.substr(at + 1, 4);
      char* end = nullptr;
      unsigned long code = std::strtoul(digits.c_str(), &end, 16);
      if (*end != '\0') throw TFailure("bad escape \\u" + digits + " in " + text);
      wide += static_cast<wchar_t>(code);
      at += 4;
    } else {
      wide += static_cast<wchar_t>(static_cast<unsigned char>(kind));
    }
  }
  return wide;
}

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

void Check(bool passed, const std::string& what) {
  if (!passed) throw TFailure(what);
  Say("ok   " + what);
}

bool WaitFor(const std::function<bool()>& condition, double seconds) {
  auto deadline = TClock::now() + std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  for (;;) {
    if (condition()) return true;
    if (TClock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollEvery);
  }
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const char* what) {
  DWORD_PTR result = 0;
  if (SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kReplyWaitMs, &result) == 0) {
    throw TFailure(std::string("no reply to ") + what + " within " + std::to_string(kReplyWaitMs) +
                   " ms (error " + std::to_string(GetLastError()) + ")");
  }
  return static_cast<LRESULT>(result);
}

std::wstring Text(HWND window) {
  wchar_t buffer[1024] = {};
  LRESULT length = Send(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buffer), "WM_GETTEXT");
  if (length < 0) length = 0;
  if (length > 1023) length = 1023;
  return std::wstring(buffer, static_cast<std::size_t>(length));
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

void ForEachTopLevel(const std::function<void(HWND)>& visit) {
  EnumWindows(
      [](HWND window, LPARAM parameter) -> BOOL {
        (*reinterpret_cast<const std::function<void(HWND)>*>(parameter))(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&visit));
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  EnumChildWindows(
      parent,
      [](HWND window, LPARAM parameter) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  return children;
}

DWORD ProcessOf(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return process;
}

// ---- the dialog's windows ------------------------------------------------

struct TDialog {
  HWND application = nullptr;
  HWND form = nullptr;
  DWORD process = 0;
  HWND tabs = nullptr;
  HWND panel = nullptr;
  HWND pages[kPageCount] = {};
  std::map<std::string, HWND> buttons;
  HWND checkBox = nullptr;
  HWND portEdit = nullptr;
  HWND linesEdit = nullptr;
  std::vector<std::wstring> labels;

  HWND Button(const std::string& key) const {
    auto found = buttons.find(key);
    if (found == buttons.end()) throw TFailure("no button named " + key);
    return found->second;
  }
};

HWND FindForm(HWND application) {
  HWND form = nullptr;
  ForEachTopLevel([&](HWND window) {
    if (form == nullptr && GetWindow(window, GW_OWNER) == application && ClassOf(window) != kBoxClass) {
      form = window;
    }
  });
  return form;
}

// A shown message box of the process.
HWND MessageBoxOf(DWORD process) {
  HWND box = nullptr;
  ForEachTopLevel([&](HWND window) {
    if (box == nullptr && ProcessOf(window) == process && ClassOf(window) == kBoxClass && IsWindowVisible(window)) {
      box = window;
    }
  });
  return box;
}

// Every control found by its class and its exact UTF-16 text: a letter
// that arrived wrong leaves the control unfound.
TDialog FindDialog(double seconds) {
  TDialog dialog;
  bool shown = WaitFor(
      [&] {
        dialog.application = FindWindowW(kApplicationClass, kApplicationTitle);
        if (dialog.application == nullptr) return false;
        dialog.form = FindForm(dialog.application);
        return dialog.form != nullptr && IsWindowVisible(dialog.form);
      },
      seconds);
  if (dialog.application == nullptr) throw TFailure("no window of class TApplication titled veltactl");
  if (dialog.form == nullptr) throw TFailure("the application window owns no form");
  if (!shown) {
    // Minimised: the form is hidden, which some actions expect.
    Say("note the form is not shown");
  }
  dialog.process = ProcessOf(dialog.form);
  for (HWND child : Children(dialog.form)) {
    std::wstring kind = ClassOf(child);
    if (kind == WC_TABCONTROLW) {
      dialog.tabs = child;
      continue;
    }
    if (kind == kPanelClass) {
      dialog.panel = child;
      continue;
    }
    std::wstring text = Text(child);
    if (kind == kPageClass) {
      for (int page = 0; page < kPageCount; ++page) {
        if (text == kPageCaptions[page]) dialog.pages[page] = child;
      }
    } else if (kind == L"Button") {
      if (text == kCheckBoxCaption) dialog.checkBox = child;
      for (const TButtonName& button : kButtons) {
        if (text == button.caption) dialog.buttons[button.key] = child;
      }
    } else if (kind == L"Static") {
      dialog.labels.push_back(text);
    } else if (kind == L"Edit") {
      HWND parent = GetParent(child);
      if (parent != nullptr && parent == dialog.pages[1]) dialog.portEdit = child;
      if (parent != nullptr && parent == dialog.pages[2]) dialog.linesEdit = child;
    }
  }
  // Edits met before their page: match them once every page is known.
  if (dialog.portEdit == nullptr || dialog.linesEdit == nullptr) {
    for (HWND child : Children(dialog.form)) {
      if (ClassOf(child) != L"Edit") continue;
      if (GetParent(child) == dialog.pages[1]) dialog.portEdit = child;
      if (GetParent(child) == dialog.pages[2]) dialog.linesEdit = child;
    }
  }
  std::string missing;
  if (dialog.tabs == nullptr) missing += " tab-control";
  if (dialog.panel == nullptr) missing += " status-panel";
  for (int page = 0; page < kPageCount; ++page) {
    if (dialog.pages[page] == nullptr) missing += " page:" + Utf8(kPageCaptions[page]);
  }
  for (const TButtonName& button : kButtons) {
    if (dialog.buttons.count(button.key) == 0) missing += " button:" + Utf8(button.caption);
  }
  if (dialog.checkBox == nullptr) missing += " check-box:" + Utf8(kCheckBoxCaption);
  if (dialog.portEdit == nullptr) missing += " port-edit";
  if (dialog.linesEdit == nullptr) missing += " lines-edit";
  for (const wchar_t* label : kLabels) {
    bool found = false;
    for (const std::wstring& text : dialog.labels) found = found || text == label;
    if (!found) missing += " label:" + Utf8(label);
  }
  if (!missing.empty()) throw TFailure("controls not found (by class and exact text):" + missing);
  return dialog;
}

// ---- the status check --------------------------------------------------

// During a status check every button is disabled, Osveži included; it is
// the last one enabled again, after the new status is shown. Reading the
// enabled state sends no message, so it never waits for the GUI thread.
bool Busy(const TDialog& dialog) { return !IsWindowEnabled(dialog.Button("refresh")); }

bool Idle(const TDialog& dialog) {
  return !Busy(dialog) && MessageBoxOf(dialog.process) == nullptr && Text(dialog.panel) != kChecking;
}

void WaitIdle(const TDialog& dialog, double seconds) {
  if (WaitFor([&] { return Idle(dialog); }, seconds)) return;
  HWND box = MessageBoxOf(dialog.process);
  if (box != nullptr) throw TFailure("a message box is open: " + Printable(Text(GetDlgItem(box, 0xFFFF))));
  throw TFailure("the status check did not end within " + std::to_string(seconds) +
                 " s; the status shows: " + Printable(Text(dialog.panel)));
}

// Once a posted click or a closed box has handed control back to the
// dialog, its status check follows.
void WaitBusyOrBox(const TDialog& dialog, double seconds, const std::string& after) {
  bool taken = WaitFor([&] { return Busy(dialog) || MessageBoxOf(dialog.process) != nullptr; }, seconds);
  Check(taken, "the dialog took the " + after + " (status check or message box)");
}

std::string ButtonStates(const TDialog& dialog) {
  std::string line;
  for (int index = 0; index < kStateButtons; ++index) {
    line += std::string(index == 0 ? "" : " ") + kButtons[index].key + "=" +
            (IsWindowEnabled(dialog.Button(kButtons[index].key)) ? "1" : "0");
  }
  line += std::string(" details=") + (IsWindowVisible(dialog.Button("details")) ? "shown" : "hidden");
  return line;
}

int ActivePage(const TDialog& dialog) {
  return static_cast<int>(Send(dialog.tabs, TCM_GETCURSEL, 0, 0, "TCM_GETCURSEL"));
}

std::string PageLine(const TDialog& dialog) {
  int active = ActivePage(dialog);
  std::string line = std::to_string(active);
  if (active >= 0 && active < kPageCount) line += " " + Utf8(kPageCaptions[active]);
  return line;
}

// ---- actions -------------------------------------------------------------

int WaitWindow(double seconds) {
  TDialog dialog = FindDialog(seconds);
  Check(IsWindowVisible(dialog.form) != FALSE, "the form is shown");
  Check(Text(dialog.form) == kFormCaption, "form caption: " + Printable(Text(dialog.form)));
  Check(Text(dialog.application) == kApplicationTitle,
        "application title (the program's name): " + Printable(Text(dialog.application)));
  Say("ok   every control found by its exact text, among them " + Utf8(kButtons[4].caption) + " and " +
      Utf8(kCheckBoxCaption));
  Say("page: " + PageLine(dialog));
  return 0;
}

int Status(double seconds, const std::string* expected) {
  TDialog dialog = FindDialog(seconds);
  WaitIdle(dialog, seconds);
  std::wstring status = Text(dialog.panel);
  Say("status: " + Printable(status));
  Say("buttons: " + ButtonStates(dialog));
  Say("page: " + PageLine(dialog));
  if (expected != nullptr && status != Unescape(*expected)) {
    throw TFailure("the status is " + Printable(status) + ", expected " + Printable(Unescape(*expected)));
  }
  return 0;
}

int Read(const std::string& what) {
  TDialog dialog = FindDialog(0);
  if (what == "status") {
    Say(Printable(Text(dialog.panel)));
  } else if (what == "port") {
    Say(Printable(Text(dialog.portEdit)));
  } else if (what == "lines") {
    Say(Printable(Text(dialog.linesEdit)));
  } else if (what == "caption") {
    Say(Printable(Text(dialog.form)));
  } else if (what == "title") {
    Say(Printable(Text(dialog.application)));
  } else if (what == "page") {
    Say(PageLine(dialog));
  } else {
    HWND button = dialog.Button(what);
    Say(Printable(Text(button)) + (IsWindowEnabled(button) ? " (enabled)" : " (disabled)"));
  }
  return 0;
}

void CheckClickable(const std::string& key, HWND button) {
  if (!IsWindowVisible(button)) throw TFailure("button " + key + " is not shown");
  if (!IsWindowEnabled(button)) throw TFailure("button " + key + " is disabled");
}

int Click(const std::string& key) {
  TDialog dialog = FindDialog(10);
  WaitIdle(dialog, 10);
  HWND button = dialog.Button(key);
  CheckClickable(key, button);
  Send(button, BM_CLICK, 0, 0, "BM_CLICK");
  Say("clicked " + Printable(Text(button)));
  return 0;
}

int PostClick(const std::string& key) {
  TDialog dialog = FindDialog(10);
  WaitIdle(dialog, 10);
  HWND button = dialog.Button(key);
  CheckClickable(key, button);
  if (!PostMessageW(button, BM_CLICK, 0, 0)) throw TFailure("PostMessage failed: " + std::to_string(GetLastError()));
  Say("posted a click on " + Printable(Text(button)));
  WaitBusyOrBox(dialog, 10, "click");
  return 0;
}

int CloseBox(const std::string* expected) {
  TDialog dialog = FindDialog(10);
  HWND box = nullptr;
  Check(WaitFor([&] { return (box = MessageBoxOf(dialog.process)) != nullptr; }, 10), "a message box is open");
  std::wstring text = Text(GetDlgItem(box, 0xFFFF));
  Say("box title: " + Printable(Text(box)));
  Say("box text: " + Printable(text));
  Check(GetWindow(box, GW_OWNER) == dialog.form && !IsWindowEnabled(dialog.form), "the box is modal to the form");
  if (expected != nullptr) {
    Check(text == Unescape(*expected), "the box's text is " + Printable(Unescape(*expected)));
  }
  HWND ok = GetDlgItem(box, IDOK);
  if (ok == nullptr) throw TFailure("the box has no OK button");
  PostMessageW(ok, BM_CLICK, 0, 0);
  Check(WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10), "OK closed the box");
  WaitBusyOrBox(dialog, 10, "closed box");
  return 0;
}

int Tab(int index) {
  TDialog dialog = FindDialog(10);
  WaitIdle(dialog, 10);
  if (index < 0 || index >= kPageCount) throw TFailure("no page " + std::to_string(index));
  // Synchronous: a change to the server page returns after its status check.
  Send(dialog.tabs, TCM_SETCURFOCUS, static_cast<WPARAM>(index), 0, "TCM_SETCURFOCUS");
  Check(ActivePage(dialog) == index, "page " + PageLine(dialog) + " is active");
  for (int page = 0; page < kPageCount; ++page) {
    bool visible = IsWindowVisible(dialog.pages[page]) != FALSE;
    Check(visible == (page == index), "page " + Utf8(kPageCaptions[page]) + (visible ? " shown" : " hidden"));
  }
  return 0;
}

int Type(const std::string& which, const std::string& keys) {
  TDialog dialog = FindDialog(10);
  WaitIdle(dialog, 10);
  HWND edit = which == "port" ? dialog.portEdit : which == "lines" ? dialog.linesEdit : nullptr;
  if (edit == nullptr) throw TFailure("no edit named " + which);
  Check(IsWindowVisible(edit) && IsWindowEnabled(edit), "the " + which + " edit is shown and enabled");
  Say("before: " + Printable(Text(edit)));
  // As a user does: everything selected, so the first key replaces it.
  Send(edit, EM_SETSEL, 0, -1, "EM_SETSEL");
  for (char key : keys) {
    Send(edit, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(key)), 1, "WM_CHAR");
  }
  Say("after: " + Printable(Text(edit)));
  return 0;
}

// WM_SYSCOMMAND as the application's taskbar button (to the application
// window) or the keyboard's shortcut (to the active form) sends it.
int SysCommand(const std::string& target, const std::string& what) {
  TDialog dialog = FindDialog(10);
  if (target != "app" && target != "form") throw TFailure("no target " + target);
  if (what != "minimize" && what != "restore") throw TFailure("no system command " + what);
  if (what == "minimize") WaitIdle(dialog, 10);
  HWND window = target == "app" ? dialog.application : dialog.form;
  PostMessageW(window, WM_SYSCOMMAND, what == "minimize" ? SC_MINIMIZE : SC_RESTORE, 0);
  if (what == "minimize") {
    Check(WaitFor([&] { return IsIconic(dialog.application) && !IsWindowVisible(dialog.form); }, 10),
          "the application is minimised (IsIconic) and its form hidden");
    return 0;
  }
  Check(WaitFor([&] { return !IsIconic(dialog.application) && IsWindowVisible(dialog.form); }, 10),
        "the application is restored and its form shown");
  Check(WaitFor([&] { return GetForegroundWindow() == dialog.form; }, 5), "the form is in the foreground");
  return 0;
}

std::string Describe(HWND window) {
  if (window == nullptr) return "nothing";
  return Utf8(ClassOf(window)) + " \"" + Printable(Text(window)) + "\"";
}

HWND Focus(const TDialog& dialog) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog.form, nullptr), &info)) return nullptr;
  return info.hwndFocus;
}

struct TKeyName {
  const char* name;
  WORD key;
};

constexpr TKeyName kKeys[] = {
    {"tab", VK_TAB},    {"enter", VK_RETURN}, {"space", VK_SPACE}, {"esc", VK_ESCAPE}, {"left", VK_LEFT},
    {"right", VK_RIGHT}, {"up", VK_UP},       {"down", VK_DOWN},   {"pgdn", VK_NEXT},  {"pgup", VK_PRIOR},
};

void AddKey(std::vector<INPUT>& inputs, WORD key, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  if (key == VK_LEFT || key == VK_RIGHT || key == VK_UP || key == VK_DOWN || key == VK_NEXT || key == VK_PRIOR) {
    input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
  }
  inputs.push_back(input);
}

// "ctrl+shift+tab": the modifiers down, the key down and up, the modifiers
// up, as one piece of input from the keyboard.
int Key(const std::string& keys) {
  TDialog dialog = FindDialog(10);
  WaitIdle(dialog, 10);
  std::vector<WORD> modifiers;
  WORD key = 0;
  std::size_t at = 0;
  while (at <= keys.size()) {
    std::size_t plus = keys.find('+', at);
    std::string part = keys.substr(at, plus == std::string::npos ? std::string::npos : plus - at);
    at = plus == std::string::npos ? keys.size() + 1 : plus + 1;
    if (part == "ctrl") {
      modifiers.push_back(VK_CONTROL);
    } else if (part == "shift") {
      modifiers.push_back(VK_SHIFT);
    } else {
      for (const TKeyName& known : kKeys) {
        if (part == known.name) key = known.key;
      }
      if (key == 0) throw TFailure("no key named " + part);
    }
  }
  SetForegroundWindow(dialog.form);
  Check(WaitFor([&] { return GetForegroundWindow() == dialog.form; }, 5), "the form is in the foreground");
  std::vector<INPUT> inputs;
  for (WORD modifier : modifiers) AddKey(inputs, modifier, false);
  AddKey(inputs, key, false);
  AddKey(inputs, key, true);
  for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) AddKey(inputs, *it, true);
  UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  Check(sent == inputs.size(), "the system took " + keys);
  // The keys go through the dialog's queue; give its loop the time to take
  // them, and to finish what they started.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  WaitIdle(dialog, 10);
  Say("focus: " + Describe(Focus(dialog)));
  Say("page: " + PageLine(dialog));
  LRESULT ui = Send(dialog.form, WM_QUERYUISTATE, 0, 0, "WM_QUERYUISTATE");
  Say(std::string("focus rectangles: ") + ((ui & UISF_HIDEFOCUS) != 0 ? "hidden" : "shown"));
  return 0;
}

int IsIconicCommand() {
  TDialog dialog = FindDialog(0);
  bool iconic = IsIconic(dialog.application) != FALSE;
  Say(iconic ? "iconic" : "not iconic");
  return iconic ? 0 : 1;
}

int IsForeground() {
  TDialog dialog = FindDialog(0);
  HWND foreground = GetForegroundWindow();
  bool front = foreground == dialog.form;
  Say(front ? "foreground" : "not foreground (the foreground is " + Printable(Text(foreground)) + ")");
  return front ? 0 : 1;
}

std::wstring ImagePath(DWORD process) {
  TOwnedHandle handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process));
  if (!handle) throw TFailure("cannot open the dialog's process: " + std::to_string(GetLastError()));
  wchar_t path[MAX_PATH * 2] = {};
  DWORD length = MAX_PATH * 2;
  if (!QueryFullProcessImageNameW(handle.get(), 0, path, &length)) {
    throw TFailure("QueryFullProcessImageNameW failed: " + std::to_string(GetLastError()));
  }
  return std::wstring(path, length);
}

// The program started again, as a user would while the first one is
// minimised: it must show nothing, end with 0 and bring the first forward.
int SecondInstance(double seconds) {
  TDialog dialog = FindDialog(0);
  Check(IsIconic(dialog.application) != FALSE, "the first instance is minimised");
  std::wstring path = ImagePath(dialog.process);
  Say("starting " + Utf8(path) + " again");
  std::wstring commandLine = L"\"" + path + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  auto begun = TClock::now();
  if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &started)) {
    throw TFailure("CreateProcessW failed: " + std::to_string(GetLastError()));
  }
  TOwnedHandle process(started.hProcess);
  TOwnedHandle thread(started.hThread);
  std::vector<std::string> shownWindows;
  bool ended = WaitFor(
      [&] {
        bool done = WaitForSingleObject(process.get(), 0) == WAIT_OBJECT_0;
        ForEachTopLevel([&](HWND window) {
          if (ProcessOf(window) != started.dwProcessId || !IsWindowVisible(window)) return;
          std::string seen = Utf8(ClassOf(window)) + " \"" + Printable(Text(window)) + "\"";
          for (const std::string& known : shownWindows) {
            if (known == seen) return;
          }
          shownWindows.push_back(seen);
        });
        return done;
      },
      seconds);
  double took = std::chrono::duration<double>(TClock::now() - begun).count();
  if (!ended) {
    TerminateProcess(process.get(), 1);
    throw TFailure("the second instance still ran after " + std::to_string(seconds) + " s");
  }
  DWORD code = 1;
  GetExitCodeProcess(process.get(), &code);
  char tookText[32];
  std::snprintf(tookText, sizeof(tookText), "%.1f", took);
  Check(code == 0, "the second instance ended with exit code " + std::to_string(code) + " after " + tookText + " s");
  std::string shown;
  for (const std::string& window : shownWindows) shown += " " + window;
  Check(shownWindows.empty(), "the second instance showed no window" + (shown.empty() ? "" : ":" + shown));
  Check(WaitFor([&] { return !IsIconic(dialog.application) && IsWindowVisible(dialog.form); }, 5),
        "the first instance is restored, its form shown");
  Check(WaitFor([&] { return GetForegroundWindow() == dialog.form; }, 5),
        "the first instance's form is in the foreground");
  Check(IsWindow(dialog.form) && ProcessOf(dialog.form) == dialog.process, "it is still the first process's form");
  return 0;
}

// The key as the keyboard delivers it: a key-down for the window with the
// focus, which the dialog's message loop translates into the character.
int Escape(double seconds) {
  TDialog dialog = FindDialog(10);
  WaitIdle(dialog, 10);
  TOwnedHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, dialog.process));
  if (!process) throw TFailure("cannot open the dialog's process: " + std::to_string(GetLastError()));
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  GetGUIThreadInfo(GetWindowThreadProcessId(dialog.form, nullptr), &info);
  HWND target = info.hwndFocus != nullptr && IsChild(dialog.form, info.hwndFocus) ? info.hwndFocus : dialog.form;
  Say("Esc to " + Utf8(ClassOf(target)) + " \"" + Printable(Text(target)) + "\"");
  UINT scan = MapVirtualKeyW(VK_ESCAPE, MAPVK_VK_TO_VSC);
  LPARAM down = 1 | static_cast<LPARAM>(scan) << 16;
  LPARAM up = down | static_cast<LPARAM>(1) << 30 | static_cast<LPARAM>(1) << 31;
  PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, down);
  PostMessageW(target, WM_KEYUP, VK_ESCAPE, up);
  DWORD waited = WaitForSingleObject(process.get(), static_cast<DWORD>(seconds * 1000));
  Check(waited == WAIT_OBJECT_0, "the dialog's process ended");
  DWORD code = 1;
  GetExitCodeProcess(process.get(), &code);
  Check(code == 0, "exit code " + std::to_string(code));
  return 0;
}

double Seconds(const char* text) {
  char* end = nullptr;
  double value = std::strtod(text, &end);
  if (end == text || *end != '\0' || value < 0 || value > 600) throw TFailure(std::string("bad seconds: ") + text);
  return value;
}

int Usage() {
  std::fprintf(stderr,
               "usage: dialog-driver wait-window SECONDS | status SECONDS [TEXT] | read WHAT | click BUTTON |"
               " post-click BUTTON | close-box [TEXT] | tab INDEX | type port|lines TEXT | minimize | is-iconic |"
               " is-foreground | syscommand app|form minimize|restore | key KEYS |"
               " second-instance SECONDS | esc SECONDS\n");
  return 2;
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) return Usage();
  const std::string& command = args[0];
  std::size_t extra = args.size() - 1;
  if (command == "wait-window" && extra == 1) return WaitWindow(Seconds(args[1].c_str()));
  if (command == "status" && (extra == 1 || extra == 2)) {
    return Status(Seconds(args[1].c_str()), extra == 2 ? &args[2] : nullptr);
  }
  if (command == "read" && extra == 1) return Read(args[1]);
  if (command == "click" && extra == 1) return Click(args[1]);
  if (command == "post-click" && extra == 1) return PostClick(args[1]);
  if (command == "close-box" && extra <= 1) return CloseBox(extra == 1 ? &args[1] : nullptr);
  if (command == "tab" && extra == 1) return Tab(std::atoi(args[1].c_str()));
  if (command == "type" && extra == 2) return Type(args[1], args[2]);
  if (command == "minimize" && extra == 0) return SysCommand("app", "minimize");
  if (command == "syscommand" && extra == 2) return SysCommand(args[1], args[2]);
  if (command == "key" && extra == 1) return Key(args[1]);
  if (command == "is-iconic" && extra == 0) return IsIconicCommand();
  if (command == "is-foreground" && extra == 0) return IsForeground();
  if (command == "second-instance" && extra == 1) return SecondInstance(Seconds(args[1].c_str()));
  if (command == "esc" && extra == 1) return Escape(Seconds(args[1].c_str()));
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return Run(args);
  } catch (const std::exception& error) {
    Say(std::string("FAIL ") + error.what());
    return 1;
  }
}
