#pragma once

// The service's fixed texts, as Windows-1250 bytes.

// Event-log entries: the program, the failing function and the failing step.
constexpr char kEventConfigLinesUnreadable[] = "veltad.exe : ReloadIniToFastConfig() > int lines = StrToInt( CONFIG_LINES )";
constexpr char kEventConfigPortUnreadable[] = "veltad.exe : ReloadIniToFastConfig() > int port = StrToInt( CONFIG_PORT )";
constexpr char kEventActivityLogUnreadable[] = "veltad.exe : GoSendMessageToLog() > LoadFromFile() > Exception";
constexpr char kEventActivityLogTrimFailed[] = "veltad.exe : GoSendMessageToLog() > Delete(0) > Exception";
constexpr char kEventActivityLogUnwritable[] = "veltad.exe : GoSendMessageToLog() > SaveToFile()";
constexpr char kEventActivityLogListFailed[] = "veltad.exe : GoSendMessageToLog() > StringList = new TStringList()";
constexpr char kEventConfigFileUnreadable[] =
    "veltad.exe : ReloadIniToFastConfig() > pIni = new TIniFile() || pIni->ReadString()";

// What the system's list of services says of VeltaService; plain ASCII,
// as the installer's copy of it must be.
constexpr char kServiceDescription[] =
    "Odgovara na svaki TCP okvir istim bajtovima, na portu iz veltactl.ini (podrazumevano 11059). "
    "Pali se i gasi programom veltactl.";

// Lines of the activity log, one for each life event.
constexpr char kLogStarted[] = "Pokrenut.";
constexpr char kLogActivated[] = "Aktiviran.";
constexpr char kLogPaused[] = "Pauziran.";
constexpr char kLogContinued[] = "Nastavljen.";
constexpr char kLogStopped[] = "Zaustavljen.";
constexpr char kLogShutDown[] = "Nasilno zatvoren.";
constexpr char kLogInstalled[] = "Instaliran.";
constexpr char kLogUninstalled[] = "Deinstaliran.";
constexpr char kLogReloaded[] = "Konfiguracije je po zahtevu ponovo u\xE8" "itana.";
