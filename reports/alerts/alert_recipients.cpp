// The recipients of an alert: adding or changing one from its document, the schedule list,
// and removing one.
#include <string>

#include "platform/data/ado_constants.h"
#include "platform/xml/dom.h"
#include "reports/alerts/alert_methods.h"
#include "reports/alerts/recipient_schedule.h"
#include "reports/core/method_frame.h"

namespace tamsel::reports::alerts {

namespace data = platform::data;
namespace xml = platform::xml;

namespace {

constexpr long kLongCommandTimeout = 600;

// NULL for empty text, else the text.
Variant TextOrNull(const std::string& text) {
  return text.empty() ? Variant::Null() : Variant(text);
}

void AppendInput(data::Command& command, const char* name, long type, long size, Variant value) {
  command.GetParameters().Append(
      command.CreateParameter(name, type, data::adParamInput, size, std::move(value)));
}

}  // namespace

std::int32_t AlertRecipientUpdate(const std::string& sXmlAlertSchedule) {
  MethodFrame frame("Reports.AlertRecipientUpdate");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("AlertRecipientUpdate");
    xml::Document doc;
    doc.LoadXml(sXmlAlertSchedule);
    xml::Element root = doc.DocumentElement();

    // Identifiers are read as 16-bit values: 13 for text that is no number, 6 beyond 32767.
    const std::string recipientId = root.GetAttribute("AlertRecipientID").CStr();
    AppendInput(command, "@AlertRecipientID", data::adInteger, 4,
                recipientId.empty() ? Variant::Null() : Variant(Variant(recipientId).CInt()));
    AppendInput(command, "@AlertHdrID", data::adInteger, 4,
                Variant(root.GetAttribute("AlertHdrID").CInt()));
    AppendInput(command, "@Email", data::adVarChar, 50, root.GetAttribute("Email"));

    const std::string startTime = root.GetAttribute("ScheduleStartTime").CStr();
    AppendInput(command, "@ScheduleStartTime", data::adVarChar, 20, TextOrNull(startTime));
    const std::string endTime = root.GetAttribute("ScheduleEndTime").CStr();
    AppendInput(command, "@ScheduleEndTime", data::adVarChar, 20, TextOrNull(endTime));
    AppendInput(command, "@ScheduleTimeDisplay", data::adVarChar, 50,
                Variant(ScheduleTimeDisplay(startTime, endTime)));

    ScheduleDays days;
    for (const xml::Element& day : root.SelectNodes("SCHEDULEDAY")) {
      const std::string name = day.GetAttribute("DayName").CStr();
      days.Add(name, day.GetAttribute("DayValue").CLng());
    }
    AppendInput(command, "@ScheduleDaysMeta", data::adInteger, 4, Variant(days.Mask()));
    AppendInput(command, "@ScheduleDaysDisplay", data::adVarChar, 50, Variant(days.Display()));
    call.Execute(command);
  });
}

std::int32_t AlertScheduleGet(const std::string& alertHdrID, Variant& sXml) {
  MethodFrame frame("Reports.AlertScheduleGet");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("AlertScheduleGet");
    AppendInput(command, "@AlertHdrID", data::adInteger, 4, Variant(Variant(alertHdrID).CInt()));
    data::Recordset rows = call.Execute(command, data::adOptionUnspecified);
    xml::Document doc;
    doc.LoadXml("<ALERTSCHEDULE/>");
    xml::Element root = doc.DocumentElement();
    for (; !rows.IsEOF(); rows.MoveNext()) {
      xml::Element recipient = doc.CreateElement("ALERTRECIPIENT");
      for (const char* column : {"AlertHdrID", "AlertRecipientID", "Email", "ScheduleDaysMeta",
                                 "ScheduleDaysDisplay", "StartHour", "StartMinute", "StartAmPm",
                                 "EndHour", "EndMinute", "EndAmPm", "ScheduleTimeDisplay"}) {
        recipient.SetAttribute(column, rows[column].CStr());
      }
      root.AppendChild(recipient);
    }
    sXml = Variant(doc.Xml());
    call.Trace("sXml " + doc.Xml());
  });
}

std::int32_t AlertRecipientRemove(std::int32_t alertHdrID, std::int32_t alertRecipientID) {
  MethodFrame frame("Reports.AlertRecipientRemove");
  return frame.Run([&](MethodFrame& call) {
    data::Command command = call.StoredProcedure("AlertRecipientRemove");
    command.SetCommandTimeout(kLongCommandTimeout);
    AppendInput(command, "@AlertHdrID", data::adInteger, 4, Variant(alertHdrID));
    AppendInput(command, "@AlertRecipientID", data::adInteger, 4, Variant(alertRecipientID));
    call.Execute(command);
  });
}

}  // namespace tamsel::reports::alerts
