// Small pieces the log browser's methods share: text commands in the skeleton's shape, the
// text of an in/out VARIANT, and the text a column value becomes in an attribute.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/variant.h"
#include "platform/data/command.h"
#include "reports/core/method_frame.h"

namespace tamsel::reports::browse {

// A SQL text command (type 1) on the call's connection with the return-value parameter
// "lngRetVal" first, as every command of the skeleton has; a text sets no return value, so it
// reads as 0.
platform::data::Command TextCommand(MethodFrame& call, std::string text);

// The text of a by-reference VARIANT holding XML: Empty and Null read as "".
std::string VariantText(const platform::com::Variant& value);

// A column value as attribute text: its CStr, raising 94 for NULL.
std::string ColumnText(const platform::com::Variant& value);

}  // namespace tamsel::reports::browse
