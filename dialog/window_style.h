#pragma once

#include <cstdint>

// A window's style bits (GetWindowLongA / SetWindowLongA with GWL_STYLE),
// for the edits' digits-only input.
class TWindowStyle {
 public:
  static constexpr std::uint32_t kNumberOnly = 0x2000;  // ES_NUMBER

  virtual ~TWindowStyle() = default;
  virtual std::uint32_t Get(std::intptr_t window) = 0;
  virtual void Set(std::intptr_t window, std::uint32_t style) = 0;

#ifdef _WIN32
  static TWindowStyle& Platform();
#endif
};
