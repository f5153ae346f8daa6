#pragma once

#include <string>

// The full path of the running executable.
std::string ParamStr0();
// The directory part of a path, ending with its separator ("" when none).
std::string ExtractFilePath(const std::string& path);
// The same path with its extension (from the last "." of the file name on)
// replaced by extension, or extension appended when there is none.
std::string ChangeFileExt(const std::string& path, const std::string& extension);
