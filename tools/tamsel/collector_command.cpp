// `tamsel collector status`: the completeness ledger, the newest pass of every server and
// log, with the gaps the collector found.
#include <cstdio>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "database/database_file.h"
#include "database/ledger_procedures.h"
#include "platform/com/com_error.h"
#include "platform/data/session.h"
#include "tools/tamsel/commands.h"

namespace tamsel::tools {

namespace {

constexpr const char* kUsage =
    "usage: tamsel collector status [--catalog NAME] [--json]\n"
    "  the newest collection pass of every server and log: records read, stored, excluded and\n"
    "  not stored, backups kept, first and last record, and the gaps found (records lost to a\n"
    "  wrapped or foreign-cleared log, a log that produced nothing, a server offline)\n";

constexpr const char* kColumns[db::kLedgerStatusColumns] = {
    "server",    "log",      "passStart", "passEnd",     "outcome",          "read",
    "stored",    "excluded", "notStored", "backupsKept", "firstRecord",      "lastRecord",
    "firstTime", "lastTime", "gap",       "gapSize",     "newestRecordTime", "lostRecords"};

int Fail(const std::string& error) {
  std::fprintf(stderr, "tamsel collector: %s\n", error.c_str());
  return 1;
}

using Row = std::vector<std::string>;

std::vector<Row> ReadStatus(const std::filesystem::path& file) {
  auto session = platform::data::Session::Open(file);
  auto rows = session->Prepare(db::kLedgerStatusQuery);
  std::vector<Row> result;
  while (rows.Step()) {
    Row row;
    for (int column = 0; column < db::kLedgerStatusColumns; ++column) {
      row.push_back(rows.Text(column));
    }
    result.push_back(std::move(row));
  }
  return result;
}

// The gap column in words: what was lost and why.
std::string GapText(const Row& row) {
  const std::string& kind = row[14];
  if (kind.empty()) return "-";
  if (kind == "wrapped") return "wrapped, " + row[15] + " lost";
  if (kind == "cleared") return "cleared elsewhere";
  return kind;
}

void PrintTable(const std::vector<Row>& rows) {
  std::printf("%-12s %-14s %-19s %-12s %6s %6s %6s %6s %4s %-15s %s\n", "SERVER", "LOG", "PASS END",
              "OUTCOME", "READ", "STORED", "EXCL", "NOTST", "BAK", "RECORDS", "GAP");
  for (const Row& row : rows) {
    const std::string records = row[10].empty() ? "-" : row[10] + "-" + row[11];
    std::printf("%-12s %-14s %-19s %-12s %6s %6s %6s %6s %4s %-15s %s\n", row[0].c_str(),
                row[1].empty() ? "*" : row[1].c_str(), row[3].c_str(), row[4].c_str(),
                row[5].c_str(), row[6].c_str(), row[7].c_str(), row[8].c_str(), row[9].c_str(),
                records.c_str(), GapText(row).c_str());
  }
}

}  // namespace

int RunCollectorCommand(const Args& args) {
  bool json = false;
  std::string catalog{db::kDefaultCatalog};
  std::string action;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::printf("%s", kUsage);
      return 0;
    }
    if (args[i] == "--json") {
      json = true;
    } else if (args[i] == "--catalog" && i + 1 < args.size()) {
      catalog = args[++i];
    } else if (action.empty() && !args[i].starts_with("-")) {
      action = args[i];
    } else {
      std::fprintf(stderr, "%s", kUsage);
      return Fail("unexpected argument '" + args[i] + "'");
    }
  }
  if (action != "status") {
    std::fprintf(stderr, "%s", kUsage);
    return 1;
  }
  if (catalog.find_first_of("/\\") != std::string::npos || catalog.starts_with(".")) {
    return Fail("'" + catalog + "' is not a catalog name");
  }
  const std::filesystem::path file = db::LocalCatalogFile(catalog);
  if (!std::filesystem::exists(file))
    return Fail("database file " + file.string() + " does not exist");
  try {
    const std::vector<Row> rows = ReadStatus(file);
    if (json) {
      nlohmann::ordered_json out = nlohmann::ordered_json::array();
      for (const Row& row : rows) {
        nlohmann::ordered_json entry;
        for (int column = 0; column < db::kLedgerStatusColumns; ++column) {
          entry[kColumns[column]] = row[column];
        }
        out.push_back(entry);
      }
      std::printf("%s\n", out.dump(2).c_str());
    } else if (rows.empty()) {
      std::printf("no collection pass recorded yet\n");
    } else {
      PrintTable(rows);
    }
    return 0;
  } catch (const platform::com::ComError& error) {
    return Fail(file.string() + ": " + error.Description());
  }
}

}  // namespace tamsel::tools
