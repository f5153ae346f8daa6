// The dialog's form on the toolkit double and the service manager double:
// what the user sees and what lands in the configuration file.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/settings_load.h"
#include "dialog/dialog_texts.h"
#include "dialog/server_main_form.h"
#include "doubles/gui_toolkit_double.h"
#include "doubles/service_manager_double.h"
#include "support/temp_dir.h"

namespace {

// Styles kept on the double's edits, as GetWindowLongA would read them.
class DoubleWindowStyle : public TWindowStyle {
 public:
  explicit DoubleWindowStyle(TDoubleApplication& application) : FApplication(application) {}
  std::uint32_t Get(std::intptr_t window) override { return Edit(window).Style; }
  void Set(std::intptr_t window, std::uint32_t style) override { Edit(window).Style = style; }

 private:
  TDoubleEdit& Edit(std::intptr_t window) {
    for (std::size_t i = 0; i < FApplication.FormCount(); ++i) {
      if (TDoubleEdit* edit = FApplication.Form(i).EditByHandle(window)) return *edit;
    }
    throw std::invalid_argument("no edit with that handle");
  }
  TDoubleApplication& FApplication;
};

constexpr char kDefaults[] = "[Log]\r\nLimiting=1\r\nLines=500\r\n[Connections]\r\nPort=11059\r\n[Server]\r\nStartType=0\r\n";

class MainForm : public ::testing::Test {
 protected:
  // Builds the form as the program does, and shows it (its first activation).
  void Open(const char* ini = nullptr) {
    if (ini != nullptr) dir.Write("veltactl.ini", ini);
    form = std::make_unique<TServerMainForm>(
        TServerMainForm::TPlatform{app, manager, style, dir.Path("veltactl.ini"), [this](int ms) {
                                     pausedMs += ms;
                                     if (OnPause) OnPause();
                                   }});
    Ui().Show();
  }

  // The form of the last Open(): a test may open the dialog several times.
  TDoubleForm& Ui() { return app.Form(app.FormCount() - 1); }
  std::string Text(const char* name) { return Ui().FindControl(name)->GetText(); }
  bool Enabled(const char* name) { return Ui().FindControl(name)->Enabled(); }
  std::string File() { return dir.Read("veltactl.ini"); }
  // The value of one key, as the file holds it.
  std::string Key(const std::string& key) {
    std::string file = File();
    std::size_t at = file.find("\n" + key + "=");
    if (at == std::string::npos) return "<none>";
    std::size_t start = at + key.size() + 2;
    return file.substr(start, file.find('\r', start) - start);
  }
  // The six command buttons: Start, Pauza, Nastavi, Stop, Osveži, notify.
  std::string Buttons() {
    std::string on;
    for (const char* name :
         {"StartButton", "PauseButton", "ContinueButton", "StopButton", "RefreshButton", "SendButton"}) {
      on += Enabled(name) ? '1' : '0';
    }
    return on;
  }
  void ToPage(int page) { form->Form().PageControl("PageControl").SetActivePage(page); }

  TempDir dir;
  TDoubleApplication app;
  TServiceManagerDouble manager;
  DoubleWindowStyle style{app};
  std::unique_ptr<TServerMainForm> form;
  int pausedMs = 0;
  std::function<void()> OnPause;
};

}  // namespace

TEST_F(MainForm, StartsOnTheServerPageWithTheServiceStateAndNoPause) {
  manager.State = 1;
  Open();
  EXPECT_EQ(form->Form().PageControl("PageControl").ActivePage(), 0);
  EXPECT_EQ(Text("StatusPanel"), kStatusStopped);
  EXPECT_EQ(Buttons(), "100010");
  EXPECT_FALSE(Ui().FindControl("DetailsButton")->Visible());
  EXPECT_EQ(pausedMs, 0);
  EXPECT_EQ(File(), kDefaults);
  for (const char* edit : {"PortEdit", "LogEdit"}) {
    EXPECT_EQ(style.Get(Ui().Edit(edit).GetHandle()) & TWindowStyle::kNumberOnly, TWindowStyle::kNumberOnly);
  }
}

