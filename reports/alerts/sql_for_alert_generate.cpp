// SqlForAlertGenerate: the alert SQL, the report filter's conditions without the time range
// and without a leading keyword, from the alert's stored metadata or a given QueryParameters
// document.
#include <string>

#include "platform/xml/dom.h"
#include "reports/alerts/alert_methods.h"
#include "reports/alerts/alert_query_parameters.h"
#include "reports/browse/condition_builder.h"
#include "reports/browse/filter_language.h"
#include "reports/browse/report_filter.h"
#include "reports/core/component_objects.h"
#include "reports/core/method_frame.h"

namespace tamsel::reports::alerts {

namespace com = platform::com;
namespace xml = platform::xml;

namespace {

// The metadata stored with the alert, read through the public interface; a failure of the
// nested call fails this one with its result.
std::string StoredMetaData(MethodFrame& call, const std::string& alertHdrID) {
  com::Arguments args{Variant(Variant(alertHdrID).CLng()), Variant(""), Variant("")};
  std::int32_t result = ComponentCall("Reports.AlertHdrGet", args).CLng();
  if (result != 0) call.Fail(result);
  return args[2].value.CStr();
}

// VB's `sql & text`: NULL and Empty start from nothing.
std::string TextOf(const Variant& value) { return value.IsNull() ? std::string() : value.CStr(); }

}  // namespace

std::int32_t SqlForAlertGenerate(const std::string& alertHdrID, Variant& sql,
                                 const std::string& sXml) {
  FrameOptions options;
  options.usesContext = false;  // no connection, context or vote of its own
  MethodFrame frame("Reports.SqlForAlertGenerate", options);
  return frame.Run([&](MethodFrame& call) {
    std::string parametersXml = sXml;
    if (parametersXml.empty()) parametersXml = QueryParametersXml(StoredMetaData(call, alertHdrID));

    xml::Document doc;
    doc.LoadXml(parametersXml);
    browse::ReportFilter filter = browse::ReportFilter::Read(doc.DocumentElement());
    // The alert SQL is stored for the process that runs it: every value must have its form.
    if (std::optional<std::string> refused =
            browse::CheckReportFilter(filter, browse::FilterUse::Conditions)) {
      browse::RefuseArgument(*refused);
    }
    browse::ConditionBuilder conditions;
    browse::AppendFilterConditions(conditions, filter, browse::TimeRange::Omit);

    // Only conditions are appended: without any, `sql` stays exactly as passed (NULL included).
    if (!conditions.Text().empty()) sql = Variant(TextOf(sql) + conditions.Text());
    call.Trace("sql " + TextOf(sql));
  });
}

}  // namespace tamsel::reports::alerts
