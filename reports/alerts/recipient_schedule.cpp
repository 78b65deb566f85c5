// The derived values of a recipient's schedule.
#include "reports/alerts/recipient_schedule.h"

#include <cmath>

#include "platform/com/variant.h"

namespace tamsel::reports::alerts {

std::string ScheduleTimeDisplay(std::string_view startTime, std::string_view endTime) {
  std::string display = startTime.empty() ? std::string("24 hours") : std::string(startTime);
  if (!endTime.empty()) display += " - " + std::string(endTime);
  return display;
}

void ScheduleDays::Add(std::string_view dayName, std::int32_t dayValue) {
  display_ += separator_;
  display_ += dayName;
  const double sum = static_cast<double>(mask_) + std::pow(2.0, dayValue);
  mask_ = platform::com::Variant(sum).CLng();
  separator_ = ", ";
}

}  // namespace tamsel::reports::alerts