TEST_F(MainForm, ButtonStatesFollowTheService) {
  struct Case {
    std::uint32_t state;
    const char* buttons;
  };
  for (Case c : {Case{4, "010111"}, Case{7, "001111"}, Case{2, "000010"}, Case{8, "000010"}}) {
    manager.State = c.state;
    form.reset();
    Open();
    EXPECT_EQ(Buttons(), c.buttons) << c.state;
  }
}

TEST_F(MainForm, AnUnavailableManagerLocksEveryCommandAndExplainsWhy) {
  manager.ManagerOpenError = 5;
  Open();
  EXPECT_EQ(Text("StatusPanel"), kManagerUnavailable);
  EXPECT_EQ(Buttons(), "000000");
  ASSERT_TRUE(Ui().Click("DetailsButton"));
  ASSERT_EQ(app.MessageBoxes.size(), 1u);
  EXPECT_EQ(app.MessageBoxes[0], std::string(kManagerUnavailable) + "\n" + kManagerAccessDenied);
  // The refresh does nothing without a manager; the pages and OK still work.
  form->RefreshStatus();
  EXPECT_EQ(pausedMs, 0);
  EXPECT_TRUE(Ui().SelectPage("PageControl", 1));
  EXPECT_TRUE(Ui().SelectPage("PageControl", 0));
  EXPECT_EQ(Text("StatusPanel"), kManagerUnavailable);
  EXPECT_TRUE(Ui().Click("OkButton"));
  EXPECT_TRUE(Ui().Closed());
}

TEST_F(MainForm, StartWritesStartTypeBeforeTheRequestAndRefreshes) {
  manager.State = 1;
  Open();
  std::string startTypeAtRequest;
  OnPause = [&] { startTypeAtRequest = Key("StartType"); };
  ASSERT_TRUE(Ui().Click("StartButton"));
  EXPECT_EQ(startTypeAtRequest, "1");
  EXPECT_EQ(Key("StartType"), "1");
  EXPECT_EQ(pausedMs, TServerMainForm::kRefreshPauseMs);
  EXPECT_EQ(Text("StatusPanel"), kStatusStartPending);
  EXPECT_EQ(Buttons(), "000010");
  EXPECT_TRUE(app.MessageBoxes.empty());
}

// A refused command puts back what the file held just before the click,
// whoever wrote it there: where that already was what the button writes,
// the switch must not turn the other way.
TEST_F(MainForm, ARefusedCommandShowsWhyAndPutsBackTheStartTypeBeforeTheClick) {
  struct Case {
    std::uint32_t state;
    bool disabled;
    const char* button;
    const char* before;
    const char* reason;
  };
  for (Case c : {Case{1, true, "StartButton", "0", kRefusedDisabled}, Case{1, true, "StartButton", "1", kRefusedDisabled},
                 Case{4, false, "StopButton", "1", nullptr}, Case{4, false, "StopButton", "0", nullptr}}) {
    manager.State = c.state;
    manager.Disabled = c.disabled;
    form.reset();
    app.MessageBoxes.clear();
    Open();
    WriteIniValue(dir.Path("veltactl.ini"), "Server", "StartType", c.before);
    if (c.reason == nullptr) manager.CallError = 1051;
    ASSERT_TRUE(Ui().Click(c.button)) << c.button;
    ASSERT_EQ(app.MessageBoxes.size(), 1u) << c.button;
    EXPECT_EQ(app.MessageBoxes[0].rfind(std::string(kCommandRefused) + "\n", 0), 0u);
    if (c.reason != nullptr) {
      EXPECT_EQ(app.MessageBoxes[0], std::string(kCommandRefused) + "\n" + c.reason);
    }
    EXPECT_EQ(Key("StartType"), c.before) << c.button << " over " << c.before;
    manager.CallError = 0;
  }
}

TEST_F(MainForm, PauseContinueAndStopRecordWhetherTheServerIsMeantToRun) {
  manager.State = 4;
  Open();
  ASSERT_TRUE(Ui().Click("PauseButton"));
  EXPECT_EQ(Key("StartType"), "0");
  manager.Settle();
  ASSERT_TRUE(Ui().Click("RefreshButton"));
  EXPECT_EQ(Text("StatusPanel"), kStatusPaused);
  ASSERT_TRUE(Ui().Click("ContinueButton"));
  EXPECT_EQ(Key("StartType"), "1");
  manager.Settle();
  ASSERT_TRUE(Ui().Click("RefreshButton"));
  ASSERT_TRUE(Ui().Click("StopButton"));
  EXPECT_EQ(Key("StartType"), "0");
  EXPECT_TRUE(app.MessageBoxes.empty());
}

