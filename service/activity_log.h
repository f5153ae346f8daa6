#pragma once

#include <functional>
#include <string>

#include "service/event_log.h"
#include "service/file_replace.h"
#include "service/service_texts.h"

// One line of the log: "Velta server : " + stamp + " : " + text.
std::string ActivityLogRecord(const std::string& stamp, const std::string& text);

// How the new content takes the log's place, and how it is written over the
// log where it stands when that is refused; tests put failing ones here.
using TReplaceFileFunc = std::function<bool(const std::string& tmp, const std::string& target)>;
using TRewriteFileFunc = std::function<bool(const std::string& target, const std::string& bytes)>;

// Adds one record (stamp from LocalTimeStamp() in service use) as the last
// line of the log at path, an 8-bit text file of CR LF ended lines, oldest
// first. With limiting exactly "1" the log keeps only the newest lines,
// their number the decimal value of lines. The log is rewritten whole
// through a new file that takes its place, so that it is either the old
// file or the new one, never a cut one; only when the replace is refused
// (a reader holding the log) is the content written over the log where it
// stands. A replace that lost the old log on the way leaves the new content
// the only copy: it takes the log's place by a plain move, or stays where
// it is for the next record or start to restore. Each failure adds one
// entry to eventLog and leaves the log as it was; nothing is thrown. Two
// calls at once for one path may lose one of the records (each rewrites
// what it read), so the caller serialises them.
void WriteActivityLogRecord(const std::string& path, const std::string& text, const std::string& limiting,
                            const std::string& lines, TEventLog& eventLog, const std::string& stamp,
                            const TReplaceFileFunc& replace = ReplaceFileWith,
                            const TRewriteFileFunc& rewrite = RewriteInPlace);

// With the log at path missing, the newest whole one (ended with CR LF) of
// the temporary files a write left beside it becomes the log again; the
// rest go. True when the log was restored. WriteActivityLogRecord does this
// before each record; the caller holds the log's lock.
bool RestoreActivityLog(const std::string& path);

// At service start: the log restored when it is missing, and then every
// temporary file left beside it removed.
void TidyActivityLog(const std::string& path);
