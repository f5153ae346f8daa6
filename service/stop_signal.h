#pragma once

// For programs that run in the foreground until asked to stop.
// Call before any thread is started: from then on the stop request (SIGINT,
// SIGTERM; Ctrl-C or Ctrl-Break on Windows) is held for WaitForStopSignal.
void PrepareStopSignal();
// Blocks until the stop request arrives.
void WaitForStopSignal();
