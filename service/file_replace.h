#pragma once

#include <string>

// Whole-file reads and writes for a file that is rewritten completely each
// time and must never be seen cut short: the new content goes to a file of
// its own beside the old one, which then takes the old one's place at once.

enum class TWholeFileRead { Missing, Read, Failed };

// Missing when nothing is at path (or a directory on the way is missing);
// Failed when something is there but its bytes cannot be had (a directory,
// no permission, an error while reading). bytes is set only on Read.
TWholeFileRead ReadWholeFile(const std::string& path, std::string& bytes);

// Creates a new file in target's directory under a name that no other
// writer, in this process or another, uses at the same time, and writes
// bytes to it, flushed to the disk. On success tmpPath names that file; on
// failure nothing is left behind.
bool WriteTemporaryBeside(const std::string& target, const std::string& bytes, std::string& tmpPath);

// Puts the file tmp in target's place in one step, target created when
// missing. On failure target is as it was and tmp is still there.
bool ReplaceFileWith(const std::string& tmp, const std::string& target);

// Removes the file if it can; cleanup after a failure has nothing to report.
void RemoveFileQuietly(const std::string& path);
