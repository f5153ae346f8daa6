#pragma once

// What separates the parts of a path on this platform (the drive's colon
// included on Windows).
extern const char kPathDelimiters[];
