// Creation by ProgID: registry look-up, library loading, class factory.
#include "platform/com/create_object.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

#include "platform/com/inproc_server.h"
#include "platform/registry/registry.h"

namespace tamsel::platform::com {

namespace reg = platform::registry;

namespace {

std::mutex librariesMutex;
std::string lastLoadError;

// Loaded libraries stay loaded for the life of the process: their objects and per-thread
// state may outlive any one caller.
void* LoadLibrary(const std::filesystem::path& library) {
  std::lock_guard lock(librariesMutex);
  static std::map<std::string, void*> loaded;
  std::string key = library.string();
  auto found = loaded.find(key);
  if (found != loaded.end()) return found->second;
  void* handle = dlopen(key.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* error = dlerror();
    lastLoadError = error ? error : "cannot load " + key;
    return nullptr;
  }
  loaded.emplace(key, handle);
  return handle;
}

bool ReadDefault(const std::string& path, std::string& value) {
  reg::RegistryKey key;
  if (reg::RegistryKey::Open(reg::HKEY_CLASSES_ROOT, path, reg::KEY_READ, key) != 0) return false;
  return key.GetString("", value) == 0 && !value.empty();
}

}  // namespace

HRESULT CLSIDFromProgID(std::string_view progId, Guid& clsid) {
  std::string text;
  if (progId.empty() || !ReadDefault(std::string(progId) + "\\CLSID", text)) {
    return CO_E_CLASSSTRING;
  }
  std::optional<Guid> parsed = Guid::Parse(text);
  if (!parsed) return CO_E_CLASSSTRING;
  clsid = *parsed;
  return S_OK;
}

HRESULT CoCreateInstance(const Guid& clsid, const Activation& activation,
                         std::shared_ptr<IDispatchObject>& object) {
  std::string library;
  if (!ReadDefault("CLSID\\" + clsid.ToString() + "\\InprocServer32", library)) {
    return REGDB_E_CLASSNOTREG;
  }
  void* handle = LoadLibrary(library);
  if (!handle) return CO_E_DLLNOTFOUND;
  auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
  if (!getClassObject) return CO_E_ERRORINDLL;
  void* raw = nullptr;
  HRESULT hr = getClassObject(&clsid, &IID_IClassFactory(), &raw);
  if (FAILED(hr)) return hr;
  return static_cast<ClassFactory*>(raw)->CreateInstance(activation, object);
}

std::shared_ptr<IDispatchObject> CreateObject(std::string_view progId,
                                              const Activation& activation) {
  Guid clsid;
  std::shared_ptr<IDispatchObject> object;
  HRESULT hr = CLSIDFromProgID(progId, clsid);
  if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, activation, object);
  if (FAILED(hr) || !object) throw ComError::Vb(kVbCannotCreateObject);
  return object;
}

HRESULT CallServerEntry(const std::filesystem::path& library, const char* entry) {
  void* handle = LoadLibrary(std::filesystem::absolute(library).lexically_normal());
  if (!handle) return CO_E_DLLNOTFOUND;
  auto function = reinterpret_cast<DllRegisterServerFn>(dlsym(handle, entry));
  if (!function) return CO_E_ERRORINDLL;
  return function();
}

std::string LastLoadError() {
  std::lock_guard lock(librariesMutex);
  return lastLoadError;
}

}  // namespace tamsel::platform::com
