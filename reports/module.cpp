// libTamselReportsCom.so: the component's in-process server. Exports the four entry points
// with C linkage and installs every folder's methods when the library is loaded.
#include <cstdint>

#include "platform/com/inproc_server.h"
#include "reports/core/component_classes.h"
#include "reports/core/method_registry.h"
#include "reports/module_methods.h"

namespace {

namespace com = tamsel::platform::com;

// Installs the methods once, when the library is loaded into a process.
struct ModuleStart {
  ModuleStart() {
    tamsel::reports::RegisterModuleMethods(tamsel::reports::MethodRegistry::Global());
  }
};
const ModuleStart moduleStart;

}  // namespace

extern "C" {

__attribute__((visibility("default"))) com::HRESULT DllRegisterServer() {
  try {
    return com::RegisterServer(
        tamsel::reports::ComponentServer(),
        com::ModuleFileOf(reinterpret_cast<const void*>(&DllRegisterServer)));
  } catch (...) {
    return com::SELFREG_E_CLASS;
  }
}

__attribute__((visibility("default"))) com::HRESULT DllUnregisterServer() {
  try {
    return com::UnregisterServer(tamsel::reports::ComponentServer());
  } catch (...) {
    return com::SELFREG_E_CLASS;
  }
}

__attribute__((visibility("default"))) com::HRESULT DllGetClassObject(const com::Guid* clsid,
                                                                      const com::Guid* iid,
                                                                      void** factory) {
  try {
    return com::GetClassObject(tamsel::reports::ComponentServer(), clsid, iid, factory);
  } catch (...) {
    return com::E_UNEXPECTED;
  }
}

__attribute__((visibility("default"))) com::HRESULT DllCanUnloadNow() {
  return com::CanUnloadNow();
}

}  // extern "C"
