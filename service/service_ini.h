#pragma once

#include <string>

#include "common/server_settings.h"
#include "service/event_log.h"

// The service's configuration file: "veltactl.ini" beside its executable.
std::string ServiceIniPath();

// The service's load of the configuration file: unreadable numbers and an
// unreadable file each become one event-log entry.
void ReloadIniToFastConfig(const std::string& iniPath, ServerSettings& settings, TEventLog& eventLog);
