#pragma once

// The GUI toolkit on plain Win32 windows and comctl32. Texts come in as
// Windows-1250 bytes and go to the wide calls, so the letters are right
// whatever the system's ANSI code page is.
//
// The window tree: the application window (class "TApplication", the
// taskbar's button, zero size) owns every form; a form's controls are its
// children, or children of a page window, which is a child of the tab
// control, so that a page hides everything on it at once.
//
// What the toolkit's files share; nothing outside them includes it.
#include "dialog/gui_toolkit.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace gui_win32 {

inline constexpr UINT kCodePage = 1250;
inline constexpr wchar_t kApplicationClass[] = L"TApplication";
inline constexpr wchar_t kFormClass[] = L"TVeltaForm";
inline constexpr wchar_t kPageClass[] = L"TVeltaTabSheet";
inline constexpr wchar_t kPanelClass[] = L"TVeltaPanel";
inline constexpr wchar_t kBevelClass[] = L"TVeltaBevel";
// Posted to the application window when it became active: the active form
// takes over, as activation from another process lands on the application
// window.
inline constexpr UINT kBringFormForward = WM_APP + 1;

std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);
std::wstring WideWindowText(HWND window);
std::string WindowText(HWND window);
// The width of the window's text in the window's own font.
int TextWidth(HWND window);
std::string ProgramName();

struct TWindowDestroyer {
  void operator()(HWND window) const { DestroyWindow(window); }
};
using TOwnedWindow = std::unique_ptr<std::remove_pointer<HWND>::type, TWindowDestroyer>;

struct TFontDeleter {
  void operator()(HFONT font) const { DeleteObject(font); }
};
using TOwnedFont = std::unique_ptr<std::remove_pointer<HFONT>::type, TFontDeleter>;

// The screen's resolution in dots per inch; 96 is where the layout's pixels
// are pixels.
int ScreenDpi();
// The dialog's font, 8 points at the screen's resolution; empty when the
// system could not make it.
TOwnedFont CreateDialogFont();

inline HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

// The focus is on the window or inside it.
inline bool HoldsFocus(HWND window) {
  HWND focus = GetFocus();
  return window != nullptr && focus != nullptr && (focus == window || IsChild(window, focus));
}

// A handler is copied before it runs: it may replace itself while running.
inline void RunHandler(const std::function<void()>& handler) {
  std::function<void()> copy = handler;
  if (copy) copy();
}

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure, int extraBytes, HICON icon);

LRESULT CALLBACK ApplicationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK BevelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

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
  std::string GetText() const override;
  void SetText(const std::string& text) override;
  bool Enabled() const override;
  void SetEnabled(bool enabled) override;
  bool Visible() const override;
  void SetVisible(bool visible) override;

  HWND Window() const { return FWindow; }
  void Attach(HWND window) { FWindow = window; }
  // The form's window is going: keep what the window held.
  virtual void Detach();
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
  void Command(WORD code) override;
  bool TabStop() const override { return true; }
};

class TWin32Panel final : public TPanel, public TWin32Control {
 public:
  using TWin32Control::TWin32Control;
};

class TWin32Label final : public TLabel, public TWin32Control {
 public:
  using TWin32Control::TWin32Control;

  void SetText(const std::string& text) override;
  // As wide as its text: the layout's widths fit the text in the font it
  // was drawn with, and a wider substitute would wrap or cut it.
  void FitToText();
};

class TWin32Bevel final : public TBevel, public TWin32Control {
 public:
  using TWin32Control::TWin32Control;
};

class TWin32Edit final : public TEdit, public TWin32Control {
 public:
  using TWin32Control::TWin32Control;

  void SetText(const std::string& text) override;
  std::intptr_t GetHandle() const override { return reinterpret_cast<std::intptr_t>(FWindow); }
  void Command(WORD code) override;
  bool TabStop() const override { return true; }

 private:
  bool FAssigning = false;
};

class TWin32CheckBox final : public TCheckBox, public TWin32Control {
 public:
  using TWin32Control::TWin32Control;

  bool Checked() const override;
  void SetChecked(bool checked) override;
  void Detach() override;
  void Command(WORD code) override;
  bool TabStop() const override { return true; }

 private:
  bool FChecked = false;
};

class TWin32PageControl final : public TPageControl, public TWin32Control {
 public:
  TWin32PageControl(TWin32Form& form, const TControlLayout& layout)
      : TWin32Control(form, layout), FPages(layout.pages) {}

