// The in-memory GUI toolkit: the change-event rules the dialog's logic
// depends on (a programmatic change runs the handler exactly as the user's
// change does, and only for a real change; a page change by the program
// runs nothing), the user's reach (hidden, disabled, off-page, modal), the
// form's key preview, activation and closing, and what the application
// records for the tests of the form logic.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "dialog/gui_toolkit.h"
#include "doubles/gui_toolkit_double.h"

namespace {

TFormLayout SampleLayout() {
  TFormLayout layout{"Forma \xE8\xE6\xF0\x9A\x9E", 386, 399};
  layout.controls = {
      {TControlKind::PageControl, "PageControl", "", {5, 5, 376, 356}, "", 0,
       {{"FirstSheet", "Prva"}, {"SecondSheet", "Druga"}}},
      {TControlKind::Button, "OkButton", "OK", {305, 368, 75, 25}},
      {TControlKind::Panel, "StatusPanel", "N/A", {8, 9, 353, 41}, "FirstSheet"},
      {TControlKind::Button, "StartButton", "Start", {16, 72, 75, 25}, "FirstSheet"},
      {TControlKind::Label, "PortLabel", "Port", {32, 35, 19, 13}, "SecondSheet"},
      {TControlKind::Bevel, "PortBevel", "", {208, 8, 144, 12}, "SecondSheet"},
      {TControlKind::Edit, "PortEdit", "", {72, 32, 49, 21}, "SecondSheet", 5},
      {TControlKind::CheckBox, "LogCheckBox", "Ograni\xE8" "i", {24, 40, 217, 17}, "SecondSheet"},
  };
  return layout;
}

class GuiToolkitDouble : public ::testing::Test {
 protected:
  GuiToolkitDouble() : form(app.Form()) {}

  TDoubleApplication app;
  TForm& built = app.CreateForm(SampleLayout());
  TDoubleForm& form;
};

// Shows the form on the page the edit and the check box sit on.
class GuiToolkitDoubleShown : public GuiToolkitDouble {
 protected:
  GuiToolkitDoubleShown() {
    form.Show();
    built.PageControl("PageControl").SetActivePage(1);
  }
};

TEST_F(GuiToolkitDouble, TitleIsTheProgramNameUntilSet) {
  EXPECT_EQ(app.Title(), "veltactl");
  app.SetTitle("M$ Sucks");
  EXPECT_EQ(app.Title(), "M$ Sucks");
  EXPECT_EQ(TDoubleApplication("gui_demo").Title(), "gui_demo");
}

TEST_F(GuiToolkitDouble, BuildsTheLayoutAndFindsControlsByNameAndKind) {
  EXPECT_EQ(app.MainForm(), &built);
  EXPECT_EQ(built.Caption(), "Forma \xE8\xE6\xF0\x9A\x9E");
  EXPECT_EQ(form.ClientWidth(), 386);
  EXPECT_EQ(form.ClientHeight(), 399);
  EXPECT_EQ(built.Panel("StatusPanel").GetText(), "N/A");
  EXPECT_EQ(built.CheckBox("LogCheckBox").GetText(), "Ograni\xE8" "i");
  EXPECT_FALSE(built.CheckBox("LogCheckBox").Checked());
  EXPECT_EQ(built.Edit("PortEdit").GetText(), "");
  EXPECT_EQ(built.Label("PortLabel").Name(), "PortLabel");
  EXPECT_EQ(built.Bevel("PortBevel").Name(), "PortBevel");
  EXPECT_EQ(built.Button("OkButton").GetText(), "OK");
  TPageControl& pages = built.PageControl("PageControl");
  EXPECT_EQ(pages.PageCount(), 2);
  EXPECT_EQ(pages.ActivePage(), 0);
  EXPECT_EQ(pages.PageIndex("SecondSheet"), 1);
  EXPECT_EQ(pages.GetText(), "Prva");
  EXPECT_EQ(form.ControlNames().front(), "PageControl");
  EXPECT_EQ(form.ControlNames().back(), "LogCheckBox");

  EXPECT_EQ(built.FindControl("Nothing"), nullptr);
  EXPECT_THROW(built.Button("Nothing"), std::invalid_argument);
  EXPECT_THROW(built.Button("PortEdit"), std::invalid_argument);
  EXPECT_THROW(built.Edit("StartButton"), std::invalid_argument);
  EXPECT_THROW(pages.PageIndex("Nothing"), std::invalid_argument);
}

TEST_F(GuiToolkitDouble, RefusesALayoutWithTwoControlsOfOneNameOrAnUnknownPage) {
  TFormLayout twice = SampleLayout();
  twice.controls.push_back({TControlKind::Button, "OkButton", "OK", {0, 0, 1, 1}});
  EXPECT_THROW(app.CreateForm(twice), std::invalid_argument);

  TFormLayout unknownPage = SampleLayout();
  unknownPage.controls.push_back({TControlKind::Button, "Other", "", {0, 0, 1, 1}, "NoSheet"});
  EXPECT_THROW(app.CreateForm(unknownPage), std::invalid_argument);

  TFormLayout pageBeforeItsControl{"", 100, 100};
  pageBeforeItsControl.controls = {
      {TControlKind::Button, "Early", "", {0, 0, 1, 1}, "Sheet"},
      {TControlKind::PageControl, "Pages", "", {0, 0, 9, 9}, "", 0, {{"Sheet", "S"}}},
  };
  EXPECT_THROW(app.CreateForm(pageBeforeItsControl), std::invalid_argument);
}

TEST_F(GuiToolkitDouble, SettingTheCheckBoxToItsStateRunsNothing) {
  TCheckBox& box = built.CheckBox("LogCheckBox");
  int clicks = 0;
  box.OnClick = [&] { ++clicks; };
  box.SetChecked(false);
  EXPECT_EQ(clicks, 0);
  box.SetChecked(true);
  box.SetChecked(true);
  EXPECT_EQ(clicks, 1);
}

TEST_F(GuiToolkitDouble, SettingTheCheckBoxToTheOtherStateRunsOnClickOnceWithTheNewState) {
  TCheckBox& box = built.CheckBox("LogCheckBox");
  std::vector<bool> seen;
  box.OnClick = [&] { seen.push_back(box.Checked()); };
  box.SetChecked(true);
  box.SetChecked(false);
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));
}

