// The conversion of a parameter's value to the ADO type it declares, as the provider makes
// it before a call: a value that does not fit its type fails with the conversion error.
#pragma once

#include <string_view>

#include "platform/com/variant.h"

namespace tamsel::platform::data {

// Empty and Null become Null; integers, doubles and booleans follow VB's rules (numeric
// text parsed, doubles rounded half to even); dates accept date text and OLE dates; text
// types take the value's text. Raises 0x80040E07 naming the parameter when the value does
// not convert or does not fit (a 16-bit value above 32767, text that is not a number or a
// date).
com::Variant ConvertToAdoType(const com::Variant& value, long adoType,
                              std::string_view parameterName);

// True for the ADO types that carry text.
bool IsTextType(long adoType);

}  // namespace tamsel::platform::data
