// libFuzzer target: the configuration file as an administrator's editor may
// leave it. Loading never fails and always ends with valid settings; a write
// of one key lands, reads back as written, and changes no other key.
//
// Input: 1 byte that chooses the key and its value, then the file's bytes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "common/ini_file.h"
#include "common/server_settings.h"
#include "common/settings_load.h"
#include "common/str_to_int.h"

namespace {

struct TKey {
  const char* Section;
  const char* Key;
  const char* Default;
};

constexpr TKey kKeys[] = {
    {"Log", "Limiting", "1"}, {"Log", "Lines", "500"}, {"Connections", "Port", "11059"}, {"Server", "StartType", "0"}};

bool InRange(const std::string& text) {
  int value = 0;
  return TryStrToInt(text, value) && value >= 1 && value <= 32768;
}

void Check(bool holds) {
  if (!holds) std::abort();
}

std::string Path() {
  static const std::string path = "/tmp/velta-ini-fuzz-" + std::to_string(getpid()) + ".ini";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const TKey& chosen = kKeys[data[0] % 4];
  std::string value = std::to_string((data[0] >> 2) * 517 % 40000);
  {
    std::ofstream file(Path(), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data) + 1, static_cast<std::streamsize>(size - 1));
  }

  ServerSettings settings;
  bool unreadable = false;
  LoadServerSettings(Path(), settings, [&](TSettingsProblem problem) {
    if (problem == TSettingsProblem::FileUnreadable) unreadable = true;
  });
  Check(!unreadable);
  Check(settings.Limiting == "1" || settings.Limiting == "0");
  Check(settings.StartType == "1" || settings.StartType == "0");
  Check(InRange(settings.Lines) && InRange(settings.Port));

  TIniFile ini(Path());
  std::string before[4];
  for (int i = 0; i < 4; ++i) before[i] = ini.ReadString(kKeys[i].Section, kKeys[i].Key, kKeys[i].Default);
  WriteIniValue(Path(), chosen.Section, chosen.Key, value);
  for (int i = 0; i < 4; ++i) {
    std::string now = ini.ReadString(kKeys[i].Section, kKeys[i].Key, kKeys[i].Default);
    Check(&kKeys[i] == &chosen ? now == value : now == before[i]);
  }
  std::remove(Path().c_str());
  return 0;
}
