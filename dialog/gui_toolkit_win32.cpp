// The GUI toolkit on plain Win32 windows and comctl32. Texts come in as
// Windows-1250 bytes and go to the wide calls, so the letters are right
// whatever the system's ANSI code page is.
//
// The window tree: the application window (class "TApplication", the
// taskbar's button, zero size) owns every form; a form's controls are its
// children, or children of a page window, which is a child of the tab
// control, so that a page hides everything on it at once.
#include "dialog/gui_toolkit.h"

#include "common/text_1250.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <exception>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

constexpr UINT kCodePage = 1250;
const wchar_t kApplicationClass[] = L"TApplication";
const wchar_t kFormClass[] = L"TVeltaForm";
const wchar_t kPageClass[] = L"TVeltaTabSheet";
const wchar_t kPanelClass[] = L"TVeltaPanel";
const wchar_t kBevelClass[] = L"TVeltaBevel";
// The toolkit's title for an information box.
const wchar_t kInformationTitle[] = L"Information";
// Posted to the application window when it became active: the active form
// takes over, as activation from another process lands on the application
// window.
constexpr UINT kBringFormForward = WM_APP + 1;

std::wstring Wide(const std::string& text) { return WideFrom1250(text); }

std::string Narrow(const std::wstring& text) { return NarrowTo1250(text); }

std::wstring WideWindowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  int copied = GetWindowTextW(window, &text[0], length + 1);
  text.resize(static_cast<std::size_t>(copied < 0 ? 0 : copied));
  return text;
}

std::string WindowText(HWND window) { return Narrow(WideWindowText(window)); }

struct TWindowDestroyer {
  void operator()(HWND window) const { DestroyWindow(window); }
};
using TOwnedWindow = std::unique_ptr<std::remove_pointer<HWND>::type, TWindowDestroyer>;

struct TFontDeleter {
  void operator()(HFONT font) const { DeleteObject(font); }
};
using TOwnedFont = std::unique_ptr<std::remove_pointer<HFONT>::type, TFontDeleter>;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

// The focus is on the window or inside it.
bool HoldsFocus(HWND window) {
  HWND focus = GetFocus();
  return window != nullptr && focus != nullptr && (focus == window || IsChild(window, focus));
}

// A handler is copied before it runs: it may replace itself while running.
void RunHandler(const std::function<void()>& handler) {
  std::function<void()> copy = handler;
  if (copy) copy();
}

class TWin32Application;
class TWin32Form;
class TWin32PageControl;

// What every control does alike. While its window exists the window holds
// the text and the flags; once the form has closed, the object keeps the
// last ones.
class TWin32Control : public virtual TControl {
 public:
  TWin32Control(TWin32Form& form, const TControlLayout& layout)
      : FForm(form), FName(layout.name), FText(layout.caption) {}

  const std::string& Name() const override { return FName; }
  std::string GetText() const override { return FWindow != nullptr ? WindowText(FWindow) : FText; }
  void SetText(const std::string& text) override {
    FText = text;
    if (FWindow != nullptr) SetWindowTextW(FWindow, Wide(text).c_str());
  }
  bool Enabled() const override { return FWindow != nullptr ? IsWindowEnabled(FWindow) != FALSE : FEnabled; }
  void SetEnabled(bool enabled) override;
  bool Visible() const override {
    return FWindow != nullptr ? (GetWindowLongPtrW(FWindow, GWL_STYLE) & WS_VISIBLE) != 0 : FVisible;
  }
  void SetVisible(bool visible) override;

  HWND Window() const { return FWindow; }
  void Attach(HWND window) { FWindow = window; }
  // The form's window is going: keep what the window held.
  virtual void Detach() {
    FText = WindowText(FWindow);
    FEnabled = IsWindowEnabled(FWindow) != FALSE;
    FVisible = (GetWindowLongPtrW(FWindow, GWL_STYLE) & WS_VISIBLE) != 0;
    FWindow = nullptr;
  }
  // A notification of WM_COMMAND or WM_NOTIFY from the control's window.
  virtual void Command(WORD) {}
  virtual LRESULT Notify(const NMHDR&) { return 0; }
  virtual bool TabStop() const { return false; }

  // Set when the control sits on a page.
  TWin32PageControl* PageControl = nullptr;
  int Page = -1;

 protected:
  TWin32Form& FForm;
  std::string FName;
  std::string FText;
  bool FEnabled = true;
  bool FVisible = true;
  HWND FWindow = nullptr;
};

class TWin32Button final : public TButton, public TWin32Control {
 public:
  using TWin32Control::TWin32Control;
  void Command(WORD code) override {
    if (code == BN_CLICKED) RunHandler(OnClick);
  }
  bool TabStop() const override { return true; }
};

