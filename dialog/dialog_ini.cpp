#include "dialog/dialog_ini.h"

#include "common/program_paths.h"
#include "common/settings_load.h"

std::string DialogIniPath() { return ChangeFileExt(ParamStr0(), ".ini"); }

void LoadIniSettings(const std::string& iniPath, ServerSettings& settings) {
  LoadServerSettings(iniPath, settings, nullptr);
}

void SaveIniSettings(const std::string& iniPath, const ServerSettings& settings) {
  SaveServerSettings(iniPath, settings);
}
