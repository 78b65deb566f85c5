// The server side of an in-process component: its class factories, the four entry points'
// work (register, unregister, get class object, can unload) and the file it was loaded from.
// The entry points themselves are exported by the component's library with C linkage and
// these signatures.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/automation_object.h"
#include "platform/com/guid.h"

namespace tamsel::platform::com {

inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
inline constexpr HRESULT SELFREG_E_TYPELIB = static_cast<HRESULT>(0x80040200u);
inline constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201u);

// IClassFactory: creates objects of one class. Factories are static objects of the module.
class ClassFactory {
 public:
  virtual ~ClassFactory() = default;
  virtual HRESULT CreateInstance(const Activation& activation,
                                 std::shared_ptr<IDispatchObject>& object) noexcept = 0;
};

struct CoClassInfo {
  std::string name;  // "Reports"
  Guid clsid;
  std::string progId;  // "TamselReportsCom.Reports"
  const InterfaceInfo* defaultInterface = nullptr;
  ClassFactory* factory = nullptr;
};

struct ServerInfo {
  std::string typeLibName;
  Guid libid;
  std::string typeLibVersion = "1.0";
  std::string lcid = "409";  // hexadecimal locale of the type library
  std::vector<CoClassInfo> classes;
};

// DllRegisterServer: for each class HKCR\CLSID\{clsid} (name, InprocServer32 = `library`
// with ThreadingModel Apartment, ProgID, TypeLib, VERSION), HKCR\<ProgID>\CLSID, its default
// interface under HKCR\Interface, and HKCR\TypeLib\{libid}\<version>. SELFREG_E_CLASS or
// SELFREG_E_TYPELIB when the registry refuses a write.
HRESULT RegisterServer(const ServerInfo& server, const std::filesystem::path& library);
// DllUnregisterServer: removes the same keys; entries already absent are not an error.
HRESULT UnregisterServer(const ServerInfo& server);
// DllGetClassObject: the factory of `clsid` when `iid` is IID_IClassFactory.
HRESULT GetClassObject(const ServerInfo& server, const Guid* clsid, const Guid* iid,
                       void** factory);
// DllCanUnloadNow: S_OK when no object of the module is alive, S_FALSE otherwise.
HRESULT CanUnloadNow();

// The file of the loaded module that contains `address` (dladdr), absolute.
std::filesystem::path ModuleFileOf(const void* address);

// The entry points' types, as the host looks them up.
using DllGetClassObjectFn = HRESULT (*)(const Guid* clsid, const Guid* iid, void** factory);
using DllRegisterServerFn = HRESULT (*)();
using DllCanUnloadNowFn = HRESULT (*)();

}  // namespace tamsel::platform::com
