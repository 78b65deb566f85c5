// When a recipient is due: its weekday mask and its daily window. Days are numbered as the
// alert pages number them, 1 = Sunday to 7 = Saturday, so the mask uses bits 1 to 7.
#pragma once

#include <ctime>
#include <optional>

namespace tamsel::alerting {

struct RecipientSchedule {
  int dayMask = 0;
  std::optional<int> startMinute;  // minute of the day; none: the whole day
  std::optional<int> endMinute;    // none: until midnight
};

// True when `local` (a local time) lies in a window of the schedule. A window that ends
// before it starts runs over midnight, and its hours after midnight belong to the day it
// started on. A window whose start and end are equal is the whole day, not an empty one.
bool IsDue(const RecipientSchedule& schedule, const std::tm& local);

}  // namespace tamsel::alerting
