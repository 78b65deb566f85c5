// The procedures behind the log browser: page details, the navigation tree, the two-field
// lists a page may name, and saved reports with their metadata items.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/data/procedure_catalog.h"

namespace tamsel::db {

using platform::data::ProcedureCall;

// Sizes of the parameters, in characters counted as 16-bit code units.
inline constexpr std::size_t kIdsSize = 4000;
inline constexpr std::size_t kSavedReportDescriptionSize = 255;
inline constexpr std::size_t kSavedReportMetaDataSize = 1023;

// Adds the log browser's procedures to the provider's catalog.
void RegisterBrowseProcedures();

// The number of characters of UTF-8 text as the declared sizes count them: 16-bit code units,
// so a character outside the basic plane counts two.
std::size_t CharacterCount(std::string_view text);

int LogEntryPageDetailsGet(ProcedureCall& call);
// The statement LogEntryPageDetailsGet runs: one parameter, the keys as a JSON array.
std::string_view PageDetailsQuery();
int MenuServerListGet(ProcedureCall& call);

// Two-field lists (id, name), sorted by name.
int ELServerNameListGet(ProcedureCall& call);
int LogTypeNameListGet(ProcedureCall& call);
int ELSourceNameListGet(ProcedureCall& call);
int EventTypeNameListGet(ProcedureCall& call);
int EventCategoryNameListGet(ProcedureCall& call);
int AppRoleNameListGet(ProcedureCall& call);

int SavedReportHdrMake(ProcedureCall& call);
int SavedReportMetaDataAdd(ProcedureCall& call);
int SavedReportListGet(ProcedureCall& call);
int SavedReportDelete(ProcedureCall& call);
int SavedReportGet(ProcedureCall& call);

}  // namespace tamsel::db
