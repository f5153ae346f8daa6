#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dialog/gui_toolkit.h"

// The GUI toolkit in memory, with the rules of the Win32 one: a
// programmatic change of a check box or an edit runs its handler exactly
// as the user's change does, and only when the value changes; a page
// change by the program runs no handler. Tests act as the user through the
// form (click, type, paste, change the page, press a key, activate, close)
// and read what the program showed from the application (message boxes,
// exceptions, calls of ProcessMessages).
//
// The user reaches only what a user could: a control that is visible, on
// the page that is shown, enabled (with its page control), in a form that
// is shown, open, and not behind a modal box. A handler run by the user's
// act that throws has its message shown with ShowException, as the Win32
// message loop does.

class TDoubleApplication;
class TDoubleForm;
class TDoublePageControl;

// What every control keeps: its text and its own flags.
class TDoubleControl : public virtual TControl {
 public:
  TDoubleControl(TDoubleForm& form, const TControlLayout& layout);

  const std::string& Name() const override { return FName; }
  std::string GetText() const override { return FText; }
  void SetText(const std::string& text) override { FText = text; }
  bool Enabled() const override { return FEnabled; }
  void SetEnabled(bool enabled) override { FEnabled = enabled; }
  bool Visible() const override { return FVisible; }
  void SetVisible(bool visible) override { FVisible = visible; }

  const TPlace& Place() const { return FPlace; }
  // Where the user could see it now: visible, on the page shown (of a page
  // control that is showing itself), in a form that is shown and open.
  bool Showing() const;
  // Showing, enabled (also through its page control) and not behind a
  // modal box: the user's input reaches it.
  bool TakesInput() const;

 protected:
  TDoubleForm& FForm;
  std::string FName;
  std::string FText;
  TPlace FPlace;
  bool FEnabled = true;
  bool FVisible = true;

 private:
  friend class TDoubleForm;
  // Set when the control sits on a page.
  TDoublePageControl* FPageControl = nullptr;
  int FPage = -1;
};

class TDoubleButton final : public TButton, public TDoubleControl {
 public:
  using TDoubleControl::TDoubleControl;
};

class TDoublePanel final : public TPanel, public TDoubleControl {
 public:
  using TDoubleControl::TDoubleControl;
};

class TDoubleLabel final : public TLabel, public TDoubleControl {
 public:
  using TDoubleControl::TDoubleControl;
};

class TDoubleBevel final : public TBevel, public TDoubleControl {
 public:
  using TDoubleControl::TDoubleControl;
};

class TDoubleEdit final : public TEdit, public TDoubleControl {
 public:
  // ES_NUMBER: typing lets digits through only (pasting does not check).
  static constexpr std::uint32_t kNumberStyle = 0x2000;

  TDoubleEdit(TDoubleForm& form, const TControlLayout& layout, std::intptr_t handle);

  void SetText(const std::string& text) override;
  std::intptr_t GetHandle() const override;

  int MaxLength() const { return FMaxLength; }
  // The window style as GetWindowLongA(GWL_STYLE) would read it: a child,
  // visible tab stop with horizontal scrolling, to start with.
  std::uint32_t Style = 0x50010080;

 private:
  friend class TDoubleForm;
  int FMaxLength;
  std::intptr_t FHandle;
};

class TDoubleCheckBox final : public TCheckBox, public TDoubleControl {
 public:
  using TDoubleControl::TDoubleControl;

  bool Checked() const override { return FChecked; }
  void SetChecked(bool checked) override;

 private:
  friend class TDoubleForm;
  bool FChecked = false;
};

class TDoublePageControl final : public TPageControl, public TDoubleControl {
 public:
  TDoublePageControl(TDoubleForm& form, const TControlLayout& layout);

  std::string GetText() const override { return FPages[FActive].caption; }
  void SetText(const std::string& text) override { FPages[FActive].caption = text; }
  int PageCount() const override { return static_cast<int>(FPages.size()); }
  const std::string& PageName(int index) const override;
  int ActivePage() const override { return FActive; }
  void SetActivePage(int index) override;

  const std::string& PageCaption(int index) const;

 private:
  friend class TDoubleForm;
  std::vector<TPageLayout> FPages;
  int FActive = 0;
};

class TDoubleForm final : public TForm {
 public:
  TDoubleForm(TDoubleApplication& application, const TFormLayout& layout);

  std::string Caption() const override { return FCaption; }
  void SetCaption(const std::string& caption) override { FCaption = caption; }
  void Close() override;
  bool Closed() const override { return FClosed; }
  TControl* FindControl(const std::string& name) override;

  int ClientWidth() const { return FClientWidth; }
  int ClientHeight() const { return FClientHeight; }
  // The names of the controls, in the layout's order.
  const std::vector<std::string>& ControlNames() const { return FOrder; }
  // The edit whose GetHandle() gave this value, or nullptr.
  TDoubleEdit* EditByHandle(std::intptr_t handle);

