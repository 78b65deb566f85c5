// The error type of the automation runtime and the data layer, and the VB run-time's own
// error descriptions.
#include "platform/com/com_error.h"

#include <cstdio>

namespace tamsel::platform::com {

std::string_view VbErrorDescription(std::int32_t number) {
  switch (number) {
    case kVbInvalidCall:
      return "Invalid procedure call or argument";
    case kVbOverflow:
      return "Overflow";
    case 7:
      return "Out of memory";
    case 9:
      return "Subscript out of range";
    case kVbDivisionByZero:
      return "Division by zero";
    case kVbTypeMismatch:
      return "Type mismatch";
    case 438:
      return "Object doesn't support this property or method";
    case 429:
      return "ActiveX component can't create object";
    case kVbObjectNotSet:
      return "Object variable or With block variable not set";
    case kVbInvalidUseOfNull:
      return "Invalid use of Null";
    default:
      return "Application-defined or object-defined error";
  }
}

HRESULT HResultFromVbError(std::int32_t number) {
  return static_cast<HRESULT>(0x800A0000u | (static_cast<std::uint32_t>(number) & 0xFFFFu));
}

ComError::ComError(std::int32_t number, std::string source, std::string description)
    : number_(number), source_(std::move(source)), description_(std::move(description)) {
  char head[32];
  if (number_ < 0) {
    std::snprintf(head, sizeof head, "0x%08X", static_cast<unsigned>(number_));
  } else {
    std::snprintf(head, sizeof head, "%d", number_);
  }
  what_ = std::string("error ") + head;
  if (!source_.empty()) what_ += " (" + source_ + ")";
  if (!description_.empty()) what_ += ": " + description_;
}

ComError ComError::Vb(std::int32_t number, std::string source) {
  return ComError(number, std::move(source), std::string(VbErrorDescription(number)));
}

HRESULT ComError::ToHResult() const { return number_ < 0 ? number_ : HResultFromVbError(number_); }

}  // namespace tamsel::platform::com
