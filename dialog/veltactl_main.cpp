// veltactl: the dialog that administers the service VeltaService.
#include <windows.h>

#include <exception>

#include "dialog/dialog_ini.h"
#include "dialog/dialog_texts.h"
#include "dialog/server_main_form.h"
#include "dialog/single_instance.h"

int main() {
  TApplication& application = TApplication::Platform();
  try {
    if (!CheckSingleInstance(application, kApplicationTitle, kInstanceMutexName)) return 0;
    application.Initialize();
    TServerMainForm ServerMainForm({application, TServiceManager::Platform(), TWindowStyle::Platform(), DialogIniPath(),
                                    [](int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }});
    application.Run();
  } catch (const std::exception& e) {
    application.ShowException(e.what());
  } catch (...) {
    application.ShowException("");
  }
  return 0;
}