  std::string GetText() const override { return FPages[FActive].caption; }
  void SetText(const std::string& text) override;
  int PageCount() const override { return static_cast<int>(FPages.size()); }
  const std::string& PageName(int index) const override;
  int ActivePage() const override { return FActive; }
  void SetActivePage(int index) override;
  void Detach() override;
  LRESULT Notify(const NMHDR& header) override;
  bool TabStop() const override { return true; }

  // Adds the tabs and their page windows; the tab control exists.
  void CreatePages(HFONT font, TWin32Form& form);
  // Every message of the tab control passes here.
  LRESULT TabMessage(UINT message, WPARAM wParam, LPARAM lParam);
  HWND PageWindow(int index) const { return FPageWindows[index]; }
  void ShowActivePage();
  // Changes the page as a click on its tab does: OnChanging may refuse it,
  // OnChange follows.
  void SelectAsClicked(int index);

 private:
  void CheckIndex(int index) const;

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

  std::string Caption() const override;
  void SetCaption(const std::string& caption) override;
  void Close() override;
  bool Closed() const override { return FClosed; }
  TControl* FindControl(const std::string& name) override;

  HWND Window() const { return FWindow.get(); }
  void Show();
  LRESULT Message(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Lets the form see a message of the loop before its window does: the
  // key handler and the keyboard's navigation. True when the message is
  // used up.
  bool Preview(MSG& message);
  // Moves the focus off a window that no longer takes it, when it held it.
  void FocusLost(bool hadFocus);
  // Runs a handler of the user's input: an exception is shown.
  void RunUserHandler(const std::function<void()>& handler);
  TWin32Application& Application() { return FApplication; }

 private:
  void Build(const TFormLayout& layout, HFONT font);
  // Layout pixels to screen pixels: the layout is drawn for 96 DPI.
  int Scale(int pixels) const { return MulDiv(pixels, FDpi, 96); }
  // Widens each check box and button to its caption in the font in use,
  // moving what follows it on its row, as labels already fit theirs.
  void FitCaptions(const TFormLayout& layout);
  HWND CreateControlWindow(TWin32Control& control, const TControlLayout& layout, HFONT font);
  void AddTabStops(const TWin32PageControl* pageControl, int page, std::vector<HWND>& stops) const;
  std::vector<HWND> TabStops() const;
  bool CanFocus(HWND window) const;
  void FocusFirst();
  // The control a key was pressed on: the one the key message is
  // addressed to, which is where the focus was when the key came in.
  HWND KeyTarget(const MSG& message) const;
  void MoveFocus(HWND from, bool backwards);
  // A key of the keyboard's own navigation; true when it was used.
  bool NavigationKey(const MSG& message);
  void ShowFocusRectangles();
  TWin32PageControl* FocusedPageControl() const;
  void TurnPage(int step);
  bool PressFocusedButton(HWND focus);
  bool MoveAmongButtons(HWND focus, bool forward);
  void DetachControls();
  void Finish();

  TWin32Application& FApplication;
  int FDpi;
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
  void SetTitle(const std::string& title) override;
  TForm& CreateForm(const TFormLayout& layout) override;
  TForm* MainForm() override { return FForms.empty() ? nullptr : FForms.front().get(); }
  void Run() override;
  bool Terminated() const override { return FTerminated; }
  void ProcessMessages() override;
  void ShowException(const std::string& message) override;
  void MessageDlg(const std::string& text) override;

  void FormClosed(TWin32Form& form);
  LRESULT Message(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  int Dpi() const { return FDpi; }
  // The application as a whole, as its taskbar button does it: minimised,
  // its forms hidden; restored, its forms shown again as they were.
  void Minimize();
  void Restore();

 private:
  void HandleMessage(MSG& message);
  TWin32Form* FormOf(HWND window);
  HWND BoxOwner();
  void BringFormForward();
  void HideForms();
  void ShowForms();

  std::string FTitle;
  TOwnedWindow FWindow;
  TOwnedFont FOwnedFont;
  HFONT FFont = nullptr;
  int FDpi = 96;
  bool FInitialized = false;
  bool FTerminated = false;
  bool FMinimized = false;
  // The forms the minimising of the application hid, to show again.
  std::vector<HWND> FHiddenForms;
  std::vector<std::unique_ptr<TWin32Form>> FForms;
};

}  // namespace gui_win32