TEST_F(MainForm, ACommandForAStoppedServiceShowsTheNotActiveMessage) {
  manager.State = 4;
  Open();
  manager.State = 1;
  ASSERT_TRUE(Ui().Click("PauseButton"));
  ASSERT_EQ(app.MessageBoxes.size(), 1u);
  EXPECT_EQ(app.MessageBoxes[0], std::string(kCommandRefused) + "\n" + kRefusedNotActive);
  EXPECT_EQ(Key("StartType"), "0");
  EXPECT_EQ(Text("StatusPanel"), kStatusStopped);
}

TEST_F(MainForm, WhileARefreshRunsPagesStayAndOkIsIgnored) {
  manager.State = 4;
  Open();
  bool pageChanged = true;
  bool closedByOk = true;
  OnPause = [&] {};
  app.QueueUserInput([&] {
    EXPECT_TRUE(form->Busy());
    EXPECT_EQ(Buttons(), "000000");
    pageChanged = Ui().SelectPage("PageControl", 2);
    Ui().Click("OkButton");
    closedByOk = Ui().Closed();
  });
  form->RefreshStatus();
  EXPECT_FALSE(pageChanged);
  EXPECT_FALSE(closedByOk);
  EXPECT_FALSE(form->Busy());
  EXPECT_EQ(form->Form().PageControl("PageControl").ActivePage(), 0);
  EXPECT_TRUE(Ui().Click("OkButton"));
  EXPECT_TRUE(Ui().Closed());
}

TEST_F(MainForm, EscDuringARefreshClosesTheDialogAndTheRefreshStopsThere) {
  manager.State = 4;
  Open();
  std::size_t opensBefore = manager.Opens.size();
  app.QueueUserInput([&] { Ui().PressKey(TServerMainForm::kEscape); });
  form->RefreshStatus();
  EXPECT_TRUE(Ui().Closed());
  EXPECT_EQ(pausedMs, 0);
  EXPECT_EQ(manager.Opens.size(), opensBefore);
  EXPECT_FALSE(form->Busy());
}

TEST_F(MainForm, EscClosesFromAnyPage) {
  Open();
  ToPage(2);
  EXPECT_EQ(Ui().PressKey(TServerMainForm::kEscape), 0);
  EXPECT_TRUE(Ui().Closed());
}

TEST_F(MainForm, ComingBackToTheServerPageRefreshesAndLeavingItDoesNot) {
  manager.State = 4;
  Open();
  ASSERT_TRUE(Ui().SelectPage("PageControl", 1));
  EXPECT_EQ(pausedMs, 0);
  std::string shownDuringPause;
  OnPause = [&] { shownDuringPause = Text("StatusPanel"); };
  ASSERT_TRUE(Ui().SelectPage("PageControl", 0));
  EXPECT_EQ(shownDuringPause, kStatusChecking);
  EXPECT_EQ(Text("StatusPanel"), kStatusRunning);
}

TEST_F(MainForm, TheFirstActivationShowsTheSettingsAndWritesThemOnce) {
  Open("[Log]\r\nLimiting=1\r\nLines=250\r\n[Connections]\r\nPort=0500\r\n");
  EXPECT_TRUE(Ui().CheckBox("LogCheckBox").Checked());
  EXPECT_EQ(Text("LogEdit"), "250");
  EXPECT_EQ(Text("PortEdit"), "0500");
  EXPECT_TRUE(Enabled("LogEdit"));
  EXPECT_TRUE(Enabled("LogKbLabel"));
  EXPECT_EQ(Key("Port"), "0500");
  // Later activations change nothing, so they write nothing.
  dir.Write("veltactl.ini", "[Log]\r\nLines=7\r\n");
  Ui().Deactivate();
  ASSERT_TRUE(Ui().Activate());
  EXPECT_EQ(File(), "[Log]\r\nLines=7\r\n");
}

