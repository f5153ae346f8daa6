#pragma once

#include <string>

#include "common/server_settings.h"

// The dialog's configuration file: its own executable with the extension
// ".ini". The dialog never reports a problem with it.
std::string DialogIniPath();

void LoadIniSettings(const std::string& iniPath, ServerSettings& settings);
// Writes the four loaded, repaired values back.
void SaveIniSettings(const std::string& iniPath, const ServerSettings& settings);
