#pragma once

#include <string>

#include "dialog/gui_toolkit.h"

// One dialog per logon: true when this process is the first instance. A
// later one brings the first one's window forward (restored if it was
// minimised) and returns false, showing nothing of its own.
bool CheckSingleInstance(TApplication& application, const std::string& title, const std::string& mutexName);