TEST_F(MainForm, TheFirstActivationRewritesTheThreeKeysItShows) {
  form.reset();
  dir.Write("veltactl.ini", kDefaults);
  form = std::make_unique<TServerMainForm>(
      TServerMainForm::TPlatform{app, manager, style, dir.Path("veltactl.ini"), [](int) {}});
  dir.Write("veltactl.ini", "");
  Ui().Show();
  EXPECT_EQ(File(), "[Log]\r\nLimiting=1\r\nLines=500\r\n[Connections]\r\nPort=11059\r\n");
}

TEST_F(MainForm, LinesInputIsEnabledOnlyWhileTheBoxIsMarked) {
  Open("[Log]\r\nLimiting=0\r\n");
  EXPECT_FALSE(Ui().CheckBox("LogCheckBox").Checked());
  ToPage(2);
  EXPECT_FALSE(Enabled("LogEdit"));
  EXPECT_FALSE(Enabled("LogKbLabel"));
  ASSERT_TRUE(Ui().Click("LogCheckBox"));
  EXPECT_TRUE(Enabled("LogEdit"));
  EXPECT_TRUE(Enabled("LogKbLabel"));
  EXPECT_EQ(Key("Limiting"), "1");
  ASSERT_TRUE(Ui().Click("LogCheckBox"));
  EXPECT_FALSE(Enabled("LogEdit"));
  EXPECT_EQ(Key("Limiting"), "0");
}

TEST_F(MainForm, AnEmptiedPortShowsAndWritesTheDefault) {
  Open();
  ToPage(1);
  ASSERT_TRUE(Ui().Paste("PortEdit", ""));
  EXPECT_EQ(Text("PortEdit"), "11059");
  EXPECT_EQ(Key("Port"), "11059");
}

TEST_F(MainForm, TypingAPortWritesEveryStepAndReplacesOneTooLarge) {
  Open();
  ToPage(1);
  ASSERT_TRUE(Ui().Paste("PortEdit", "4"));
  std::vector<std::string> written{Key("Port")};
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(Ui().Type("PortEdit", "0"));
    written.push_back(Key("Port"));
  }
  EXPECT_EQ(written, (std::vector<std::string>{"4", "40", "400", "4000", "11059"}));
  EXPECT_EQ(Text("PortEdit"), "11059");
  EXPECT_EQ(form->Settings().Port, "11059");
}

TEST_F(MainForm, TheLinesEditAcceptsOneTo32768) {
  Open();
  ToPage(2);
  ASSERT_TRUE(Ui().Paste("LogEdit", "0"));
  EXPECT_EQ(Text("LogEdit"), "500");
  EXPECT_EQ(Key("Lines"), "500");
  ASSERT_TRUE(Ui().Paste("LogEdit", "32768"));
  EXPECT_EQ(Key("Lines"), "32768");
  ASSERT_TRUE(Ui().Paste("LogEdit", "32769"));
  EXPECT_EQ(Text("LogEdit"), "500");
  EXPECT_EQ(Key("Lines"), "500");
}

TEST_F(MainForm, NotifyReachesOnlyARunningOrPausedServiceAndLandsOnTheServerPage) {
  for (std::uint32_t state : {4u, 7u, 1u}) {
    manager.State = 4;
    form.reset();
    manager.UserControls.clear();
    Open();
    manager.State = state;
    ToPage(1);
    ASSERT_TRUE(Ui().Click("SendButton")) << state;
    EXPECT_EQ(manager.UserControls.size(), state == 1 ? 0u : 1u) << state;
    EXPECT_EQ(form->Form().PageControl("PageControl").ActivePage(), 0) << state;
    EXPECT_TRUE(app.MessageBoxes.empty()) << state;
  }
}

TEST_F(MainForm, AFailedStatusQuerySendsNothingAndShowsNothing) {
  manager.State = 4;
  Open();
  manager.CallError = 1061;
  ASSERT_TRUE(Ui().Click("SendButton"));
  EXPECT_TRUE(manager.UserControls.empty());
  EXPECT_TRUE(app.MessageBoxes.empty());
}
