#pragma once

#include <functional>
#include <string>

#include "common/server_settings.h"

// What a load can find wrong, for the side that reports it.
enum class TSettingsProblem {
  LinesUnreadable,
  PortUnreadable,
  // The file could not be opened or read; nothing was repaired.
  FileUnreadable,
};

using TSettingsReport = std::function<void(TSettingsProblem)>;

// The one load of both programs: reads the four keys with their defaults,
// in the order Limiting, Lines, Port, StartType, then repairs them. After a
// failed read the repairs are skipped and the fields not read keep what
// they held.
void LoadServerSettings(const std::string& iniPath, ServerSettings& settings, const TSettingsReport& report);

// Writes the four values in the order Limiting, Lines, Port, StartType. A
// failure ends the save silently; values written before it stay written.
void SaveServerSettings(const std::string& iniPath, const ServerSettings& settings);

// Reads one key; the default when the key is missing or the INI facility
// fails.
std::string ReadIniValue(const std::string& iniPath, const std::string& section, const std::string& key,
                         const std::string& defaultValue);

// Writes one key; a failure of the INI facility is silent.
void WriteIniValue(const std::string& iniPath, const std::string& section, const std::string& key,
                   const std::string& value);
