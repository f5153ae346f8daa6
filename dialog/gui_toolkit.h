#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "dialog/gui_layout.h"

// The GUI toolkit as the dialog uses it: an application object, forms built
// from a layout table, and the controls on them, found by the names the
// table gives. The Win32 implementation uses plain windows and comctl32;
// tests use an in-memory double that keeps the same rules.
//
// Every text is Windows-1250 bytes, in and out.
//
// The rule the dialog's logic depends on: a programmatic change runs the
// control's handler exactly as the user's change does, and only when the
// value really changes. Setting a check box to the other state runs its
// OnClick once, setting an edit to a different text runs its OnChange once;
// setting the value it already has runs nothing. A handler that sets
// another value from inside runs again, nested, for that value. A page
// change made by the program runs no handler at all.
//
// Handlers run on the GUI thread. An exception that escapes a handler run
// by the user's input is shown with ShowException and the program goes on;
// one that escapes a handler run by a programmatic change reaches the code
// that made the change.
//
// Forms and controls belong to the application and live as long as it
// does. Closing a form destroys its window but not the objects, so code
// that still holds them after a close (a handler that was interrupted by
// it) may go on calling them: nothing reaches a window any more.

class TControl {
 public:
  virtual ~TControl() = default;
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  virtual const std::string& Name() const = 0;
  // The caption; of an edit, its text; of a page control, the caption of
  // its active page.
  virtual std::string GetText() const = 0;
  virtual void SetText(const std::string& text) = 0;
  // The control's own flags. A control on a page that is not shown, or in
  // a page control that is disabled, keeps its own: it takes no input all
  // the same, as a hidden or disabled control does.
  virtual bool Enabled() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Visible() const = 0;
  virtual void SetVisible(bool visible) = 0;

 protected:
  TControl() = default;
};

// The kinds derive virtually, so that an implementation can give every
// kind the same code for the operations above.

class TButton : public virtual TControl {
 public:
  std::function<void()> OnClick;
};

// Sunken outer and raised inner bevel, caption centred.
class TPanel : public virtual TControl {};

// As wide as its text, from where the layout puts it: the layout's widths
// fit the text in the dialog's own font, a substitute may be wider.
class TLabel : public virtual TControl {};

// A bottom line only; its text is never shown.
class TBevel : public virtual TControl {};

// A single-line edit.
class TEdit : public virtual TControl {
 public:
  // After the text changed: by typing, pasting, or SetText with a text
  // that differs from the current one.
  std::function<void()> OnChange;
  // The platform's window handle, for GetWindowLongA and SetWindowLongA on
  // GWL_STYLE (ES_NUMBER); 0 once the form has closed.
  virtual std::intptr_t GetHandle() const = 0;
};

class TCheckBox : public virtual TControl {
 public:
  // After the state changed: by the user's click, or SetChecked with the
  // other state.
  std::function<void()> OnClick;
  virtual bool Checked() const = 0;
  virtual void SetChecked(bool checked) = 0;
};

class TPageControl : public virtual TControl {
 public:
  // Asked before the user's change of page: false refuses it, and the page
  // stays. Not set: every change is allowed.
  std::function<bool()> OnChanging;
  // After the user's change of page, with the new page active.
  std::function<void()> OnChange;

  virtual int PageCount() const = 0;
  // The page's name in the layout.
  virtual const std::string& PageName(int index) const = 0;
  virtual int ActivePage() const = 0;
  // Shows the page and runs no handler. std::out_of_range for a page that
  // does not exist.
  virtual void SetActivePage(int index) = 0;

  // The index of the page with this name; std::invalid_argument for none.
  int PageIndex(const std::string& name) const {
    for (int index = 0; index < PageCount(); ++index) {
      if (PageName(index) == name) return index;
    }
    throw std::invalid_argument("no page named " + name);
  }
};

class TForm {
 public:
  virtual ~TForm() = default;
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  // Sees every character key before the focused control does, wherever the
  // focus is in the form; setting the key to 0 consumes it. Esc is 27.
  std::function<void(char& key)> OnKeyPress;
  // The form has become the active window: at its first showing, and again
  // whenever it regains that role, as after a modal message box closed.
  std::function<void()> OnActivate;
  // Runs before the form closes, whatever closes it.
  std::function<void()> OnClose;

  virtual std::string Caption() const = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  // Runs OnClose, then closes the form; closing the main form ends Run. A
  // close while the form is closing or closed does nothing.
  virtual void Close() = 0;
  virtual bool Closed() const = 0;

  // The control with this name in the layout, or nullptr.
  virtual TControl* FindControl(const std::string& name) = 0;

  // The control with this name, of this kind; std::invalid_argument when
  // the layout has none.
  TButton& Button(const std::string& name) {
    TButton* control = dynamic_cast<TButton*>(FindControl(name));
    Require(control, "button", name);
    return *control;
  }
  TPanel& Panel(const std::string& name) {
    TPanel* control = dynamic_cast<TPanel*>(FindControl(name));
    Require(control, "panel", name);
    return *control;
  }
  TLabel& Label(const std::string& name) {
    TLabel* control = dynamic_cast<TLabel*>(FindControl(name));
    Require(control, "label", name);
    return *control;
  }
  TBevel& Bevel(const std::string& name) {
    TBevel* control = dynamic_cast<TBevel*>(FindControl(name));
    Require(control, "bevel", name);
    return *control;
  }
  TEdit& Edit(const std::string& name) {
    TEdit* control = dynamic_cast<TEdit*>(FindControl(name));
    Require(control, "edit", name);
    return *control;
  }
  TCheckBox& CheckBox(const std::string& name) {
    TCheckBox* control = dynamic_cast<TCheckBox*>(FindControl(name));
    Require(control, "check box", name);
    return *control;
  }
  TPageControl& PageControl(const std::string& name) {
    TPageControl* control = dynamic_cast<TPageControl*>(FindControl(name));
    Require(control, "page control", name);
    return *control;
  }

 protected:
  TForm() = default;

 private:
  static void Require(const void* control, const char* kind, const std::string& name) {
    if (control == nullptr) throw std::invalid_argument(std::string("no ") + kind + " named " + name);
  }
};

class TApplication {
 public:
  virtual ~TApplication() = default;
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  virtual void Initialize() = 0;
  // Also the caption of the application's top-level window, of class
  // "TApplication", which owns the forms; restoring and activating that
  // window restores the forms and brings the active one forward. Until it
  // is set, the program file's name without its extension.
  virtual std::string Title() const = 0;
  virtual void SetTitle(const std::string& title) = 0;

  // Builds a form from the layout, hidden. The first form created is the
  // main form, which Run shows. std::invalid_argument for a layout that
  // names a control twice or puts one on a page that no page control
  // before it has.
  virtual TForm& CreateForm(const TFormLayout& layout) = 0;
  virtual TForm* MainForm() = 0;
  // Shows the main form and processes window messages until it has closed.
  virtual void Run() = 0;
  // The main form has closed: Run has returned or is about to.
  virtual bool Terminated() const = 0;
  // Handles every window message pending at the call (painting and queued
  // user input included), then returns without waiting.
  virtual void ProcessMessages() = 0;

  // Shows an error's message in a modal box and returns when it is closed.
  virtual void ShowException(const std::string& message) = 0;
  // A modal information box with the text (line feeds break lines) and a
  // single OK button; returns when the user has closed it.
  virtual void MessageDlg(const std::string& text) = 0;

#ifdef _WIN32
  // The process's application, with its window already created (as the
  // program starts), built on plain Win32 windows and comctl32.
  static TApplication& Platform();
#endif

 protected:
  TApplication() = default;
};
