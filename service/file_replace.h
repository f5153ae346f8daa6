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
// missing. What the administrator set on target stays: its attributes and
// security on Windows, its mode and owner on POSIX. On failure target is as
// it was and tmp is still there.
bool ReplaceFileWith(const std::string& tmp, const std::string& target);

// Writes bytes over the existing file at target, where it stands: for when
// the replace is refused, as it is while a reader holds the file open
// without sharing its deletion. A reader may see it half written meanwhile.
// False when target is missing or cannot be written whole.
bool RewriteInPlace(const std::string& target, const std::string& bytes);

// Removes the temporary files of WriteTemporaryBeside that a process ended
// between writing and replacing left beside target; nothing else.
void RemoveLeftoverTemporaries(const std::string& target);

// The name of a temporary file beside target, and whether a file name in
// target's directory is one of them.
std::string TemporaryNameBeside(const std::string& target, unsigned long process, unsigned counter);
bool IsTemporaryNameOf(const std::string& fileName, const std::string& targetFileName);

// Removes the file if it can; cleanup after a failure has nothing to report.
void RemoveFileQuietly(const std::string& path);
