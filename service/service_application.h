#pragma once

#include "service/service_framework.h"

// Runs the service application for the one service object. Windows: with
// /install or /uninstall (and /silent) it registers or removes the service;
// otherwise it connects to the system's service control dispatcher and runs
// the service until it has stopped. POSIX: runs the service in the
// foreground, with signals standing in for the control codes. The result is
// the process's exit code: 0, or the error of a failed registration or
// removal.
int RunServiceApplication(TService& service, int argc, char** argv);

// Shows an error that escaped the program's start-up.
void ShowStartupError(const char* message);
