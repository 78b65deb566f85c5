// The streamed CSV export.
#include "web/csv_export.h"

#include <optional>
#include <unordered_map>

#include "platform/data/connection.h"
#include "platform/data/session.h"
#include "platform/data/sql_translation.h"
#include "web/web_app.h"

namespace tamsel::web {

namespace data = platform::data;

namespace {

constexpr const char* kDetails =
    "SELECT le.LEID, le.TimeGenerated, s.ELServerName, lt.LogTypeName, et.EventTypeName, "
    "le.EventID, els.ELSourceName, ec.EventCategoryName, elu.ELUserName, le.RecordNumber, "
    "le.FullMessage FROM LogEntry le "
    "JOIN ELServer s ON s.ELServerID = le.ELServerID "
    "JOIN LogType lt ON lt.LogTypeID = le.LogTypeID "
    "JOIN EventType et ON et.EventTypeID = le.EventTypeID "
    "JOIN EventCategory ec ON ec.EventCategoryID = le.EventCategoryID "
    "JOIN ELUser elu ON elu.ELUserID = le.ELUserID "
    "JOIN ELSource els ON els.ELSourceID = le.ELSourceID "
    "WHERE le.LEID IN (SELECT value FROM json_each(?))";

const std::vector<std::string>& Header() {
  static const std::vector<std::string> header = {"Entry", "Time generated", "Server", "Log",
                                                  "Type",  "Event ID",       "Source", "Category",
                                                  "User",  "Record number",  "Message"};
  return header;
}

}  // namespace

std::string SpreadsheetText(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos ||
      std::string_view("=+-@").find(text[first]) == std::string::npos) {
    return text;
  }
  return "'" + text;
}

std::string CsvField(const std::string& raw) {
  const std::string text = SpreadsheetText(raw);
  if (text.find_first_of("\",\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string CsvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i) line += ',';
    line += CsvField(fields[i]);
  }
  return line + "\r\n";
}

std::string MessageText(const std::string& stored) {
  std::string text;
  const std::vector<std::string> lines = MessageLines(stored);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i) text += "\r\n";
    text += lines[i];
  }
  return text;
}

struct CsvExport::State {
  data::Connection connection;
  std::optional<data::Statement> keys;
  bool keysDone = false;
};

CsvExport::CsvExport(const std::string& connectionString, const std::string& keyQuery)
    : state_(std::make_unique<State>()) {
  state_->connection.Open(connectionString);
  std::string_view tail;
  const std::string sql = data::TranslateSql(keyQuery);
  state_->keys.emplace(state_->connection.GetSession().PrepareFirst(sql, tail));
}

CsvExport::~CsvExport() {
  state_->keys.reset();
  if (state_->connection.State() != 0) state_->connection.Close();
}

bool CsvExport::Next(std::string& out, std::size_t rows) {
  if (!headerDone_) {
    out += "\xEF\xBB\xBF" + CsvLine(Header());
    headerDone_ = true;
  }
  if (state_->keysDone) return false;
  std::vector<std::int64_t> order;
  std::string json = "[";
  while (order.size() < rows && state_->keys->Step()) {
    const std::int64_t key = state_->keys->Int64(0);
    if (!order.empty()) json += ',';
    json += std::to_string(key);
    order.push_back(key);
  }
  json += "]";
  if (order.size() < rows) state_->keysDone = true;
  if (order.empty()) return false;
  std::unordered_map<std::int64_t, std::string> lines;
  lines.reserve(order.size());
  data::Statement details = state_->connection.GetSession().Prepare(kDetails);
  details.BindText(1, json);
  while (details.Step()) {
    std::vector<std::string> fields;
    for (int column = 0; column < 10; ++column) fields.push_back(details.Text(column));
    fields.push_back(MessageText(details.Text(10)));
    lines[details.Int64(0)] = CsvLine(fields);
  }
  for (std::int64_t key : order) {
    auto it = lines.find(key);
    if (it == lines.end()) continue;  // deleted since the key query started
    out += it->second;
    ++written_;
  }
  return true;
}

}  // namespace tamsel::web
