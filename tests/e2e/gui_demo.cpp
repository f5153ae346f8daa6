// A small program on the Win32 GUI toolkit with one control of each kind,
// every caption carrying the ten Serbian letters, for gui_driver to read
// and drive from another process. Its status panel counts what the
// handlers saw, so that the driver can tell which ones ran:
//
//   k  clicks of "Dugme", which also sets the check box to the other state
//      and back to the same one, and the edit to its own text and then to
//      "klik N": one check box click and one edit change must follow
//   i  changes of the "Tekst" edit; "0" is replaced by "nula" from inside
//      the handler, which re-enters once
//   p  clicks of the check box
//   a  activations of the form
//   s  page changes by the user
//   o  page changes refused: the checked check box refuses them
//   t  keys the form saw first; "q" is consumed, Esc closes the form
//
// "Osveži" does what the dialog's status refresh does: it processes the
// pending messages, pauses, and goes on with the form, which a close
// processed meanwhile may have destroyed.
#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>

#include "dialog/gui_toolkit.h"

namespace {

// The ten letters as Windows-1250 bytes: č ć đ š ž Č Ć Đ Š Ž.
constexpr char kLetters[] = "\xE8 \xE6 \xF0 \x9A \x9E \xC8 \xC6 \xD0 \x8A \x8E";

std::string Lettered(const std::string& word) { return word + " " + kLetters; }

TFormLayout DemoLayout() {
  TFormLayout layout{Lettered("Demo"), 386, 399};
  layout.controls = {
      {TControlKind::PageControl, "PageControl", "", {5, 5, 376, 356}, "", 0,
       {{"FirstSheet", Lettered("Prva")}, {"SecondSheet", Lettered("Druga")}}},
      {TControlKind::Button, "OkButton", Lettered("U redu"), {200, 368, 180, 25}},
      {TControlKind::Panel, "StatusPanel", Lettered("Panel"), {8, 9, 353, 41}, "FirstSheet"},
      {TControlKind::Button, "ClickButton", Lettered("Dugme"), {16, 72, 160, 25}, "FirstSheet"},
      {TControlKind::Button, "MessageButton", Lettered("Poruka"), {190, 72, 160, 25}, "FirstSheet"},
      {TControlKind::Label, "CaptionLabel", Lettered("Oznaka"), {16, 116, 330, 13}, "FirstSheet"},
      {TControlKind::Bevel, "LineBevel", Lettered("Linija"), {16, 132, 330, 12}, "FirstSheet"},
      {TControlKind::Edit, "TextEdit", Lettered("Tekst"), {16, 156, 200, 21}, "FirstSheet", 40},
      {TControlKind::CheckBox, "RefuseCheckBox", Lettered("Odbij promenu strane"), {16, 188, 330, 17}, "FirstSheet"},
      {TControlKind::Edit, "NumberEdit", "", {16, 216, 49, 21}, "FirstSheet", 5},
      {TControlKind::Button, "RefreshButton", Lettered("Osve\x9E" "i"), {16, 288, 200, 25}, "FirstSheet"},
      {TControlKind::Label, "SecondLabel", Lettered("Druga strana"), {16, 16, 330, 13}, "SecondSheet"},
      {TControlKind::Button, "BackButton", Lettered("Nazad"), {16, 40, 160, 25}, "SecondSheet"},
  };
  return layout;
}

struct TCounters {
  int clicks = 0;
  int changes = 0;
  int boxClicks = 0;
  int activations = 0;
  int pageChanges = 0;
  int refused = 0;
  int keys = 0;
};

class TDemo {
 public:
  TDemo(TApplication& application, TForm& form) : FApplication(application), FForm(form) {
    TEdit& text = FForm.Edit("TextEdit");
    TCheckBox& box = FForm.CheckBox("RefuseCheckBox");
    TPageControl& pages = FForm.PageControl("PageControl");

    FForm.Button("ClickButton").OnClick = [this, &text, &box] {
      ++FCounters.clicks;
      box.SetChecked(!box.Checked());
      box.SetChecked(box.Checked());
      text.SetText(text.GetText());
      text.SetText("klik " + std::to_string(FCounters.clicks));
      Show();
    };
    FForm.Button("MessageButton").OnClick = [this] { FApplication.MessageDlg(Lettered("Poruka") + "\nDrugi red"); };
    FForm.Button("BackButton").OnClick = [&pages] { pages.SetActivePage(0); };
    FForm.Button("OkButton").OnClick = [this] { FForm.Close(); };
    FForm.Button("RefreshButton").OnClick = [this] {
      FForm.Panel("StatusPanel").SetText("Provera statusa ...");
      FApplication.ProcessMessages();
      Sleep(500);
      Show();
      FApplication.ProcessMessages();
      // gui_demo_check.sh looks for this line.
      if (FForm.Closed()) std::printf("refresh: the form closed while it ran; the handler went on\n");
      std::fflush(stdout);
    };
    text.OnChange = [this, &text] {
      ++FCounters.changes;
      if (text.GetText() == "0") text.SetText("nula");
      Show();
    };
    box.OnClick = [this] {
      ++FCounters.boxClicks;
      Show();
    };
    pages.OnChanging = [this, &box] {
      if (!box.Checked()) return true;
      ++FCounters.refused;
      Show();
      return false;
    };
    pages.OnChange = [this] {
      ++FCounters.pageChanges;
      Show();
    };
    FForm.OnActivate = [this] {
      ++FCounters.activations;
      Show();
    };
    FForm.OnKeyPress = [this](char& key) {
      ++FCounters.keys;
      Show();
      if (key == 'q') key = 0;
      if (key == 27) {
        key = 0;
        FForm.Close();
      }
    };
    // As the dialog does when it closes: the pending messages once more.
    FForm.OnClose = [this] { FApplication.ProcessMessages(); };

    // Digits only, the way the dialog sets it on its edits.
    HWND number = reinterpret_cast<HWND>(FForm.Edit("NumberEdit").GetHandle());
    SetWindowLongA(number, GWL_STYLE, GetWindowLongA(number, GWL_STYLE) | ES_NUMBER);
    pages.SetActivePage(0);
  }

 private:
  void Show() {
    char counters[200];
    std::snprintf(counters, sizeof(counters),
                  " | k=%d i=%d p=%d a=%d s=%d o=%d t=%d", FCounters.clicks,
                  FCounters.changes, FCounters.boxClicks, FCounters.activations, FCounters.pageChanges,
                  FCounters.refused, FCounters.keys);
    FForm.Panel("StatusPanel").SetText(kLetters + std::string(counters));
  }

  TApplication& FApplication;
  TForm& FForm;
  TCounters FCounters;
};

}  // namespace

int main() {
  TApplication& application = TApplication::Platform();
  try {
    application.Initialize();
    TForm& form = application.CreateForm(DemoLayout());
    TDemo demo(application, form);
    application.Run();
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "gui_demo: %s\n", error.what());
    application.ShowException(error.what());
    return 1;
  }
}
