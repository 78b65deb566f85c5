// CommonMethods: configuration, connection, trace log, transaction check, module state.
#include "reports/core/common_methods.h"

#include "platform/com/com_error.h"
#include "platform/com/object_context.h"
#include "platform/data/ado_constants.h"
#include "platform/registry/regional_settings.h"
#include "platform/xml/dom.h"
#include "reports/core/clock.h"
#include "reports/core/component_folder.h"
#include "reports/core/trace_file.h"

namespace tamsel::reports::CommonMethods {

namespace com = platform::com;
namespace data = platform::data;
namespace xml = platform::xml;

ModuleState& State() {
  static thread_local ModuleState state;
  return state;
}

std::string TraceNumber(std::int32_t value) { return std::to_string(value); }

std::string AppConfigPath() { return (ComponentFolder() / "AppConfig.xml").string(); }

void TraceWrite(std::string_view sText) {
  try {
    if (State().sLogFileName.empty()) LogFilePathInit();
    ModuleState& state = State();
    if (!state.regionalFormats) state.regionalFormats = platform::registry::LoadRegionalFormats();
    AppendToTraceFile(state.sLogFileName, TraceLine(LocalNow(), *state.regionalFormats, sText));
  } catch (...) {
    // A trace line may be lost; the caller never sees it.
  }
}

void LogFilePathInit() {
  std::tm now = LocalNow();
  std::string folder;
  LogFolderGet(folder);
  State().sLogFileName = TraceFileName(folder, now);
}

std::int32_t LogFolderGet(std::string& sFolder) {
  sFolder.clear();
  try {
    xml::Document doc;
    if (!doc.Load(AppConfigPath())) return kConfigNotLoadable;
    sFolder = doc.DocumentElement().SelectSingleNode("LOGFILE").GetAttribute("LogFilePath").CStr();
    return 0;
  } catch (const com::ComError& error) {
    sFolder.clear();
    return error.Number();
  }
}

std::int32_t DBConnStringInit() {
  TraceWrite("Call function CommonMethods.DBConnStringInit");
  std::int32_t code = 0;
  std::string description;
  try {
    std::string path = AppConfigPath();
    TraceWrite("AppConfig path: " + path);
    xml::Document doc;
    if (doc.Load(path)) {
      xml::Element database = doc.DocumentElement().SelectSingleNode("DATABASE");
      std::string server = database.GetAttribute("DBServer").CStr();
      std::string catalog = database.GetAttribute("DBName").CStr();
      std::int16_t useNt = database.GetAttribute("UseNTAuthentication").CInt();
      std::string user = database.GetAttribute("DBUserName").CStr();
      std::string password = database.GetAttribute("DBPassword").CStr();
      TraceWrite("DataSource: " + server);
      TraceWrite("InitialCatalog: " + catalog);
      std::string text = "Provider=SQLOLEDB;Data Source=" + server + ";Initial Catalog=" + catalog;
      text += useNt != 0 ? ";TRUSTED_CONNECTION=YES" : ";user id=" + user + ";password=" + password;
      State().sDBConnString = std::move(text);
      TraceWrite("CommonMethods.DBConnStringInit no errors");
      return 0;
    }
    code = kConfigNotLoadable;
  } catch (const com::ComError& error) {
    code = error.Number();
    description = error.Description();
  }
  TraceWrite("CommonMethods.DBConnStringInit errors " + TraceNumber(code) + " - " + description);
  return code;
}

std::int32_t DBConnectionOpen(std::optional<data::Connection>& conn) {
  TraceWrite("Call function CommonMethods.DBConnectionOpen");
  std::int32_t code = 0;
  std::string description;
  if (State().sDBConnString.empty()) code = DBConnStringInit();
  if (code == 0) {
    try {
      conn.emplace();
      conn->SetConnectionString(State().sDBConnString);
      conn->Open();
      TraceWrite("CommonMethods.DBConnectionOpen no errors");
      return 0;
    } catch (const com::ComError& error) {
      code = error.Number();
      description = error.Description();
    }
  }
  TraceWrite("CommonMethods.DBConnectionOpen errors " + TraceNumber(code) + " - " + description);
  return code;
}

std::int32_t DBConnectionClose(std::optional<data::Connection>& conn) {
  TraceWrite("Call function CommonMethods.DBConnectionClose");
  try {
    if (conn && conn->State() != data::adStateClosed) conn->Close();
    TraceWrite("CommonMethods.DBConnectionClose no errors");
    return 0;
  } catch (const com::ComError& error) {
    TraceWrite("CommonMethods.DBConnectionClose errors " + TraceNumber(error.Number()) + " - " +
               error.Description());
    return error.Number();
  }
}

void TransactionCheck() {
  com::ObjectContext* context = com::GetObjectContext();
  if (!context) throw com::ComError::Vb(com::kVbObjectNotSet);
  if (!context->IsInTransaction()) {
    throw com::ComError(kNoTransaction, "rcCOMRequiresTransactionErr",
                        "This call requires transaction");
  }
}

void ModuleStateClear() {
  State().sDBConnString.clear();
  State().sLogFileName.clear();
  State().regionalFormats.reset();
}

}  // namespace tamsel::reports::CommonMethods
