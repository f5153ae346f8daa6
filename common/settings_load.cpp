#include "common/settings_load.h"

#include "common/ini_file.h"
#include "common/str_to_int.h"

namespace {

constexpr int kLargestNumber = 32768;

// A number from 1 to 32768 stays in its written form; any other number
// becomes the default silently; text that is no number is reported.
void RepairNumber(std::string& value, const char* defaultValue, TSettingsProblem problem,
                  const TSettingsReport& report) {
  int number = 0;
  if (!TryStrToInt(value, number)) {
    value = defaultValue;
    if (report) report(problem);
  } else if (number < 1 || number > kLargestNumber) {
    value = defaultValue;
  }
}

void RepairFlag(std::string& value, const char* defaultValue) {
  if (value != "1" && value != "0") value = defaultValue;
}

}  // namespace

void LoadServerSettings(const std::string& iniPath, ServerSettings& settings, const TSettingsReport& report) {
  try {
    TIniFile ini(iniPath);
    settings.Limiting = ini.ReadString("Log", "Limiting", "1");
    settings.Lines = ini.ReadString("Log", "Lines", "500");
    settings.Port = ini.ReadString("Connections", "Port", "11059");
    settings.StartType = ini.ReadString("Server", "StartType", "0");
  } catch (const std::exception&) {
    if (report) report(TSettingsProblem::FileUnreadable);
    return;
  }
  RepairFlag(settings.Limiting, "1");
  RepairFlag(settings.StartType, "0");
  RepairNumber(settings.Lines, "500", TSettingsProblem::LinesUnreadable, report);
  RepairNumber(settings.Port, "11059", TSettingsProblem::PortUnreadable, report);
}

void SaveServerSettings(const std::string& iniPath, const ServerSettings& settings) {
  try {
    TIniFile ini(iniPath);
    ini.WriteString("Log", "Limiting", settings.Limiting);
    ini.WriteString("Log", "Lines", settings.Lines);
    ini.WriteString("Connections", "Port", settings.Port);
    ini.WriteString("Server", "StartType", settings.StartType);
  } catch (const std::exception&) {
  }
}

std::string ReadIniValue(const std::string& iniPath, const std::string& section, const std::string& key,
                         const std::string& defaultValue) {
  try {
    return TIniFile(iniPath).ReadString(section, key, defaultValue);
  } catch (const std::exception&) {
    return defaultValue;
  }
}

void WriteIniValue(const std::string& iniPath, const std::string& section, const std::string& key,
                   const std::string& value) {
  try {
    TIniFile(iniPath).WriteString(section, key, value);
  } catch (const std::exception&) {
  }
}
