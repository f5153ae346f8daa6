#include <syslog.h>

#include <cstdio>

#include "service/event_log.h"

namespace {

class TSyslogEventLog : public TEventLog {
 public:
  TSyslogEventLog() { openlog("veltad", LOG_PID, LOG_DAEMON); }
  ~TSyslogEventLog() override { closelog(); }

  void LogError(const std::string& text) override {
    syslog(LOG_ERR, "%s", text.c_str());
    std::fprintf(stderr, "%s\n", text.c_str());
  }
};

}  // namespace

TEventLog& TEventLog::Platform() {
  static TSyslogEventLog log;
  return log;
}
