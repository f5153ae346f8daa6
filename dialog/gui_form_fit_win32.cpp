// Captions that fit: the layout's widths fit the texts in the face it was
// drawn with, and the face the system has may be wider. Each check box and
// button grows to its caption (labels grow by themselves), and what follows
// it on its row moves along, keeping the gap the layout had.
#include "dialog/gui_win32.h"

#include <algorithm>

namespace gui_win32 {

namespace {

// Room a control needs besides its text: a check box its box and the gap
// after it, a push button its frame and a margin on each side.
int Chrome(const TWin32Control& control) {
  if (dynamic_cast<const TWin32CheckBox*>(&control) != nullptr) {
    return GetSystemMetrics(SM_CXMENUCHECK) + 3 * GetSystemMetrics(SM_CXEDGE) + 2;
  }
  return 6 * GetSystemMetrics(SM_CXEDGE);
}

struct TSlot {
  HWND window;
  HWND parent;
  RECT place;  // where the layout put it, at the screen's resolution
  LONG width;  // as wide as its caption needs
  bool bevel;
  LONG left = 0;  // where it goes
};

bool SameRow(const TSlot& a, const TSlot& b) {
  return a.parent == b.parent && a.place.top < b.place.bottom && b.place.top < a.place.bottom;
}

}  // namespace

void TWin32Form::FitCaptions(const TFormLayout& layout) {
  std::vector<TSlot> slots;
  for (std::size_t index = 0; index < FControls.size(); ++index) {
    TWin32Control& control = *FControls[index];
    const TPlace& place = layout.controls[index].place;
    RECT scaled{Scale(place.left), Scale(place.top), Scale(place.left + place.width),
                Scale(place.top + place.height)};
    LONG width = scaled.right - scaled.left;
    if (dynamic_cast<TWin32Label*>(&control) != nullptr) {
      RECT frame{};
      GetWindowRect(control.Window(), &frame);
      width = frame.right - frame.left;
    } else if (dynamic_cast<TWin32Button*>(&control) != nullptr || dynamic_cast<TWin32CheckBox*>(&control) != nullptr) {
      width = std::max<LONG>(width, TextWidth(control.Window()) + Chrome(control));
    }
    slots.push_back({control.Window(), GetParent(control.Window()), scaled, width,
                     dynamic_cast<TWin32Bevel*>(&control) != nullptr});
  }
  std::vector<std::size_t> order(slots.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&](std::size_t a, std::size_t b) { return slots[a].place.left < slots[b].place.left; });
  for (std::size_t at = 0; at < order.size(); ++at) {
    TSlot& slot = slots[order[at]];
    slot.left = slot.place.left;
    // The nearest control before it on its row pushes it along.
    for (std::size_t before = 0; before < at; ++before) {
      const TSlot& left = slots[order[before]];
      if (!SameRow(left, slot) || left.place.right > slot.place.left) continue;
      LONG gap = slot.place.left - left.place.right;
      slot.left = std::max(slot.left, left.left + left.width + gap);
    }
    // A bevel is a line up to where the layout ends it.
    if (slot.bevel) slot.width = std::max<LONG>(0, slot.place.right - slot.left);
    if (slot.left != slot.place.left || slot.width != slot.place.right - slot.place.left) {
      SetWindowPos(slot.window, nullptr, slot.left, slot.place.top, slot.width, slot.place.bottom - slot.place.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
}

}  // namespace gui_win32
