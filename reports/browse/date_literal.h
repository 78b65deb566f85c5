// Date literals of report filters and key queries: every form the database reads in a quoted
// date, turned into the one form TimeGenerated is stored in ("YYYY-MM-DD HH:MM:SS"), so that
// a bound compares with the stored text as the database compares dates.
//
//   2003-01-31, 2003-1-31, 2003/01/31, 2003.01.31, 20030131          numeric, year first
//   2003-01-31T14:30:00, 2003-01-31 14:30, 2003-01-31 14:30:00.000   with a time of day
//   Jan 31 2003, January 31, 2003, 31 January 2003, 2003 Jan 31      month names
//   1/31/2003 2:30 PM                                                the regional short date
//
// Blanks around the text are allowed; the time may carry AM/PM and fractional seconds.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tamsel::reports::browse {

// Which end of a range a date bounds. Stored times are whole seconds, so a fraction moves a
// lower bound up to the next second and cuts an upper one down: the same entries match.
enum class DateBound { Lower, Upper };

// The stored form of the date, or nothing when `text` is no date the database reads.
std::optional<std::string> StoredDate(std::string_view text, DateBound bound);

// True for text already in the stored form.
bool IsStoredDate(std::string_view text);

}  // namespace tamsel::reports::browse