  bool Shown() const { return FShown; }
  bool Active() const { return FActive; }
  // The form takes the user's input: shown, open, not behind a modal box.
  bool TakesInput() const;

  // Shows the form and makes it the active window, as Run does for the
  // main form.
  void Show();

  // The user's acts. Each returns whether it reached its target; one that
  // did not has changed nothing and run no handler.
  //
  // Clicks a button, or a check box (which changes its state, then runs
  // OnClick).
  bool Click(const std::string& name);
  // Types the characters one by one into the edit: each first goes to
  // OnKeyPress; one that gets through and changes the text (digits only
  // with ES_NUMBER, up to the most characters) runs OnChange. Backspace
  // (8) takes the last character away; other control characters change
  // nothing. False when the edit takes no input, or the form stopped
  // taking it on the way.
  bool Type(const std::string& editName, const std::string& text);
  // Replaces the whole text by the pasted one, cut to the most characters:
  // one OnChange when it differs.
  bool Paste(const std::string& editName, const std::string& text);
  // Clicks a page's tab: OnChanging first, then, unless it refused, the
  // page changes and OnChange runs. True when the page changed. The tab of
  // the page already shown does nothing.
  bool SelectPage(const std::string& pageControlName, int index);
  // A character key with the focus anywhere in the form: OnKeyPress sees it
  // first. Gives the key as the focused control would receive it, 0 when
  // consumed or when the form takes no input.
  char PressKey(char key);
  // The user brings the form forward: OnActivate, unless it was active.
  bool Activate();
  // Another window becomes the active one.
  void Deactivate() { FActive = false; }
  // The close box or Alt+F4.
  bool CloseByUser();

 private:
  friend class TDoubleApplication;
  friend class TDoubleControl;

  // Runs a handler as the message loop does: an exception is shown.
  void RunUserHandler(const std::function<void()>& handler);
  bool TypeOne(TDoubleEdit& edit, char key);
  TDoubleControl* Reachable(const std::string& name);
  void Add(std::unique_ptr<TDoubleControl> control, const TControlLayout& layout);

  TDoubleApplication& FApplication;
  std::string FCaption;
  int FClientWidth;
  int FClientHeight;
  std::vector<std::unique_ptr<TDoubleControl>> FControls;
  std::map<std::string, TDoubleControl*> FByName;
  // Page name: its page control and index.
  std::map<std::string, std::pair<TDoublePageControl*, int>> FPages;
  std::vector<std::string> FOrder;
  bool FShown = false;
  bool FActive = false;
  bool FClosing = false;
  bool FClosed = false;
};

class TDoubleApplication final : public TApplication {
 public:
  // The title until one is set: the program file's name without extension.
  explicit TDoubleApplication(std::string programName = "veltactl");

  void Initialize() override { FInitialized = true; }
  std::string Title() const override { return FTitle; }
  void SetTitle(const std::string& title) override { FTitle = title; }
  TForm& CreateForm(const TFormLayout& layout) override;
  TForm* MainForm() override;
  // Shows the main form, then runs the queued user input until the main
  // form has closed or no input is left: a test has no user who might act
  // later, so it returns with the form still open then (Terminated() says
  // which).
  void Run() override;
  bool Terminated() const override;
  // Counts the call and runs the user input queued before it, in order.
  // Input queued while it runs waits for the next call.
  void ProcessMessages() override;
  // Both record the text, make the boxes' owner inactive while the box is
  // open (its form takes no input), run OnMessageBox, and on closing
  // activate the form that was active before, which runs its OnActivate.
  void ShowException(const std::string& message) override;
  void MessageDlg(const std::string& text) override;

  bool Initialized() const { return FInitialized; }
  std::size_t FormCount() const { return FForms.size(); }
  // std::out_of_range for a form not created.
  TDoubleForm& Form(std::size_t index = 0);
  // Queues the user's input: it runs when the program next processes
  // messages, or in Run.
  void QueueUserInput(std::function<void()> input);
  std::size_t PendingUserInput() const { return FQueue.size(); }
  // A message box is open.
  bool Modal() const { return FModal > 0; }

  // What the program showed and did, in order.
  std::vector<std::string> MessageBoxes;
  std::vector<std::string> Exceptions;
  int ProcessMessagesCalls = 0;
  // Runs while a box is open, with its text: the user reading it. Queued
  // input does not run then.
  std::function<void(const std::string& text)> OnMessageBox;

 private:
  void ShowBox(const std::string& text);

  std::string FTitle;
  bool FInitialized = false;
  std::vector<std::unique_ptr<TDoubleForm>> FForms;
  std::vector<std::function<void()>> FQueue;
  int FModal = 0;
  std::intptr_t FNextHandle = 0x10010;
};
