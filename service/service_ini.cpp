#include "service/service_ini.h"

#include "common/program_paths.h"
#include "common/settings_load.h"
#include "service/service_texts.h"

std::string ServiceIniPath() { return ExtractFilePath(ParamStr0()) + "veltactl.ini"; }

void ReloadIniToFastConfig(const std::string& iniPath, ServerSettings& settings, TEventLog& eventLog) {
  LoadServerSettings(iniPath, settings, [&eventLog](TSettingsProblem problem) {
    switch (problem) {
      case TSettingsProblem::LinesUnreadable: eventLog.LogError(kEventConfigLinesUnreadable); break;
      case TSettingsProblem::PortUnreadable: eventLog.LogError(kEventConfigPortUnreadable); break;
      case TSettingsProblem::FileUnreadable: eventLog.LogError(kEventConfigFileUnreadable); break;
    }
  });
}