TEST_F(GuiToolkitDouble, SettingTheEditToItsTextRunsNothing) {
  TEdit& edit = built.Edit("PortEdit");
  int changes = 0;
  edit.OnChange = [&] { ++changes; };
  edit.SetText("");
  EXPECT_EQ(changes, 0);
  edit.SetText("11059");
  edit.SetText("11059");
  EXPECT_EQ(changes, 1);
}

TEST_F(GuiToolkitDouble, SettingTheEditToAnotherTextRunsOnChangeOnceWithTheNewText) {
  TEdit& edit = built.Edit("PortEdit");
  std::vector<std::string> seen;
  edit.OnChange = [&] { seen.push_back(edit.GetText()); };
  edit.SetText("11059");
  edit.SetText("");
  EXPECT_EQ(seen, (std::vector<std::string>{"11059", ""}));
}

TEST_F(GuiToolkitDouble, ATextSetByTheProgramIsNotCutToTheLimit) {
  TEdit& edit = built.Edit("PortEdit");
  edit.SetText("1234567");
  EXPECT_EQ(edit.GetText(), "1234567");
}

TEST_F(GuiToolkitDouble, AChangeHandlerThatSetsAnotherTextReentersOnce) {
  TEdit& edit = built.Edit("PortEdit");
  std::vector<std::string> seen;
  edit.OnChange = [&] {
    seen.push_back(edit.GetText());
    if (edit.GetText() == "0") edit.SetText("11059");
  };
  edit.SetText("0");
  EXPECT_EQ(seen, (std::vector<std::string>{"0", "11059"}));
  EXPECT_EQ(edit.GetText(), "11059");
}

TEST_F(GuiToolkitDouble, AClickHandlerThatSetsTheStateBackReentersOnce) {
  TCheckBox& box = built.CheckBox("LogCheckBox");
  std::vector<bool> seen;
  box.OnClick = [&] {
    seen.push_back(box.Checked());
    box.SetChecked(false);
  };
  box.SetChecked(true);
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));
  EXPECT_FALSE(box.Checked());
}

TEST_F(GuiToolkitDouble, APageChangeByTheProgramRunsNoHandler) {
  TPageControl& pages = built.PageControl("PageControl");
  int asked = 0;
  int changed = 0;
  pages.OnChanging = [&] {
    ++asked;
    return true;
  };
  pages.OnChange = [&] { ++changed; };
  pages.SetActivePage(1);
  EXPECT_EQ(pages.ActivePage(), 1);
  pages.SetActivePage(0);
  EXPECT_EQ(pages.ActivePage(), 0);
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(changed, 0);
  EXPECT_THROW(pages.SetActivePage(2), std::out_of_range);
  EXPECT_THROW(pages.SetActivePage(-1), std::out_of_range);
}

