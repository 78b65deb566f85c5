// Registration of an in-process server in the local machine's registry, and its class objects.
#include "platform/com/inproc_server.h"

#include <dlfcn.h>

#include "platform/registry/registry.h"

namespace tamsel::platform::com {

namespace reg = platform::registry;

namespace {

// IDispatch's proxy/stub class, under which dual interfaces are marshalled.
constexpr const char* kDispatchProxyStub = "{00020424-0000-0000-C000-000000000046}";

bool SetDefault(const std::string& path, std::string_view value) {
  reg::RegistryKey key;
  if (reg::RegistryKey::Create(reg::HKEY_CLASSES_ROOT, path, key) != 0) return false;
  return key.SetString("", value) == 0;
}

bool SetNamed(const std::string& path, std::string_view name, std::string_view value) {
  reg::RegistryKey key;
  if (reg::RegistryKey::Create(reg::HKEY_CLASSES_ROOT, path, key) != 0) return false;
  return key.SetString(name, value) == 0;
}

bool RegisterClass(const ServerInfo& server, const CoClassInfo& coClass,
                   const std::string& library) {
  std::string clsidKey = "CLSID\\" + coClass.clsid.ToString();
  std::string libid = server.libid.ToString();
  bool ok = SetDefault(clsidKey, coClass.progId) &&
            SetDefault(clsidKey + "\\InprocServer32", library) &&
            SetNamed(clsidKey + "\\InprocServer32", "ThreadingModel", "Apartment") &&
            SetDefault(clsidKey + "\\ProgID", coClass.progId) &&
            SetDefault(clsidKey + "\\TypeLib", libid) &&
            SetDefault(clsidKey + "\\VERSION", server.typeLibVersion) &&
            SetDefault(coClass.progId, coClass.progId) &&
            SetDefault(coClass.progId + "\\CLSID", coClass.clsid.ToString());
  if (ok && coClass.defaultInterface) {
    std::string interfaceKey = "Interface\\" + coClass.defaultInterface->Iid().ToString();
    ok = SetDefault(interfaceKey, coClass.defaultInterface->Name()) &&
         SetDefault(interfaceKey + "\\ProxyStubClsid32", kDispatchProxyStub) &&
         SetDefault(interfaceKey + "\\TypeLib", libid) &&
         SetNamed(interfaceKey + "\\TypeLib", "Version", server.typeLibVersion);
  }
  return ok;
}

bool RegisterTypeLib(const ServerInfo& server, const std::string& library) {
  std::string versionKey = "TypeLib\\" + server.libid.ToString() + "\\" + server.typeLibVersion;
  std::string folder = std::filesystem::path(library).parent_path().string();
  return SetDefault(versionKey, server.typeLibName) &&
         SetDefault(versionKey + "\\" + server.lcid + "\\win32", library) &&
         SetDefault(versionKey + "\\FLAGS", "0") && SetDefault(versionKey + "\\HELPDIR", folder);
}

// Deletes a tree; a key that is already gone counts as removed.
bool RemoveTree(const std::string& path) {
  reg::LSTATUS status = reg::RegDeleteTreeA(reg::HKEY_CLASSES_ROOT, path.c_str());
  return status == 0 || status == static_cast<reg::LSTATUS>(ERROR_FILE_NOT_FOUND);
}

}  // namespace

HRESULT RegisterServer(const ServerInfo& server, const std::filesystem::path& library) {
  std::string path = std::filesystem::absolute(library).lexically_normal().string();
  for (const CoClassInfo& coClass : server.classes) {
    if (!RegisterClass(server, coClass, path)) return SELFREG_E_CLASS;
  }
  return RegisterTypeLib(server, path) ? S_OK : SELFREG_E_TYPELIB;
}

HRESULT UnregisterServer(const ServerInfo& server) {
  bool ok = true;
  for (const CoClassInfo& coClass : server.classes) {
    ok = RemoveTree("CLSID\\" + coClass.clsid.ToString()) && ok;
    ok = RemoveTree(coClass.progId) && ok;
    if (coClass.defaultInterface) {
      ok = RemoveTree("Interface\\" + coClass.defaultInterface->Iid().ToString()) && ok;
    }
  }
  if (!ok) return SELFREG_E_CLASS;
  std::string libKey = "TypeLib\\" + server.libid.ToString();
  if (!RemoveTree(libKey + "\\" + server.typeLibVersion)) return SELFREG_E_TYPELIB;
  // The type library key goes with its last version.
  reg::RegistryKey key;
  if (reg::RegistryKey::Open(reg::HKEY_CLASSES_ROOT, libKey, reg::KEY_READ, key) == 0 &&
      key.SubKeyNames().empty()) {
    key = reg::RegistryKey();
    if (!RemoveTree(libKey)) return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

HRESULT GetClassObject(const ServerInfo& server, const Guid* clsid, const Guid* iid,
                       void** factory) {
  if (!factory || !clsid || !iid) return E_POINTER;
  *factory = nullptr;
  for (const CoClassInfo& coClass : server.classes) {
    if (coClass.clsid != *clsid) continue;
    if (*iid != IID_IClassFactory()) return E_NOINTERFACE;
    *factory = coClass.factory;
    return S_OK;
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadNow() { return ModuleObjectCount().load() == 0 ? S_OK : S_FALSE; }

std::filesystem::path ModuleFileOf(const void* address) {
  Dl_info info{};
  if (dladdr(address, &info) == 0 || !info.dli_fname) return {};
  std::error_code error;
  std::filesystem::path file = std::filesystem::canonical(info.dli_fname, error);
  return error ? std::filesystem::absolute(info.dli_fname) : file;
}

}  // namespace tamsel::platform::com
