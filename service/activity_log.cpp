#include "service/activity_log.h"

#include <string>
#include <vector>

#include "common/str_to_int.h"

namespace {

// The lines of the file without their line ends. CR LF and a lone LF both
// end a line; the last line may have no end. Anything else, a lone CR
// included, stays in the line as it is.
std::vector<std::string> SplitLogLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(start));
      break;
    }
    std::size_t stop = end;
    if (stop > start && bytes[stop - 1] == '\r') --stop;
    lines.push_back(bytes.substr(start, stop - start));
    start = end + 1;
  }
  return lines;
}

// The log is only a record of events: a failure of the event log itself has
// nowhere left to go, and must not take the service down with it.
void Report(TEventLog& eventLog, const char* text) {
  try {
    eventLog.LogError(text);
  } catch (...) {
  }
}

}  // namespace

std::string ActivityLogRecord(const std::string& stamp, const std::string& text) {
  return "Velta server : " + stamp + " : " + text;
}

void WriteActivityLogRecord(const std::string& path, const std::string& text, const std::string& limiting,
                            const std::string& lines, TEventLog& eventLog, const std::string& stamp,
                            const TReplaceFileFunc& replace, const TRewriteFileFunc& rewrite) {
  std::vector<std::string> list;

  try {
    std::string bytes;
    switch (ReadWholeFile(path, bytes)) {
      case TWholeFileRead::Missing: break;
      case TWholeFileRead::Read: list = SplitLogLines(bytes); break;
      case TWholeFileRead::Failed: Report(eventLog, kEventActivityLogUnreadable); return;
    }
  } catch (...) {
    Report(eventLog, kEventActivityLogUnreadable);
    return;
  }

  int keep = 0;
  bool limited = false;
  try {
    list.push_back(ActivityLogRecord(stamp, text));
    limited = limiting == "1";
    if (limited && !TryStrToInt(lines, keep)) {
      Report(eventLog, kEventActivityLogListFailed);
      return;
    }
  } catch (...) {
    Report(eventLog, kEventActivityLogListFailed);
    return;
  }

  if (limited && static_cast<long long>(keep) < static_cast<long long>(list.size())) {
    // Taking the oldest line away one at a time until keep are left never
    // gets there for a negative keep: the list runs out first.
    if (keep < 0) {
      Report(eventLog, kEventActivityLogTrimFailed);
      return;
    }
    list.erase(list.begin(), list.end() - keep);
  }

  std::string tmp;
  bool saved = false;
  try {
    std::string content;
    for (const std::string& line : list) content += line + "\r\n";
    if (!WriteTemporaryBeside(path, content, tmp)) {
      Report(eventLog, kEventActivityLogUnwritable);
      return;
    }
    if (replace(tmp, path)) return;
    RemoveFileQuietly(tmp);
    tmp.clear();
    saved = rewrite(path, content);
  } catch (...) {
  }
  if (!tmp.empty()) RemoveFileQuietly(tmp);
  if (!saved) Report(eventLog, kEventActivityLogUnwritable);
}