class TWin32Panel final : public TPanel, public TWin32Control {
 public:
  using TWin32Control::TWin32Control;
};

class TWin32Label final : public TLabel, public TWin32Control {
 public:
  using TWin32Control::TWin32Control;

  void SetText(const std::string& text) override {
    TWin32Control::SetText(text);
    FitToText();
  }
  // As wide as its text: the layout's widths fit the text in the font it
  // was drawn with, and a wider substitute would wrap or cut it.
  void FitToText() {
    if (FWindow == nullptr) return;
    std::wstring text = WideWindowText(FWindow);
    HDC dc = GetDC(FWindow);
    HGDIOBJ oldFont = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(FWindow, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, oldFont);
    ReleaseDC(FWindow, dc);
    RECT frame;
    GetWindowRect(FWindow, &frame);
    SetWindowPos(FWindow, nullptr, 0, 0, size.cx, frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
};

class TWin32Bevel final : public TBevel, public TWin32Control {
 public:
  using TWin32Control::TWin32Control;
};

class TWin32Edit final : public TEdit, public TWin32Control {
 public:
  using TWin32Control::TWin32Control;

  void SetText(const std::string& text) override {
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
  std::intptr_t GetHandle() const override { return reinterpret_cast<std::intptr_t>(FWindow); }
  void Command(WORD code) override {
    if (code == EN_CHANGE && !FAssigning) RunHandler(OnChange);
  }
  bool TabStop() const override { return true; }

 private:
  bool FAssigning = false;
};

class TWin32CheckBox final : public TCheckBox, public TWin32Control {
 public:
  using TWin32Control::TWin32Control;

  bool Checked() const override {
    return FWindow != nullptr ? SendMessageW(FWindow, BM_GETCHECK, 0, 0) == BST_CHECKED : FChecked;
  }
  void SetChecked(bool checked) override {
    if (checked == Checked()) return;
    FChecked = checked;
    // BM_SETCHECK notifies nobody; the click handler runs as for a click.
    if (FWindow != nullptr) SendMessageW(FWindow, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    RunHandler(OnClick);
  }
  void Detach() override {
    FChecked = Checked();
    TWin32Control::Detach();
  }
  void Command(WORD code) override {
    if (code == BN_CLICKED) RunHandler(OnClick);
  }
  bool TabStop() const override { return true; }

 private:
  bool FChecked = false;
};

class TWin32PageControl final : public TPageControl, public TWin32Control {
 public:
  TWin32PageControl(TWin32Form& form, const TControlLayout& layout)
      : TWin32Control(form, layout), FPages(layout.pages) {}

  std::string GetText() const override { return FPages[FActive].caption; }
  void SetText(const std::string& text) override {
    FPages[FActive].caption = text;
    if (FWindow == nullptr) return;
    std::wstring caption = Wide(text);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = &caption[0];
    SendMessageW(FWindow, TCM_SETITEMW, static_cast<WPARAM>(FActive), reinterpret_cast<LPARAM>(&item));
    SetWindowTextW(FPageWindows[FActive], caption.c_str());
  }
  int PageCount() const override { return static_cast<int>(FPages.size()); }
  const std::string& PageName(int index) const override {
    CheckIndex(index);
    return FPages[index].name;
  }
  int ActivePage() const override { return FActive; }
  void SetActivePage(int index) override {
    CheckIndex(index);
    FActive = index;
    if (FWindow == nullptr) return;
    // TCM_SETCURSEL sends neither TCN_SELCHANGING nor TCN_SELCHANGE.
    SendMessageW(FWindow, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
    ShowActivePage();
  }
  void Detach() override;
  LRESULT Notify(const NMHDR& header) override;
  bool TabStop() const override { return true; }

  // Adds the tabs and their page windows; the tab control exists.
  void CreatePages(HFONT font, TWin32Form& form);
  // Every message of the tab control passes here.
  LRESULT TabMessage(UINT message, WPARAM wParam, LPARAM lParam);
  HWND PageWindow(int index) const { return FPageWindows[index]; }
  void ShowActivePage();

 private:
  void CheckIndex(int index) const {
    if (index < 0 || index >= PageCount()) {
      throw std::out_of_range("no page " + std::to_string(index) + " in " + FName);
    }
  }

  std::vector<TPageLayout> FPages;
  std::vector<HWND> FPageWindows;
  int FActive = 0;
  // Messages of the tab control being handled, nested.
  int FTabDepth = 0;
  // OnChanging refused the change the tab control is making.
  bool FRefused = false;
};

class TWin32Form final : public TForm {
 public:
  TWin32Form(TWin32Application& application, const TFormLayout& layout, HWND owner, HFONT font);
  ~TWin32Form() override;

  std::string Caption() const override { return FWindow ? WindowText(FWindow.get()) : FCaption; }
  void SetCaption(const std::string& caption) override {
    FCaption = caption;
    if (FWindow) SetWindowTextW(FWindow.get(), Wide(caption).c_str());
  }
  void Close() override;
  bool Closed() const override { return FClosed; }
  TControl* FindControl(const std::string& name) override {
    auto found = FByName.find(name);
    return found == FByName.end() ? nullptr : found->second;
  }

  HWND Window() const { return FWindow.get(); }
  void Show();
  LRESULT Message(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Lets the form see a message of the loop before its window does: the
  // key handler and the Tab key. True when the message is used up.
  bool Preview(MSG& message);
  // Moves the focus off a window that no longer takes it, when it held it.
  void FocusLost(bool hadFocus);
  // Runs a handler of the user's input: an exception is shown.
  void RunUserHandler(const std::function<void()>& handler);
  TWin32Application& Application() { return FApplication; }

 private:
  void Build(const TFormLayout& layout, HFONT font);
  HWND CreateControlWindow(TWin32Control& control, const TControlLayout& layout, HFONT font);
  void AddTabStops(const TWin32PageControl* pageControl, int page, std::vector<HWND>& stops) const;
  std::vector<HWND> TabStops() const;
  bool CanFocus(HWND window) const;
  void FocusFirst();
  void MoveFocus(bool backwards);
  void DetachControls();
  void Finish();

  TWin32Application& FApplication;
  std::string FCaption;
  TOwnedWindow FWindow;
  std::vector<std::unique_ptr<TWin32Control>> FControls;
  std::map<std::string, TWin32Control*> FByName;
  std::map<HWND, TWin32Control*> FByWindow;
  std::map<std::string, std::pair<TWin32PageControl*, int>> FPages;
  // The control that had the focus when the form was last deactivated.
  HWND FLastFocus = nullptr;
  bool FClosing = false;
  bool FClosed = false;
};

class TWin32Application final : public TApplication {
 public:
  TWin32Application();
  ~TWin32Application() override;

  void Initialize() override;
  std::string Title() const override { return FTitle; }
  void SetTitle(const std::string& title) override {
    FTitle = title;
    if (FWindow) SetWindowTextW(FWindow.get(), Wide(title).c_str());
  }
  TForm& CreateForm(const TFormLayout& layout) override;
  TForm* MainForm() override { return FForms.empty() ? nullptr : FForms.front().get(); }
  void Run() override;
  bool Terminated() const override { return FTerminated; }
  void ProcessMessages() override;
  void ShowException(const std::string& message) override;
  void MessageDlg(const std::string& text) override;

  void FormClosed(TWin32Form& form);
  LRESULT Message(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 private:
  void HandleMessage(MSG& message);
  TWin32Form* FormOf(HWND window);
  HWND BoxOwner();
  void BringFormForward();

  std::string FTitle;
  TOwnedWindow FWindow;
  TOwnedFont FOwnedFont;
  HFONT FFont = nullptr;
  bool FInitialized = false;
  bool FTerminated = false;
  bool FMinimized = false;
  // The forms the minimising of the application hid, to show again.
  std::vector<HWND> FHiddenForms;
  std::vector<std::unique_ptr<TWin32Form>> FForms;
};

// ---- window procedures -------------------------------------------------

LRESULT CALLBACK ApplicationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* application = reinterpret_cast<TWin32Application*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (application == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return application->Message(window, message, wParam, lParam);
}

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* form = reinterpret_cast<TWin32Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  return form->Message(window, message, wParam, lParam);
}

// A page passes its controls' notifications on to the form.
LRESULT CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* form = reinterpret_cast<TWin32Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form != nullptr && form->Window() != nullptr && (message == WM_COMMAND || message == WM_NOTIFY)) {
    return form->Message(form->Window(), message, wParam, lParam);
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

constexpr UINT_PTR kTabsSubclass = 1;

LRESULT CALLBACK TabsProc(HWND, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR pageControl) {
  return reinterpret_cast<TWin32PageControl*>(pageControl)->TabMessage(message, wParam, lParam);
}

// Panels and bevels keep their font in the window's extra bytes.
LRESULT FontMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETFONT) {
    SetWindowLongPtrW(window, 0, static_cast<LONG_PTR>(wParam));
    if (LOWORD(lParam) != 0) InvalidateRect(window, nullptr, TRUE);
    return 0;
  }
  return GetWindowLongPtrW(window, 0);
}

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

int CALLBACK NoteFontFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

// "MS Sans Serif", or where the system lacks it, the installed face
// nearest to it in width: the layout's captions were measured in it, and
// the font mapper's own choice can be much wider (under Wine without its
// fonts: DejaVu Sans, which cuts the longest button caption).
std::wstring DialogFontFace(HDC screen) {
  static const wchar_t* const kFaces[] = {
      L"MS Sans Serif", L"Microsoft Sans Serif", L"Tahoma", L"Arial", L"Liberation Sans", L"DejaVu Sans Condensed",
  };
  for (const wchar_t* face : kFaces) {
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    EnumFontFamiliesExW(screen, &wanted, NoteFontFamily, reinterpret_cast<LPARAM>(&found), 0);
    if (found) return face;
  }
  return kFaces[0];
}

// The program file's name without its extension.
std::string ProgramName() {
  std::wstring path(32768, L'\0');
  DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
  path.resize(length);
  std::size_t slash = path.find_last_of(L"\\/");
  if (slash != std::wstring::npos) path.erase(0, slash + 1);
  std::size_t dot = path.rfind(L'.');
  if (dot != std::wstring::npos && dot != 0) path.erase(dot);
  return Narrow(path);
}

// ---- controls ----------------------------------------------------------

void TWin32Control::SetEnabled(bool enabled) {
  FEnabled = enabled;
  if (FWindow == nullptr) return;
  bool hadFocus = !enabled && HoldsFocus(FWindow);
  EnableWindow(FWindow, enabled ? TRUE : FALSE);
  FForm.FocusLost(hadFocus);
}

void TWin32Control::SetVisible(bool visible) {
  FVisible = visible;
  if (FWindow == nullptr) return;
  bool hadFocus = !visible && HoldsFocus(FWindow);
  ShowWindow(FWindow, visible ? SW_SHOWNA : SW_HIDE);
  FForm.FocusLost(hadFocus);
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

// ---- form --------------------------------------------------------------

TWin32Form::TWin32Form(TWin32Application& application, const TFormLayout& layout, HWND owner, HFONT font)
    : FApplication(application), FCaption(layout.caption) {
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST | WS_EX_CONTROLPARENT;
  RECT frame{0, 0, layout.clientWidth, layout.clientHeight};
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
}

TWin32Form::~TWin32Form() {
  if (FWindow) {
    SetWindowLongPtrW(FWindow.get(), GWLP_USERDATA, 0);
    DetachControls();
  }
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
  HWND window = CreateWindowExW(exStyle, windowClass, text.c_str(), style, place.left, place.top, place.width,
                                place.height, parent, id, Instance(), nullptr);
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

void TWin32Form::MoveFocus(bool backwards) {
  std::vector<HWND> stops = TabStops();
  if (stops.empty()) return;
  HWND focus = GetFocus();
  auto at = std::find(stops.begin(), stops.end(), focus);
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

bool TWin32Form::Preview(MSG& message) {
  if (message.message == WM_KEYDOWN && message.wParam == VK_TAB && (GetKeyState(VK_CONTROL) & 0x8000) == 0 &&
      (GetKeyState(VK_MENU) & 0x8000) == 0) {
    MoveFocus((GetKeyState(VK_SHIFT) & 0x8000) != 0);
    return true;
  }
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

// ---- application -------------------------------------------------------

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

  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  LOGFONTW font{};
  font.lfHeight = -MulDiv(8, dpi, 72);
  font.lfWeight = FW_NORMAL;
  // The texts are Central European: a font that has their letters.
  font.lfCharSet = EASTEUROPE_CHARSET;
  font.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
  lstrcpynW(font.lfFaceName, DialogFontFace(screen).c_str(), LF_FACESIZE);
  ReleaseDC(nullptr, screen);
  FOwnedFont.reset(CreateFontIndirectW(&font));
  FFont = FOwnedFont ? FOwnedFont.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  FInitialized = true;
}

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

LRESULT TWin32Application::Message(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      if (wParam == SIZE_MINIMIZED && !FMinimized) {
        FMinimized = true;
        for (const auto& form : FForms) {
          if (form->Window() != nullptr && IsWindowVisible(form->Window())) {
            FHiddenForms.push_back(form->Window());
            ShowWindow(form->Window(), SW_HIDE);
          }
        }
      } else if (wParam == SIZE_RESTORED && FMinimized) {
        FMinimized = false;
        std::vector<HWND> hidden;
        hidden.swap(FHiddenForms);
        for (HWND form : hidden) {
          if (IsWindow(form)) ShowWindow(form, SW_SHOWNA);
        }
        PostMessageW(window, kBringFormForward, 0, 0);
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

}  // namespace

TApplication& TApplication::Platform() {
  static TWin32Application application;
  return application;
}
