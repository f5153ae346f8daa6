#pragma once

#include <string>

// The four settings, each held as text exactly as loaded (after repair) and
// turned into a number only where it is used.
struct ServerSettings {
  std::string Limiting;
  std::string Lines;
  std::string Port;
  std::string StartType;
};
