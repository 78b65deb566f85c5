// /status: the component's heartbeat, the database version, and what is stored per server
// and log (read through platform/data).
#include <nlohmann/json.hpp>

#include "database/ledger_procedures.h"
#include "platform/com/com_error.h"
#include "platform/data/connection.h"
#include "web/stored_entries.h"
#include "web/web_app.h"

namespace tamsel::web {

namespace {

namespace com = platform::com;
namespace data = platform::data;

// What the gap of a ledger row means, in the table's words; empty for none.
std::string LedgerGapText(const std::string& kind, const std::string& size) {
  if (kind == "wrapped") return "wrapped: " + size + " record(s) lost";
  if (kind == "cleared") return "cleared by someone else";
  if (kind == "silent") return "no records this pass";
  if (kind == "offline") return "server offline";
  return "";
}

nlohmann::json Ledger(const std::string& connectionString, std::string& error) {
  nlohmann::json rows = nlohmann::json::array();
  try {
    data::Connection connection;
    connection.Open(connectionString);
    data::Recordset found = connection.Execute(db::kLedgerStatusQuery);
    for (; !found.IsEOF(); found.MoveNext()) {
      const std::string first = found["FirstRecord"].CStr();
      const std::string kind = found["GapKind"].CStr();
      const std::string log = found["LogName"].CStr();
      const std::string server = found["ServerName"].CStr();
      rows.push_back({{"server", server},
                      {"log", log.empty() ? "all logs" : log},
                      {"passEnd", found["PassEnd"].CStr()},
                      {"outcome", found["Outcome"].CStr()},
                      {"read", found["RecordsRead"].CStr()},
                      {"stored", found["RecordsStored"].CStr()},
                      {"excluded", found["RecordsExcluded"].CStr()},
                      {"notStored", found["RecordsNotStored"].CStr()},
                      {"backupsKept", found["BackupsKept"].CStr()},
                      {"records", first.empty() ? "-" : first + "-" + found["LastRecord"].CStr()},
                      {"newestRecordTime", found["NewestRecordTime"].CStr()},
                      {"gap", !kind.empty()},
                      {"gapText", LedgerGapText(kind, found["GapSize"].CStr())}});
    }
    connection.Close();
  } catch (const com::ComError& failure) {
    error = "The collection ledger could not be read: " + failure.Description();
  }
  return rows;
}

}  // namespace

void RegisterStatusPage(WebApp& app) {
  app.Server().Get("/status", [&app](const httplib::Request& request, httplib::Response& response) {
    auto session = app.Guard(request, response);
    if (!session) return;
    CallResult heartbeat = session->apartment.Call(std::string(kReports) + ".HeartBitCheck", {});
    nlohmann::json page{{"title", "Status"}};
    // The heartbeat's text separates its lines with <br>; each becomes a line of text.
    std::string text = heartbeat.raised ? std::string() : heartbeat.result.CStr();
    if (text.empty()) {
      page["healthy"] = false;
      page["heartbeat"] = {heartbeat.raised
                               ? "The component could not be called: " + heartbeat.errorDescription
                               : "The component answered with an empty heartbeat: the "
                                 "database cannot be reached or its version cannot be read."};
    } else {
      page["healthy"] = true;
      page["heartbeat"] = MessageLines(text);
    }
    std::string error;
    page["servers"] = StoredEntries(app.DatabaseConnectionString(), error);
    page["countError"] = error;
    page["noEntries"] = page["servers"].empty() && error.empty();
    page["hasServers"] = !page["servers"].empty();
    std::string ledgerError;
    page["ledger"] = Ledger(app.DatabaseConnectionString(), ledgerError);
    page["ledgerError"] = ledgerError;
    page["noLedger"] = page["ledger"].empty() && ledgerError.empty();
    page["hasLedger"] = !page["ledger"].empty();
    app.Render(response, "status", page, session.get());
  });
}

}  // namespace tamsel::web
