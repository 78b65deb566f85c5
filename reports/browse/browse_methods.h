// The log browser's methods of the Reports class: key query generation, paged retrieval,
// navigation tree and lookup lists, saved reports. Each mirrors its dispatch entry.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/variant.h"
#include "reports/core/method_registry.h"

namespace tamsel::reports::browse {

using platform::com::Variant;

std::int32_t SqlQueryGenerate(const std::string& sXml, Variant& sql);
std::string TextSqlMake(const std::string& sql);

std::int32_t LogEntryPageIdsGetFromDB(const std::string& sql, Variant& sXml);
std::int32_t LogEntryPageDetailsGetFromDB(Variant& sXml);

std::int32_t MenuXmlGet(Variant& sXmlMenuTree);
std::int32_t TwoFieldListFromDBGet(const std::string& sSpName, Variant& sXml);
std::int32_t ServerLogTypeFilterListGet(const Variant& qryFragment, Variant& sXml);
std::int32_t EventSourceListGet(const Variant& qryFragment, Variant& sXml);
std::int32_t EventTypeListGet(const Variant& qryFragment, Variant& sXml);
std::int32_t EventCategoryListGet(const Variant& qryFragment, Variant& sXml);

std::int32_t LogReportSave(std::int32_t lngAppUserID, const std::string& sSavedReportDescription,
                           const std::string& sSavedReportMetaData);
std::int32_t SavedReportListGet(std::int32_t lngAppUserID, Variant& sXml);
std::int32_t SavedReportDelete(const Variant& lngSavedReportHdrID);
std::int32_t SavedReportGet(std::int32_t lngSavedReportHdrID, Variant& sSavedReportDescription,
                            Variant& sSavedReportMetaData);

// Installs the methods above into the Reports class.
void RegisterMethods(MethodRegistry& registry);

}  // namespace tamsel::reports::browse
