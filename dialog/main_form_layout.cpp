#include "dialog/main_form_layout.h"

#include "dialog/dialog_texts.h"

namespace {

using K = TControlKind;

TFormLayout BuildLayout() {
  TFormLayout form{kFormCaption, 386, 399, {}};
  form.controls = {
      {K::PageControl, "PageControl", "", {5, 5, 376, 356}, "", 0,
       {{"ServiceTabSheet", kPageServer}, {"ConnectionsTabSheet", kPageConnections}, {"LogsTabSheet", kPageLogs}}},
      {K::Button, "OkButton", kButtonOk, {305, 368, 75, 25}},
      {K::Button, "SendButton", kButtonSend, {6, 368, 293, 25}},
      // The server page.
      {K::Button, "StartButton", kButtonStart, {16, 72, 75, 25}, "ServiceTabSheet"},
      {K::Button, "PauseButton", kButtonPause, {102, 72, 75, 25}, "ServiceTabSheet"},
      {K::Button, "ContinueButton", kButtonContinue, {189, 72, 75, 25}, "ServiceTabSheet"},
      {K::Button, "StopButton", kButtonStop, {276, 72, 75, 25}, "ServiceTabSheet"},
      {K::Panel, "StatusPanel", kPanelInitial, {8, 9, 353, 41}, "ServiceTabSheet"},
      {K::Button, "RefreshButton", kButtonRefresh, {16, 288, 75, 25}, "ServiceTabSheet"},
      {K::Button, "DetailsButton", kButtonDetails, {276, 288, 75, 25}, "ServiceTabSheet"},
      // The connections page.
      {K::Edit, "PortEdit", "", {72, 32, 49, 21}, "ConnectionsTabSheet", 5},
      {K::Label, "KonekcijeLabel", kLabelConnections, {16, 11, 178, 13}, "ConnectionsTabSheet"},
      {K::Bevel, "PortBevel", "", {208, 8, 144, 12}, "ConnectionsTabSheet"},
      {K::Label, "PortLabel", kLabelPort, {32, 35, 19, 13}, "ConnectionsTabSheet"},
      // The logs page.
      {K::CheckBox, "LogCheckBox", kCheckLogLimit, {24, 40, 217, 17}, "LogsTabSheet"},
      {K::Edit, "LogEdit", "", {248, 38, 49, 21}, "LogsTabSheet", 5},
      {K::Label, "LogLabel", kLabelLog, {8, 19, 69, 13}, "LogsTabSheet"},
      {K::Bevel, "LogBevel", "", {88, 16, 256, 12}, "LogsTabSheet"},
      {K::Label, "LogKbLabel", kLabelLogLines, {304, 42, 33, 13}, "LogsTabSheet"},
  };
  return form;
}

}  // namespace

const TFormLayout& ServerMainFormLayout() {
  static const TFormLayout layout = BuildLayout();
  return layout;
}
