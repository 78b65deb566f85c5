// The alert methods of the Reports class: definitions with their metadata, recipients with
// their schedules, and the alert SQL generated from a definition. Each is installed into its
// slot by RegisterMethods and reached through the public interface.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/variant.h"
#include "reports/core/method_registry.h"

namespace tamsel::reports::alerts {

using platform::com::Variant;

// Definitions.
std::int32_t AlertHdrUpdate(std::int32_t appUserID, const std::string& alertDesc,
                            const std::string& alertMetaData, Variant& alertHdrID);
std::int32_t AlertListGet(Variant& sXml);
std::int32_t AlertHdrSetStatus(const Variant& alertHdrID, std::int16_t statusFlag);
std::int32_t AlertDelete(const Variant& alertHdrID);
std::int32_t AlertHdrGet(std::int32_t alertHdrID, Variant& alertDesc, Variant& alertMetaData);

// Recipients and schedules.
std::int32_t AlertRecipientUpdate(const std::string& sXmlAlertSchedule);
std::int32_t AlertScheduleGet(const std::string& alertHdrID, Variant& sXml);
std::int32_t AlertRecipientRemove(std::int32_t alertHdrID, std::int32_t alertRecipientID);

// Alert SQL.
std::int32_t SqlForAlertGenerate(const std::string& alertHdrID, Variant& sql,
                                 const std::string& sXml);

void RegisterMethods(MethodRegistry& registry);

}  // namespace tamsel::reports::alerts
