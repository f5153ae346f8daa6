#pragma once

#include <string>

// The system's application event log, as the service writes to it: one
// error entry (type error, category 0, id 0) with a fixed text.
class TEventLog {
 public:
  virtual ~TEventLog() = default;
  virtual void LogError(const std::string& text) = 0;

  // Windows: the event source VeltaService. POSIX: syslog and standard error.
  static TEventLog& Platform();
};
