#pragma once

#include <string>
#include <vector>

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
// security on Windows, its mode and owner on POSIX. On failure tmp is still
// there, and target is either as it was or, where the system lost it on the
// way (Windows documents such outcomes of ReplaceFile), missing.
bool ReplaceFileWith(const std::string& tmp, const std::string& target);

// Moves tmp to target, which is missing; a target that has appeared
// meanwhile is never overwritten. The way back when a replace lost target.
bool MoveIntoPlace(const std::string& tmp, const std::string& target);

// True only when nothing at all is at path; a path that cannot be looked at
// is not taken for missing.
bool IsMissing(const std::string& path);

// Writes bytes over the existing file at target, where it stands: for when
// the replace is refused, as it is while a reader holds the file open
// without sharing its deletion. This is the one write that is not all or
// nothing: a reader may see it half written meanwhile, and a process that
// ends half-way leaves the new content's start over the rest of the old.
// False when target is missing or cannot be written whole.
bool RewriteInPlace(const std::string& target, const std::string& bytes);

struct TLeftover {
  std::string Path;
  // Comparable between leftovers of one directory: later is larger.
  long long LastWrite = 0;
};

// The temporary files of WriteTemporaryBeside beside target (a process that
// ended between writing and replacing, or a replace that lost target, left
// them); nothing else.
std::vector<TLeftover> FindLeftoverTemporaries(const std::string& target);

// Removes every one of them.
void RemoveLeftoverTemporaries(const std::string& target);

// The name of a temporary file beside target, and whether a file name in
// target's directory is one of them.
std::string TemporaryNameBeside(const std::string& target, unsigned long process, unsigned counter);
bool IsTemporaryNameOf(const std::string& fileName, const std::string& targetFileName);

// Removes the file if it can; cleanup after a failure has nothing to report.
void RemoveFileQuietly(const std::string& path);