TEST_F(GuiToolkitDoubleShown, APageChangeByTheUserAsksFirstThenRunsOnChangeOnTheNewPage) {
  TPageControl& pages = built.PageControl("PageControl");
  std::vector<std::string> events;
  pages.OnChanging = [&] {
    events.push_back("changing on " + std::to_string(pages.ActivePage()));
    return true;
  };
  pages.OnChange = [&] { events.push_back("change to " + std::to_string(pages.ActivePage())); };
  EXPECT_TRUE(form.SelectPage("PageControl", 0));
  EXPECT_EQ(events, (std::vector<std::string>{"changing on 1", "change to 0"}));
}

TEST_F(GuiToolkitDoubleShown, APageChangeRefusedByOnChangingLeavesThePageAndRunsNoOnChange) {
  TPageControl& pages = built.PageControl("PageControl");
  int asked = 0;
  int changed = 0;
  pages.OnChanging = [&] {
    ++asked;
    return false;
  };
  pages.OnChange = [&] { ++changed; };
  EXPECT_FALSE(form.SelectPage("PageControl", 0));
  EXPECT_EQ(pages.ActivePage(), 1);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(changed, 0);
}

TEST_F(GuiToolkitDoubleShown, TheTabOfThePageShownDoesNothing) {
  TPageControl& pages = built.PageControl("PageControl");
  int asked = 0;
  pages.OnChanging = [&] {
    ++asked;
    return true;
  };
  EXPECT_FALSE(form.SelectPage("PageControl", 1));
  EXPECT_EQ(asked, 0);
}

TEST_F(GuiToolkitDoubleShown, AUserClickOnTheCheckBoxTogglesItThenRunsOnClick) {
  TCheckBox& box = built.CheckBox("LogCheckBox");
  std::vector<bool> seen;
  box.OnClick = [&] { seen.push_back(box.Checked()); };
  EXPECT_TRUE(form.Click("LogCheckBox"));
  EXPECT_TRUE(form.Click("LogCheckBox"));
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));
}

TEST_F(GuiToolkitDoubleShown, TypingRunsOnChangePerCharacterWithinTheLimit) {
  TEdit& edit = built.Edit("PortEdit");
  std::vector<std::string> seen;
  edit.OnChange = [&] { seen.push_back(edit.GetText()); };
  EXPECT_TRUE(form.Type("PortEdit", "1234567"));
  EXPECT_EQ(edit.GetText(), "12345");
  EXPECT_EQ(seen, (std::vector<std::string>{"1", "12", "123", "1234", "12345"}));
  EXPECT_TRUE(form.Type("PortEdit", "\b"));
  EXPECT_EQ(edit.GetText(), "1234");
  EXPECT_EQ(seen.size(), 6u);
}

TEST_F(GuiToolkitDoubleShown, TheNumberStyleLetsTypedDigitsThroughOnly) {
  TDoubleEdit* edit = form.EditByHandle(built.Edit("PortEdit").GetHandle());
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->Style & TDoubleEdit::kNumberStyle, 0u);
  form.Type("PortEdit", "1a");
  EXPECT_EQ(edit->GetText(), "1a");
  edit->SetText("");
  edit->Style |= TDoubleEdit::kNumberStyle;
  form.Type("PortEdit", "12a3456789");
  EXPECT_EQ(edit->GetText(), "12345");
}

TEST_F(GuiToolkitDoubleShown, PastingReplacesTheTextCutToTheLimitWithOneOnChange) {
  TEdit& edit = built.Edit("PortEdit");
  int changes = 0;
  edit.OnChange = [&] { ++changes; };
  EXPECT_TRUE(form.Paste("PortEdit", "1105999"));
  EXPECT_EQ(edit.GetText(), "11059");
  EXPECT_TRUE(form.Paste("PortEdit", "11059"));
  EXPECT_EQ(changes, 1);
}

TEST_F(GuiToolkitDoubleShown, TheFormSeesEveryKeyFirstAndMayConsumeIt) {
  std::string keys;
  built.OnKeyPress = [&](char& key) {
    keys += key;
    if (key == 'x') key = 0;
    if (key == 'a') key = 'b';
  };
  EXPECT_EQ(form.PressKey('q'), 'q');
  EXPECT_EQ(form.PressKey(27), 27);
  form.Type("PortEdit", "xa1");
  EXPECT_EQ(keys, "q\x1B" "xa1");
  EXPECT_EQ(built.Edit("PortEdit").GetText(), "b1");
}

