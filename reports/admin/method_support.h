// Small pieces the administration methods share: parameters appended in one line, the text
// of an in/out VARIANT and a document handed back through one, the text a column becomes in
// an attribute, and password masking for the trace lines that echo a user document.
#pragma once

#include <string>
#include <string_view>

#include "platform/com/variant.h"
#include "platform/data/command.h"
#include "platform/xml/dom.h"

namespace tamsel::reports::admin {

inline constexpr std::string_view kPasswordMask = "********";

// Appends an input parameter (direction 1) with its value.
void AppendInput(platform::data::Command& command, const char* name, long type, long size,
                 platform::com::Variant value);
// Appends an output parameter (direction 2, size 0) without a value.
void AppendOutput(platform::data::Command& command, const char* name, long type);

// The text of a by-reference VARIANT holding XML: Empty and Null read as "".
std::string VariantText(const platform::com::Variant& value);

// Hands `doc` back through the by-reference VARIANT `out` as text; returns that text, which
// the method's trace line echoes.
std::string HandBack(const platform::xml::Document& doc, platform::com::Variant& out);

// A column value as attribute text: its CStr, raising 94 for NULL.
std::string ColumnText(const platform::com::Variant& value);

// `xmlText` with the value of every AppUserPassword attribute replaced by the mask, the rest
// unchanged. Works on the raw text, so input that does not parse is masked too; an empty
// value stays empty.
std::string MaskPasswords(std::string_view xmlText);

}  // namespace tamsel::reports::admin
