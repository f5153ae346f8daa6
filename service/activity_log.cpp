#include "service/activity_log.h"

#include <algorithm>
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

bool EndsWithLineEnd(const std::string& bytes) {
  return bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0;
}

// tmp takes the log's place; refused, its content is written over the log
// where it stands. Never is tmp removed while the log is missing: then it
// is all there is.
bool PutInPlace(const std::string& path, const std::string& content, const std::string& tmp,
                const TReplaceFileFunc& replace, const TRewriteFileFunc& rewrite) {
  bool replaced = false;
  try {
    replaced = replace(tmp, path);
  } catch (...) {
  }
  if (replaced) return true;
  if (IsMissing(path)) return MoveIntoPlace(tmp, path);
  RemoveFileQuietly(tmp);
  try {
    return rewrite(path, content);
  } catch (...) {
    return false;
  }
}

}  // namespace

bool RestoreActivityLog(const std::string& path) {
  if (!IsMissing(path)) return false;
  std::vector<TLeftover> leftovers = FindLeftoverTemporaries(path);
  std::sort(leftovers.begin(), leftovers.end(),
            [](const TLeftover& a, const TLeftover& b) { return a.LastWrite > b.LastWrite; });
  bool restored = false;
  for (const TLeftover& leftover : leftovers) {
    std::string bytes;
    if (!restored && ReadWholeFile(leftover.Path, bytes) == TWholeFileRead::Read && EndsWithLineEnd(bytes) &&
        MoveIntoPlace(leftover.Path, path)) {
      restored = true;
    } else {
      RemoveFileQuietly(leftover.Path);
    }
  }
  return restored;
}

void TidyActivityLog(const std::string& path) {
  RestoreActivityLog(path);
  RemoveLeftoverTemporaries(path);
}

std::string ActivityLogRecord(const std::string& stamp, const std::string& text) {
  return "Velta server : " + stamp + " : " + text;
}

void WriteActivityLogRecord(const std::string& path, const std::string& text, const std::string& limiting,
                            const std::string& lines, TEventLog& eventLog, const std::string& stamp,
                            const TReplaceFileFunc& replace, const TRewriteFileFunc& rewrite) {
  std::vector<std::string> list;

  try {
    std::string bytes;
    TWholeFileRead read = ReadWholeFile(path, bytes);
    if (read == TWholeFileRead::Missing && RestoreActivityLog(path)) read = ReadWholeFile(path, bytes);
    switch (read) {
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

  std::string content;
  std::string tmp;
  try {
    for (const std::string& line : list) content += line + "\r\n";
    if (!WriteTemporaryBeside(path, content, tmp)) {
      Report(eventLog, kEventActivityLogUnwritable);
      return;
    }
  } catch (...) {
    Report(eventLog, kEventActivityLogUnwritable);
    return;
  }
  if (!PutInPlace(path, content, tmp, replace, rewrite)) Report(eventLog, kEventActivityLogUnwritable);
}
