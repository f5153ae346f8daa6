// veltad: the echo service VeltaService.
#include <exception>

#include "service/service_application.h"
#include "service/velta_service.h"

int main(int argc, char** argv) {
  try {
    TVeltaService service;
    VeltaService = &service;
    RunServiceApplication(service, argc, argv);
    VeltaService = nullptr;
  } catch (const std::exception& e) {
    ShowStartupError(e.what());
  } catch (...) {
    ShowStartupError("");
  }
  return 0;
}
