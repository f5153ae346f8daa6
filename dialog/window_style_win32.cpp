#include <windows.h>

#include "dialog/window_style.h"

namespace {

class TWin32WindowStyle : public TWindowStyle {
 public:
  std::uint32_t Get(std::intptr_t window) override {
    return static_cast<std::uint32_t>(GetWindowLongA(reinterpret_cast<HWND>(window), GWL_STYLE));
  }
  void Set(std::intptr_t window, std::uint32_t style) override {
    SetWindowLongA(reinterpret_cast<HWND>(window), GWL_STYLE, static_cast<LONG>(style));
  }
};

}  // namespace

TWindowStyle& TWindowStyle::Platform() {
  static TWin32WindowStyle style;
  return style;
}
