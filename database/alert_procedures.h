// The procedures behind the component's alerts: headers with their metadata items, the
// alert list, status and condition, and the recipients with their schedules.
#pragma once

#include <optional>
#include <string_view>

#include "platform/data/procedure_catalog.h"

namespace tamsel::db {

using platform::data::ProcedureCall;

// RETURN values other than 0 (they become the calling method's result code).
inline constexpr int kAlertNotFound = 1;        // no alert with the given AlertHdrID
inline constexpr int kRecipientNotFound = 2;    // the alert has no recipient with that id
inline constexpr int kScheduleTimeInvalid = 3;  // a window time that is not a time of day

// Adds the alert procedures to the provider's catalog.
void RegisterAlertProcedures();

int AlertHdrUpdate(ProcedureCall& call);
int AlertItemMetaDataAdd(ProcedureCall& call);
int AlertListGet(ProcedureCall& call);
int AlertHdrSetStatus(ProcedureCall& call);
int AlertDelete(ProcedureCall& call);
int AlertHdrGet(ProcedureCall& call);
int AlertRecipientUpdate(ProcedureCall& call);
int AlertScheduleGet(ProcedureCall& call);
int AlertRecipientRemove(ProcedureCall& call);
// The alert sender's ledger: one notification, and the recipient's watermark moved with it.
int AlertNotificationAdd(ProcedureCall& call);

// The minute of the day (0 to 1439) of a window time as the alert pages write it:
// "H:MM", "H:MM:SS" on the 24-hour clock, or the same (or "H") followed by AM or PM in any
// case. Nothing for any other text.
std::optional<int> ScheduleMinuteOfDay(std::string_view text);

}  // namespace tamsel::db
