// Shared pieces of the administration methods.
#include "reports/admin/method_support.h"

namespace tamsel::reports::admin {
namespace {

constexpr std::string_view kPasswordAttribute = "AppUserPassword";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The end of an attribute value that starts at `pos` (after the quote when quoted).
std::size_t ValueEnd(std::string_view text, std::size_t pos, char quote) {
  if (quote) {
    std::size_t end = text.find(quote, pos);
    return end == std::string_view::npos ? text.size() : end;
  }
  while (pos < text.size() && !IsBlank(text[pos]) && text[pos] != '>' && text[pos] != '/') ++pos;
  return pos;
}

}  // namespace

void AppendInput(platform::data::Command& command, const char* name, long type, long size,
                 platform::com::Variant value) {
  command.GetParameters().Append(
      command.CreateParameter(name, type, platform::data::adParamInput, size, std::move(value)));
}

void AppendOutput(platform::data::Command& command, const char* name, long type) {
  command.GetParameters().Append(
      command.CreateParameter(name, type, platform::data::adParamOutput, 0));
}

std::string VariantText(const platform::com::Variant& value) {
  return value.IsEmpty() || value.IsNull() ? std::string() : value.CStr();
}

std::string HandBack(const platform::xml::Document& doc, platform::com::Variant& out) {
  std::string text = doc.Xml();
  out = platform::com::Variant(text);
  return text;
}

std::string ColumnText(const platform::com::Variant& value) { return value.CStr(); }

std::string MaskPasswords(std::string_view xmlText) {
  std::string masked;
  std::size_t copied = 0;
  for (std::size_t found = xmlText.find(kPasswordAttribute); found != std::string_view::npos;
       found = xmlText.find(kPasswordAttribute, found + 1)) {
    std::size_t pos = found + kPasswordAttribute.size();
    while (pos < xmlText.size() && IsBlank(xmlText[pos])) ++pos;
    if (pos >= xmlText.size() || xmlText[pos] != '=') continue;
    ++pos;
    while (pos < xmlText.size() && IsBlank(xmlText[pos])) ++pos;
    char quote = 0;
    if (pos < xmlText.size() && (xmlText[pos] == '"' || xmlText[pos] == '\''))
      quote = xmlText[pos++];
    const std::size_t end = ValueEnd(xmlText, pos, quote);
    if (end == pos || pos < copied) continue;
    masked.append(xmlText.substr(copied, pos - copied)).append(kPasswordMask);
    copied = end;
    found = end - 1;
  }
  masked.append(xmlText.substr(copied));
  return masked;
}

}  // namespace tamsel::reports::admin
