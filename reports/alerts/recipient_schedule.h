// What AlertRecipientUpdate composes from a recipient document besides the raw values: the
// time display, the days display and the day mask.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tamsel::reports::alerts {

// "24 hours" for an empty start, else the start; then " - " and the end when there is one.
std::string ScheduleTimeDisplay(std::string_view startTime, std::string_view endTime);

// The chosen days, one at a time in document order.
class ScheduleDays {
 public:
  // Adds the day's name to the display and 2 to the power `dayValue` to the mask, computed in
  // floating point and rounded back to a 32-bit integer: a mask that no longer fits raises
  // 6 (overflow). A day listed twice adds its power twice.
  void Add(std::string_view dayName, std::int32_t dayValue);

  const std::string& Display() const { return display_; }  // names joined by ", "
  std::int32_t Mask() const { return mask_; }

 private:
  std::string display_;
  std::string separator_;
  std::int32_t mask_ = 0;
};

}  // namespace tamsel::reports::alerts
