// The client side of object creation: ProgID to CLSID through the registry, the in-process
// server's library loaded and asked for its class factory, and the self-registration entry
// points of a library called by path.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

#include "platform/com/automation_object.h"
#include "platform/com/guid.h"

namespace tamsel::platform::com {

inline constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);
inline constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x8007007Eu);
inline constexpr std::int32_t kVbCannotCreateObject = 429;

// HKCR\<progId>\CLSID; CO_E_CLASSSTRING when the ProgID is not registered.
HRESULT CLSIDFromProgID(std::string_view progId, Guid& clsid);

// HKCR\CLSID\{clsid}\InprocServer32 names the library; it is loaded once per process and
// stays loaded. REGDB_E_CLASSNOTREG, CO_E_DLLNOTFOUND, CO_E_ERRORINDLL or the factory's error.
HRESULT CoCreateInstance(const Guid& clsid, const Activation& activation,
                         std::shared_ptr<IDispatchObject>& object);

// VB's CreateObject: raises 429 "ActiveX component can't create object" on any failure.
std::shared_ptr<IDispatchObject> CreateObject(std::string_view progId,
                                              const Activation& activation = {});

// Loads `library` and calls its entry point `entry` ("DllRegisterServer",
// "DllUnregisterServer"). CO_E_DLLNOTFOUND / CO_E_ERRORINDLL when it cannot.
HRESULT CallServerEntry(const std::filesystem::path& library, const char* entry);

// The text dlopen gave for the last library that did not load ("" if none).
std::string LastLoadError();

}  // namespace tamsel::platform::com
