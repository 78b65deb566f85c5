// The component's two public classes: their GUIDs, their dispatch tables in slot order (the
// DISPID of slot n is 0x60030000 + n), and the description its server entry points register.
#pragma once

#include <string_view>

#include "platform/com/dispatch.h"
#include "platform/com/inproc_server.h"

namespace tamsel::reports {

enum class ComponentClass { Reports, AppAdmin };

inline constexpr std::string_view kComponentName = "TamselReportsCom";
inline constexpr std::string_view kLibId = "{60CA334F-BDDB-4D0E-A761-604D9A8D884E}";
inline constexpr std::string_view kAppAdminClsid = "{E278E61F-811A-4845-B41D-992F8F53E39E}";
inline constexpr std::string_view kAppAdminIid = "{85FA3A9C-EE04-48BD-8379-D47C335C41B6}";
inline constexpr std::string_view kReportsClsid = "{75BAF1CA-6F4D-4282-AB39-952A8DCD0D4F}";
inline constexpr std::string_view kReportsIid = "{E04598CE-FB33-4E1D-8195-28971CAD94A8}";
// Type-library custom attribute read by COM+: the classes require a transaction.
inline constexpr std::string_view kTransactionAttribute = "{17093CC5-9BD2-11CF-AA4F-304BF89C0001}";

// _Reports and _AppAdmin.
const platform::com::InterfaceInfo& ReportsInterface();
const platform::com::InterfaceInfo& AppAdminInterface();
const platform::com::InterfaceInfo& InterfaceOf(ComponentClass componentClass);

std::string_view ClassName(ComponentClass componentClass);  // "Reports" / "AppAdmin"
// By class name, any case; nothing for another name.
std::optional<ComponentClass> ClassByName(std::string_view name);

// The type library, both classes and their factories, as the entry points register them.
const platform::com::ServerInfo& ComponentServer();

}  // namespace tamsel::reports
