#pragma once

// The service's state as the form's service buttons follow it. Pending
// stands for every state the form cannot act on yet: one in motion, an
// unknown one, or a status that could not be read.
enum class TButtonState {
  Running,
  Stopped,
  Paused,
  Locked,
  Pending,
};
