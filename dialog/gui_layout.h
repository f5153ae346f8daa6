#pragma once

#include <string>
#include <vector>

// A form written down as a table: the form logic names its controls here
// once and finds them by these names afterwards, so that the positions and
// captions can be read against the dialog's drawings line by line. Every
// text is Windows-1250 bytes.

enum class TControlKind {
  PageControl,
  Button,
  Panel,
  Label,
  Bevel,
  Edit,
  CheckBox,
};

// Left, top, width and height in pixels: within the form's client area, or
// within the page for a control that sits on a page.
struct TPlace {
  int left;
  int top;
  int width;
  int height;
};

// One page (tab) of a page control; its name is what the controls on it
// give as their parent.
struct TPageLayout {
  std::string name;
  std::string caption;
};

struct TControlLayout {
  TControlKind kind;
  std::string name;
  // The caption; for an edit its initial text.
  std::string caption;
  TPlace place;
  // The name of the page the control sits on; empty: on the form itself.
  // The trailing members have defaults, so a row names only what it needs.
  std::string page = {};
  // Edits only: the most characters the user can enter; 0 sets no limit.
  int maxLength = 0;
  // Page controls only, in tab order; the first one starts active.
  std::vector<TPageLayout> pages = {};
};

struct TFormLayout {
  std::string caption;
  int clientWidth;
  int clientHeight;
  // In tab order: the order of the controls of each parent (the form or a
  // page) is the order in which the Tab key visits them.
  std::vector<TControlLayout> controls = {};
};
