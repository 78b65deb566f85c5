// The recipient's weekday mask and daily window against a local time.
#include "alerting/recipient_schedule.h"

namespace tamsel::alerting {
namespace {

// tm_wday counts from Sunday = 0; the mask from Sunday = 1.
bool DayInMask(int mask, int weekday) {
  return (static_cast<unsigned>(mask) >> ((weekday + 7) % 7 + 1) & 1u) != 0;
}

}  // namespace

bool IsDue(const RecipientSchedule& schedule, const std::tm& local) {
  const int today = local.tm_wday;
  const int minute = local.tm_hour * 60 + local.tm_min;
  if (!schedule.startMinute) return DayInMask(schedule.dayMask, today);
  const int start = *schedule.startMinute;
  if (!schedule.endMinute) return DayInMask(schedule.dayMask, today) && minute >= start;
  const int end = *schedule.endMinute;
  if (start == end) return DayInMask(schedule.dayMask, today);
  if (start < end) return DayInMask(schedule.dayMask, today) && minute >= start && minute < end;
  return (minute >= start && DayInMask(schedule.dayMask, today)) ||
         (minute < end && DayInMask(schedule.dayMask, today - 1));
}

}  // namespace tamsel::alerting