TEST_F(GuiToolkitDoubleShown, HiddenOrDisabledControlsTakeNoInput) {
  int clicks = 0;
  int changes = 0;
  built.Button("OkButton").OnClick = [&] { ++clicks; };
  built.Edit("PortEdit").OnChange = [&] { ++changes; };
  built.CheckBox("LogCheckBox").OnClick = [&] { ++clicks; };

  built.Button("OkButton").SetVisible(false);
  EXPECT_FALSE(form.Click("OkButton"));
  built.Button("OkButton").SetVisible(true);
  built.Button("OkButton").SetEnabled(false);
  EXPECT_FALSE(form.Click("OkButton"));
  built.CheckBox("LogCheckBox").SetEnabled(false);
  EXPECT_FALSE(form.Click("LogCheckBox"));
  EXPECT_FALSE(built.CheckBox("LogCheckBox").Checked());
  built.Edit("PortEdit").SetVisible(false);
  EXPECT_FALSE(form.Type("PortEdit", "1"));
  EXPECT_FALSE(form.Paste("PortEdit", "1"));
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(changes, 0);
  EXPECT_TRUE(built.Edit("PortEdit").Enabled());
  EXPECT_FALSE(built.Edit("PortEdit").Visible());
}

TEST_F(GuiToolkitDoubleShown, ControlsOnAPageNotShownOrInADisabledPageControlTakeNoInput) {
  int clicks = 0;
  built.Button("StartButton").OnClick = [&] { ++clicks; };
  EXPECT_FALSE(form.Click("StartButton"));
  built.PageControl("PageControl").SetActivePage(0);
  EXPECT_TRUE(form.Click("StartButton"));
  built.PageControl("PageControl").SetEnabled(false);
  EXPECT_FALSE(form.Click("StartButton"));
  EXPECT_FALSE(form.SelectPage("PageControl", 1));
  built.PageControl("PageControl").SetEnabled(true);
  built.PageControl("PageControl").SetVisible(false);
  EXPECT_FALSE(form.Click("StartButton"));
  EXPECT_EQ(clicks, 1);
  // The button's own flags are untouched by its page.
  EXPECT_TRUE(built.Button("StartButton").Visible());
  EXPECT_TRUE(built.Button("StartButton").Enabled());
}

TEST_F(GuiToolkitDouble, AFormNotShownTakesNoInput) {
  int clicks = 0;
  built.Button("OkButton").OnClick = [&] { ++clicks; };
  EXPECT_FALSE(form.Click("OkButton"));
  EXPECT_EQ(form.PressKey(27), 0);
  EXPECT_FALSE(form.Activate());
  EXPECT_EQ(clicks, 0);
}

TEST_F(GuiToolkitDouble, OnActivateRunsAtTheFirstShowingAndWhenTheFormBecomesActiveAgain) {
  int activations = 0;
  built.OnActivate = [&] { ++activations; };
  form.Show();
  EXPECT_EQ(activations, 1);
  EXPECT_TRUE(form.Active());
  EXPECT_TRUE(form.Activate());
  EXPECT_EQ(activations, 1);
  form.Deactivate();
  EXPECT_TRUE(form.Activate());
  EXPECT_EQ(activations, 2);
}

TEST_F(GuiToolkitDouble, AMessageBoxIsRecordedBlocksTheFormAndReactivatesItWhenClosed) {
  int activations = 0;
  built.OnActivate = [&] { ++activations; };
  form.Show();
  std::vector<bool> formTookInput;
  app.OnMessageBox = [&](const std::string&) {
    formTookInput.push_back(form.TakesInput());
    formTookInput.push_back(form.Click("OkButton"));
  };
  app.MessageDlg("Komanda nije prihv\xE6" "ena\nServis je onemogu\xE6" "en.");
  EXPECT_EQ(app.MessageBoxes,
            (std::vector<std::string>{"Komanda nije prihv\xE6" "ena\nServis je onemogu\xE6" "en."}));
  EXPECT_EQ(formTookInput, (std::vector<bool>{false, false}));
  EXPECT_EQ(activations, 2);
  EXPECT_TRUE(form.TakesInput());
}

