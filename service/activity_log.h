#pragma once

#include <functional>
#include <string>

#include "service/event_log.h"
#include "service/file_replace.h"
#include "service/service_texts.h"

// One line of the log: "Velta server : " + stamp + " : " + text.
std::string ActivityLogRecord(const std::string& stamp, const std::string& text);

// How the new content takes the log's place; tests put a failing one here.
using TReplaceFileFunc = std::function<bool(const std::string& tmp, const std::string& target)>;

// Adds one record (stamp from LocalTimeStamp() in service use) as the last
// line of the log at path, an 8-bit text file of CR LF ended lines, oldest
// first. With limiting exactly "1" the log keeps only the newest lines,
// their number the decimal value of lines. The log is rewritten whole, but
// never in place: it is either the old file or the new one, never a cut
// one. Each failure adds one entry to eventLog and leaves the log as it
// was; nothing is thrown. Two calls at once for one path may lose one of
// the records (each rewrites what it read), so the caller serialises them.
void WriteActivityLogRecord(const std::string& path, const std::string& text, const std::string& limiting,
                            const std::string& lines, TEventLog& eventLog, const std::string& stamp,
                            const TReplaceFileFunc& replace = ReplaceFileWith);
