// Mapping the alert metadata's INPUT fields onto the report-filter attributes.
#include "reports/alerts/alert_query_parameters.h"

#include "platform/xml/dom.h"
#include "reports/browse/report_filter.h"

namespace tamsel::reports::alerts {

namespace xml = platform::xml;

namespace {

// The first INPUT of that name anywhere in the document, in document order; Nothing if none.
xml::Element Input(const xml::Element& root, const std::string& name) {
  return root.SelectSingleNode("//INPUT[@name='" + name + "']");
}

// A list field: no attribute when the field or its value is missing, or when the value holds
// All (the user chose every item).
void SetUnlessAll(const xml::Element& root, const std::string& inputName, xml::Element& parameters,
                  const char* attribute) {
  xml::Element input = Input(root, inputName);
  if (!input) return;
  platform::com::Variant value = input.GetAttribute("value");
  if (value.IsNull()) return;
  const std::string text = value.CStr();
  if (text.find("All") == std::string::npos) parameters.SetAttribute(attribute, text);
}

}  // namespace

std::string QueryParametersXml(const std::string& metaData) {
  xml::Document source;
  source.LoadXml("<MetaData>" + metaData + "</MetaData>");
  xml::Element root = source.DocumentElement();
  xml::Document target;
  target.LoadXml("<QueryParameters />");
  xml::Element parameters = target.DocumentElement();

  // Required: a missing field is Nothing (91), a field without a value NULL (94).
  parameters.SetAttribute(browse::kServerLogTypeFilter,
                          Input(root, "hServerLogTypeFilter").GetAttribute("value").CStr());
  SetUnlessAll(root, "hELSource", parameters, browse::kELSource);
  SetUnlessAll(root, "hEventType", parameters, browse::kEventType);
  if (Input(root, "chk_EventID")) {
    // The switch's presence alone turns the identifier filter on.
    xml::Element exclude = Input(root, "radio_EventIDExclude");
    platform::com::Variant sense =
        exclude ? exclude.GetAttribute("value") : platform::com::Variant("include");
    if (!sense.IsNull()) parameters.SetAttribute(browse::kEventIDExclude, sense.CStr());
    platform::com::Variant ids = Input(root, "txtEventID").GetAttribute("value");
    if (!ids.IsNull()) parameters.SetAttribute(browse::kEventID, ids.CStr());
  }
  SetUnlessAll(root, "hEventCategory", parameters, browse::kEventCategory);
  return target.Xml();
}

}  // namespace tamsel::reports::alerts
