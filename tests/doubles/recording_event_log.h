#pragma once

#include <string>
#include <vector>

#include "service/event_log.h"

// Keeps every entry, in order, for the tests to read.
class TRecordingEventLog : public TEventLog {
 public:
  void LogError(const std::string& text) override { Entries.push_back(text); }
  std::vector<std::string> Entries;
};
