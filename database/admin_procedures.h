// The procedures behind the component's administration: application users with their
// Argon2id passwords and login, monitored servers with batch deletion of their entries, and
// the event exclusions the collector consults.
#pragma once

#include <string_view>

#include "platform/data/procedure_catalog.h"

namespace tamsel::db {

using platform::data::ProcedureCall;

// RETURN values other than 0 (they become the calling method's result code).
inline constexpr int kUserNameInvalid = 10;    // no name, or longer than 50 characters
inline constexpr int kUserNameTaken = 11;      // another user has that name
inline constexpr int kUserNotFound = 12;       // no user with the given AppUserID
inline constexpr int kPasswordMissing = 13;    // a new password that is NULL or empty
inline constexpr int kRoleNotFound = 14;       // no role with the given AppRoleID
inline constexpr int kLoginRefused = 15;       // unknown name or wrong password, alike
inline constexpr int kServerNameInvalid = 20;  // no name, or longer than 50 characters
inline constexpr int kServerNameTaken = 21;    // an active server has that name
inline constexpr int kServerNotFound = 22;     // no server with the given ELServerID
inline constexpr int kServerHasEntries = 23;   // ServerDelete while log entries remain
inline constexpr int kTimeMissing = 24;        // LogEntriesClear without a time
inline constexpr int kPairIncomplete = 30;     // an exclusion without server or event type
inline constexpr int kEventTypeNotFound = 31;  // no event type with the given EventTypeID

// What the user reads deliver in place of the stored password hash.
inline constexpr std::string_view kPasswordMask = "********";
// Rows a batch deletion removes at most.
inline constexpr int kDeleteBatchRows = 1000;

// Adds the administration procedures to the provider's catalog.
void RegisterAdminProcedures();

int AppUserAdd(ProcedureCall& call);
int AppUserEdit(ProcedureCall& call);
int AppUserInfoGet(ProcedureCall& call);
int AppUserListGet(ProcedureCall& call);
int AppUserDelete(ProcedureCall& call);
int AppUserLogIn(ProcedureCall& call);
int AppUserPasswordChange(ProcedureCall& call);

int ServerListGet(ProcedureCall& call);
int ServerAdd(ProcedureCall& call);
int ServerDisable(ProcedureCall& call);
int ServerDelete(ProcedureCall& call);
int LogEntryTop1000Delete(ProcedureCall& call);
int LogEntriesClear(ProcedureCall& call);

int EventExclusionGridGet(ProcedureCall& call);
int EventExclusionDelete(ProcedureCall& call);
int EventExclusionInsert(ProcedureCall& call);

}  // namespace tamsel::db
