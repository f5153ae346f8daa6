#include <windows.h>

#include "service/event_log.h"

namespace {

class TWindowsEventLog : public TEventLog {
 public:
  void LogError(const std::string& text) override {
    HANDLE source = RegisterEventSourceA(nullptr, "VeltaService");
    if (source == nullptr) return;
    const char* strings[] = {text.c_str()};
    ReportEventA(source, EVENTLOG_ERROR_TYPE, 0, 0, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
  }
};

}  // namespace

TEventLog& TEventLog::Platform() {
  static TWindowsEventLog log;
  return log;
}
