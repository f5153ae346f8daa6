// veltad: the echo service VeltaService.
#include <exception>

#include "service/service_application.h"
#include "service/velta_service.h"

int main(int argc, char** argv) {
  int exitCode = 0;
  try {
    TVeltaService service;
    VeltaService = &service;
    exitCode = RunServiceApplication(service, argc, argv);
    VeltaService = nullptr;
  } catch (const std::exception& e) {
    ShowStartupError(e.what());
  } catch (...) {
    ShowStartupError("");
  }
  // 0 for every run of the service itself; a registration run tells its
  // result.
  return exitCode;
}
