// The administration methods: application users and login (AppAdmin), monitored servers with
// the batch deletion of their entries, and the event exclusions (Reports). Each is installed
// into its slot by RegisterMethods and reached through the public interface.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/variant.h"
#include "reports/core/method_registry.h"

namespace tamsel::reports::admin {

using platform::com::Variant;

// Application users (AppAdmin).
std::int32_t AppUserAdd(Variant& sXml);
std::int32_t AppUserEdit(const std::string& sXml);
std::int32_t AppUserInfoGet(const Variant& lngAppUserID, Variant& sXml);
std::int32_t AppUserListGet(Variant& sXml);
std::int32_t AppUserDelete(const Variant& lngAppUserID);
std::int32_t AppUserLogIn(Variant& sXml);
std::int32_t AppUserPasswordChange(const std::string& sXml);
std::int32_t AppUserNavItemListGet(std::int32_t lngAppUserID, Variant& sXmlTopNav);
std::int32_t AppUserPageAccessCheck(std::int32_t lngAppUserID, const Variant& lngHtmlPageID,
                                    Variant& bCanAccessPage);

// Monitored servers and log maintenance (Reports).
std::int32_t ServerListGet(Variant& sXml);
std::int32_t ServerAdd(Variant& sXml);
std::int32_t ServerDisable(const Variant& lngELServerID);
std::int32_t ServerDelete(const Variant& lngELServerID);
std::int32_t LogEntryTop1000Delete(const Variant& lngELServerID);
std::int32_t LogEntriesClear(const std::string& datTimeGenerated);

// Event exclusions (Reports).
std::int32_t EventExclusionGridXmlGet(Variant& sXmlExclusionGrid);
std::int32_t ExclusionListSubmit(const std::string& sXmlEventExclusionDelete,
                                 std::string& sXmlEventExclusionInsert);

void RegisterMethods(MethodRegistry& registry);

}  // namespace tamsel::reports::admin