TEST_F(GuiToolkitDouble, CloseRunsOnCloseOnceThenClosesAndEndsTheApplication) {
  std::vector<bool> closedDuringOnClose;
  built.OnClose = [&] {
    closedDuringOnClose.push_back(built.Closed());
    built.Close();
  };
  form.Show();
  EXPECT_FALSE(app.Terminated());
  built.Close();
  built.Close();
  EXPECT_EQ(closedDuringOnClose, (std::vector<bool>{false}));
  EXPECT_TRUE(built.Closed());
  EXPECT_TRUE(app.Terminated());
  EXPECT_FALSE(form.Click("OkButton"));
  EXPECT_EQ(built.Edit("PortEdit").GetHandle(), 0);
  // The objects stay usable after the close.
  built.Panel("StatusPanel").SetText("Server je pokrenut.");
  EXPECT_EQ(built.Panel("StatusPanel").GetText(), "Server je pokrenut.");
}

TEST_F(GuiToolkitDouble, RunShowsTheMainFormAndProcessesInputUntilItCloses) {
  int activations = 0;
  int clicks = 0;
  built.OnActivate = [&] { ++activations; };
  built.OnKeyPress = [&](char& key) {
    if (key == 27) {
      key = 0;
      built.Close();
    }
  };
  built.Button("OkButton").OnClick = [&] { ++clicks; };
  app.QueueUserInput([&] { form.Click("OkButton"); });
  app.QueueUserInput([&] { form.PressKey(27); });
  app.QueueUserInput([&] { form.Click("OkButton"); });
  app.Initialize();
  app.Run();
  EXPECT_TRUE(app.Initialized());
  EXPECT_TRUE(app.Terminated());
  EXPECT_EQ(activations, 1);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(app.PendingUserInput(), 1u);
}

TEST_F(GuiToolkitDouble, ProcessMessagesCountsAndRunsOnlyTheInputQueuedBeforeIt) {
  form.Show();
  std::vector<std::string> ran;
  app.QueueUserInput([&] {
    ran.push_back("first");
    app.QueueUserInput([&] { ran.push_back("later"); });
  });
  app.QueueUserInput([&] { ran.push_back("second"); });
  app.ProcessMessages();
  EXPECT_EQ(ran, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(app.ProcessMessagesCalls, 1);
  app.ProcessMessages();
  EXPECT_EQ(ran.back(), "later");
  EXPECT_EQ(app.ProcessMessagesCalls, 2);
  app.ProcessMessages();
  EXPECT_EQ(app.ProcessMessagesCalls, 3);
}

TEST_F(GuiToolkitDouble, ACloseQueuedDuringAHandlerRunsInItsProcessMessages) {
  // The status refresh pumps messages; the user's Esc arrives then and the
  // handler goes on with a closed form whose objects still answer.
  built.OnKeyPress = [&](char& key) {
    if (key == 27) {
      key = 0;
      built.Close();
    }
  };
  std::vector<std::string> steps;
  built.Button("OkButton").OnClick = [&] {
    built.Panel("StatusPanel").SetText("Provera statusa ...");
    app.ProcessMessages();
    steps.push_back(built.Closed() ? "closed" : "open");
    built.Panel("StatusPanel").SetText("Server je pokrenut.");
  };
  form.Show();
  app.QueueUserInput([&] { form.PressKey(27); });
  EXPECT_TRUE(form.Click("OkButton"));
  EXPECT_EQ(steps, (std::vector<std::string>{"closed"}));
  EXPECT_TRUE(app.Terminated());
}

TEST_F(GuiToolkitDoubleShown, AnExceptionFromAHandlerOfTheUsersInputIsShown) {
  built.Button("OkButton").OnClick = [] { throw std::runtime_error("Gre\x9A" "ka"); };
  EXPECT_TRUE(form.Click("OkButton"));
  EXPECT_EQ(app.Exceptions, (std::vector<std::string>{"Gre\x9A" "ka"}));
}

TEST_F(GuiToolkitDouble, AnExceptionFromAHandlerOfAProgrammaticChangeReachesTheCaller) {
  built.Edit("PortEdit").OnChange = [] { throw std::runtime_error("write failed"); };
  EXPECT_THROW(built.Edit("PortEdit").SetText("1"), std::runtime_error);
  EXPECT_TRUE(app.Exceptions.empty());
}

TEST_F(GuiToolkitDouble, ShowExceptionIsRecordedApartFromMessageBoxes) {
  app.ShowException("Access violation");
  EXPECT_EQ(app.Exceptions, (std::vector<std::string>{"Access violation"}));
  EXPECT_TRUE(app.MessageBoxes.empty());
}

}  // namespace
