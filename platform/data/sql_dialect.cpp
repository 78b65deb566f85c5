// The rewrites from the embedded dialect to the server's, kept in one table.
#include "platform/data/sql_dialect.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <regex>

namespace tamsel::platform::data {
namespace {

struct Rewrite {
  std::regex pattern;
  const char* replacement;
};

const std::vector<Rewrite>& StatementRewrites() {
  static const std::vector<Rewrite> rewrites = [] {
    const auto icase = std::regex::icase | std::regex::ECMAScript;
    return std::vector<Rewrite>{
        {std::regex(R"(datetime\s*\(\s*'now'\s*,\s*'localtime'\s*\))", icase),
         "to_char(localtimestamp, 'YYYY-MM-DD HH24:MI:SS')"},
        {std::regex(R"(printf\s*\(\s*'%02d'\s*,\s*([^()]*)\))", icase),
         "lpad(CAST($1 AS TEXT), 2, '0')"},
        {std::regex(R"(group_concat\s*\()", icase), "string_agg("},
        // MAX and MIN of two values are the embedded engine's scalar forms.
        {std::regex(R"(\bMAX\s*\(([^(),]+),([^(),]+)\))", icase), "GREATEST($1,$2)"},
        {std::regex(R"(\bMIN\s*\(([^(),]+),([^(),]+)\))", icase), "LEAST($1,$2)"},
        // A JSON array of keys as a set of rows.
        {std::regex(R"(SELECT value FROM json_each\s*\(\s*(\?\d*)\s*\))", icase),
         "SELECT CAST(value AS BIGINT) FROM json_array_elements_text(CAST($1 AS JSON)) AS "
         "j(value)"},
        {std::regex(R"(^\s*BEGIN\s+IMMEDIATE\b)", icase), "BEGIN"},
        // The embedded planner's "use no index here" hint; the server's planner weighs the
        // key range itself.
        {std::regex(R"(\s+NOT\s+INDEXED\b)", icase), ""},
    };
  }();
  return rewrites;
}

const std::regex& InsertOrIgnore() {
  static const std::regex pattern(R"(INSERT\s+OR\s+IGNORE\s+INTO)",
                                  std::regex::icase | std::regex::ECMAScript);
  return pattern;
}

const std::vector<Rewrite>& SchemaRewrites() {
  static const std::vector<Rewrite> rewrites = [] {
    const auto icase = std::regex::icase | std::regex::ECMAScript;
    return std::vector<Rewrite>{
        // The key comes from a sequence of the table's own: concurrent writers never
        // meet on it (see KeepKeyTrigger for rows inserted with explicit keys).
        {std::regex(R"(CREATE TABLE (\w+) \(\s*(\w+) INTEGER PRIMARY KEY)", icase),
         "CREATE SEQUENCE IF NOT EXISTS $1_key;\n"
         "CREATE TABLE $1 (\n  $2 BIGINT PRIMARY KEY DEFAULT nextval('$1_key')"},
        {std::regex(R"(\bTEXT( NOT NULL)? COLLATE NOCASE)", icase), "CITEXT$1"},
        {std::regex(R"(\bINTEGER\b)", icase), "BIGINT"},
        {std::regex(R"(\)\s*WITHOUT ROWID)", icase), ")"},
    };
  }();
  return rewrites;
}

std::string ApplyAll(std::string text, const std::vector<Rewrite>& rewrites) {
  for (const Rewrite& rewrite : rewrites) {
    text = std::regex_replace(text, rewrite.pattern, rewrite.replacement);
  }
  return text;
}

std::string NumberPlaceholders(std::string_view sql) {
  std::string out;
  out.reserve(sql.size() + 16);
  int highest = 0;
  for (size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (c == '\'' || c == '"') {
      const size_t close = sql.find(c, i + 1);
      const size_t end = close == std::string_view::npos ? sql.size() : close + 1;
      out.append(sql.substr(i, end - i));
      i = end - 1;
      continue;
    }
    if (c != '?') {
      out += c;
      continue;
    }
    size_t j = i + 1;
    while (j < sql.size() && std::isdigit(static_cast<unsigned char>(sql[j]))) ++j;
    const int number =
        j > i + 1 ? std::stoi(std::string(sql.substr(i + 1, j - i - 1))) : highest + 1;
    if (number > highest) highest = number;
    out += '$' + std::to_string(number);
    i = j - 1;
  }
  return out;
}

// LogEntry keyed by (LEID, TimeGenerated), as a partitioned table's keys must hold the
// partition column, with a default partition for times no month was made for.
std::string PartitionLogEntry(std::string script) {
  static const std::regex table(
      R"(CREATE TABLE LogEntry \(\s*LEID BIGINT PRIMARY KEY DEFAULT ([^\n]*),)");
  std::smatch match;
  if (!std::regex_search(script, match, table)) return script;
  const size_t start = match.position(0);
  const size_t close = script.find("\n);", start);
  if (close == std::string::npos) return script;
  std::string body =
      "CREATE TABLE LogEntry (\n  LEID BIGINT NOT NULL DEFAULT " + match[1].str() + "," +
      script.substr(start + match.length(0), close - start - match.length(0)) +
      ",\n  PRIMARY KEY (LEID, TimeGenerated)\n) PARTITION BY RANGE (TimeGenerated);\n"
      "CREATE TABLE LogEntry_Default PARTITION OF LogEntry DEFAULT;";
  return script.substr(0, start) + body + script.substr(close + 3);
}

// Line comments go: a "?" or quote in one must not count as SQL.
std::string WithoutLineComments(const std::string& sql) {
  std::string out;
  for (size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (c == '\'' || c == '"') {
      const size_t close = sql.find(c, i + 1);
      const size_t end = close == std::string::npos ? sql.size() : close + 1;
      out.append(sql, i, end - i);
      i = end - 1;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      const size_t eol = sql.find('\n', i);
      i = eol == std::string::npos ? sql.size() : eol - 1;
    } else {
      out += c;
    }
  }
  return out;
}

// A keyed table's sequence belongs to its key column, and a statement that inserts keys of
// its own (seed rows, copies, fixtures) moves the sequence past them, so the next key made
// is above every key stored, as the embedded engine's rowid is.
std::string KeepKeyTrigger(const std::string& statement) {
  static const std::regex keyed(
      R"(^\s*CREATE TABLE (\w+) \(\s*(\w+) BIGINT (?:NOT NULL |PRIMARY KEY )DEFAULT )"
      R"(nextval\('(\w+)'\))");
  std::smatch match;
  if (!std::regex_search(statement, match, keyed)) return {};
  const std::string table = match[1].str(), key = match[2].str(), sequence = match[3].str();
  return "ALTER SEQUENCE " + sequence + " OWNED BY " + table + "." + key + ";\nCREATE TRIGGER " +
         table + "_key_kept AFTER INSERT ON " + table +
         " REFERENCING NEW TABLE AS added FOR EACH STATEMENT EXECUTE FUNCTION tamsel_keep_key('" +
         sequence + "', '" + key + "');\n";
}

// The end of a quoted string or identifier starting at `i`.
size_t QuotedEnd(std::string_view sql, size_t i) {
  const size_t close = sql.find(sql[i], i + 1);
  return close == std::string_view::npos ? sql.size() : close + 1;
}

// "[name]" outside quotes is the bracket-quoted identifier both the embedded engine and the
// system's SQL know; the server knows the name bare (quoted it would turn case-sensitive).
std::string WithoutBrackets(std::string_view sql) {
  std::string out;
  for (size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (c == '\'' || c == '"') {
      const size_t end = QuotedEnd(sql, i);
      out.append(sql.substr(i, end - i));
      i = end - 1;
      continue;
    }
    // A subscript (name[1], array[i]) follows a name; a bracketed name never does.
    const bool subscript = i > 0 && (std::isalnum(static_cast<unsigned char>(sql[i - 1])) ||
                                     sql[i - 1] == '_' || sql[i - 1] == ']' || sql[i - 1] == ')');
    const size_t close = c == '[' && !subscript ? sql.find(']', i) : std::string_view::npos;
    if (close != std::string_view::npos &&
        std::all_of(
            sql.begin() + i + 1, sql.begin() + close,
            [](char ch) { return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_'; }) &&
        close > i + 1) {
      out.append(sql.substr(i + 1, close - i - 1));
      i = close;
      continue;
    }
    out += c;
  }
  return out;
}

// A key query ("SELECT LEID, ... ORDER BY ...") sorted by a column of equal values gives
// those rows in the order the embedded engine's index holds them, the same at every run; the
// server orders ties anew for each LIMIT, so a page could repeat a row of the page before
// and never show another. The key, in the sort's last direction, breaks the ties.
std::string WithKeyTieBreak(std::string text) {
  static const std::regex keyQuery(R"(^\s*SELECT\s+LEID\b)", std::regex::icase);
  if (!std::regex_search(text, keyQuery)) return text;
  size_t orderBy = std::string::npos, limit = std::string::npos;
  int depth = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\'' || c == '"') {
      i = QuotedEnd(text, i) - 1;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (depth == 0 && (i == 0 || std::isspace(static_cast<unsigned char>(text[i - 1])))) {
      auto at = [&](const char* word) {
        const size_t n = std::strlen(word);
        return strncasecmp(text.c_str() + i, word, n) == 0 &&
               (i + n == text.size() || !std::isalnum(static_cast<unsigned char>(text[i + n])));
      };
      if (at("ORDER")) orderBy = i, limit = std::string::npos;
      if (at("LIMIT") && orderBy != std::string::npos) limit = i;
    }
  }
  if (orderBy == std::string::npos) return text;
  const size_t end = limit == std::string::npos ? text.size() : limit;
  std::string list = text.substr(orderBy, end - orderBy);
  static const std::regex key(R"(\bLEID\b)", std::regex::icase);
  if (std::regex_search(list, key)) return text;
  while (!list.empty() && std::isspace(static_cast<unsigned char>(list.back()))) list.pop_back();
  static const std::regex descending(R"(\bDESC$)", std::regex::icase);
  const std::string tieBreak = std::regex_search(list, descending) ? ", LEID DESC" : ", LEID";
  return text.substr(0, orderBy) + list + tieBreak + (limit == std::string::npos ? "" : " ") +
         text.substr(end);
}

// The page's rows in ascending order of (TimeGenerated, LEID): rows [First, First + Rows)
// of the whole table. `page` is the SELECT giving First and Rows from T, the number of rows.
// The walk starts at the day holding row First, past that day's rows before it; a time
// compares with its day's prefix as the stored texts do, whatever the collation.
std::string DayCountedPage(const std::string& page, bool descending) {
  return "WITH days AS (SELECT Day, CAST(SUM(Entries) AS BIGINT) AS Entries "
         "FROM tamsel_entry_days GROUP BY Day HAVING SUM(Entries) > 0), "
         "placed AS (SELECT Day, Entries, "
         "CAST(SUM(Entries) OVER (ORDER BY Day) AS BIGINT) - Entries AS Before FROM days), "
         "page AS (" +
         page +
         " FROM (SELECT COALESCE(CAST(SUM(Entries) AS BIGINT), 0) AS T "
         "FROM days) total), "
         "start AS (SELECT p.Day, page.First - p.Before AS Skip, page.Rows FROM placed p, page "
         "WHERE p.Before <= page.First AND page.First < p.Before + p.Entries) "
         "SELECT LEID, TimeGenerated FROM (SELECT LEID, TimeGenerated FROM LogEntry "
         "WHERE TimeGenerated >= (SELECT Day FROM start) ORDER BY TimeGenerated, LEID "
         "LIMIT (SELECT Rows FROM start) OFFSET (SELECT Skip FROM start)) walked "
         "ORDER BY TimeGenerated" +
         std::string(descending ? " DESC, LEID DESC" : ", LEID");
}

}  // namespace

std::string WithEntryDayCounts(std::string_view sql) {
  const auto icase = std::regex::icase | std::regex::ECMAScript;
  static const std::regex count(R"(^\s*SELECT\s+COUNT\s*\(\s*\*\s*\)\s+FROM\s+LogEntry\s*;?\s*$)",
                                icase);
  static const std::regex page(
      R"(^\s*SELECT\s+LEID\s*,\s*TimeGenerated\s+FROM\s+LogEntry\s+ORDER\s+BY\s+)"
      R"(TimeGenerated(\s+ASC|\s+DESC)?\s*,\s*LEID(\s+ASC|\s+DESC)?\s+)"
      R"(LIMIT\s+(\d{1,15})\s+OFFSET\s+(\d{1,15})\s*;?\s*$)",
      icase);
  // Below this many rows skipped, walking them costs less than summing the days.
  constexpr long long kWalkWorthSkipping = 10000;
  const std::string text(sql);
  if (std::regex_match(text, count)) {
    return "SELECT COALESCE(CAST(SUM(Entries) AS BIGINT), 0) AS count FROM tamsel_entry_days";
  }
  std::smatch match;
  if (!std::regex_match(text, match, page)) return text;
  auto descending = [](const std::string& direction) {
    return direction.find_first_of("dD") != std::string::npos;
  };
  const bool timeDescending = descending(match[1].str());
  if (timeDescending != descending(match[2].str())) return text;
  const long long limit = std::stoll(match[3].str()), offset = std::stoll(match[4].str());
  if (offset < kWalkWorthSkipping) return text;
  const std::string n = std::to_string(limit), o = std::to_string(offset);
  // Descending, the page is the ascending rows [T - o - n, T - o), cut at the first row.
  const std::string bounds =
      timeDescending
          ? "SELECT GREATEST(T - " + o + " - " + n + ", 0) AS First, GREATEST(T - " + o +
                " - GREATEST(T - " + o + " - " + n + ", 0), 0) AS Rows"
          : "SELECT CAST(" + o + " AS BIGINT) AS First, CAST(" + n + " AS BIGINT) AS Rows";
  return DayCountedPage(bounds, timeDescending);
}

std::string ToServerStatement(std::string_view sql) {
  std::string text =
      WithKeyTieBreak(WithoutBrackets(ApplyAll(std::string(sql), StatementRewrites())));
  if (std::regex_search(text, InsertOrIgnore())) {
    text = std::regex_replace(text, InsertOrIgnore(), "INSERT INTO");
    while (!text.empty() &&
           (std::isspace(static_cast<unsigned char>(text.back())) || text.back() == ';')) {
      text.pop_back();
    }
    text += " ON CONFLICT DO NOTHING";
  }
  return NumberPlaceholders(text);
}

std::string ToServerSchema(std::string_view script) {
  std::string text = PartitionLogEntry(ApplyAll(std::string(script), SchemaRewrites()));
  std::string out;
  for (const std::string& statement : SplitStatements(text)) {
    out += ToServerStatement(statement) + ";\n";
    out += KeepKeyTrigger(statement);
  }
  // Keep the script's spellings, so results name columns as the embedded engine does.
  std::map<std::string, std::string> names = IdentifierSpellings(script);
  // Each table's key column, so an insert can return the key it made.
  static const std::regex keyed(R"(CREATE TABLE (\w+) \(\s*(\w+) INTEGER PRIMARY KEY)");
  const std::string original(script);
  for (auto it = std::sregex_iterator(original.begin(), original.end(), keyed);
       it != std::sregex_iterator(); ++it) {
    std::string table = (*it)[1].str();
    for (char& c : table) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    names["key:" + table] = (*it)[2].str();
  }
  for (const auto& [lower, spelled] : names) {
    out += "INSERT INTO tamsel_names (lower_name, spelled) VALUES ('" + lower + "', '" + spelled +
           "') ON CONFLICT (lower_name) DO NOTHING;\n";
  }
  return out;
}

std::string_view ServerSchemaPrologue() {
  return R"sql(
CREATE EXTENSION IF NOT EXISTS citext;
CREATE TABLE IF NOT EXISTS tamsel_names (lower_name TEXT PRIMARY KEY, spelled TEXT NOT NULL);
CREATE OR REPLACE FUNCTION tamsel_keep_key() RETURNS trigger LANGUAGE plpgsql AS $$
DECLARE highest BIGINT;
BEGIN
  EXECUTE format('SELECT max(%I) FROM added', lower(TG_ARGV[1])) INTO highest;
  IF highest > COALESCE(pg_sequence_last_value(TG_ARGV[0]::regclass), 0) THEN
    -- Two such statements at once must not move the sequence back.
    PERFORM pg_advisory_xact_lock(hashtext(TG_ARGV[0]));
    IF highest > COALESCE(pg_sequence_last_value(TG_ARGV[0]::regclass), 0) THEN
      PERFORM setval(TG_ARGV[0]::regclass, highest);
    END IF;
  END IF;
  RETURN NULL;
END $$;
)sql";
}

std::map<std::string, std::string> IdentifierSpellings(std::string_view script) {
  static const std::regex word(R"(\b[A-Za-z_][A-Za-z0-9_]*\b)");
  std::map<std::string, std::string> names;
  const std::string text(script);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), word); it != std::sregex_iterator();
       ++it) {
    const std::string spelled = it->str();
    std::string lower = spelled;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower != spelled &&
        spelled.find_first_of("abcdefghijklmnopqrstuvwxyz") != std::string::npos) {
      names.emplace(lower, spelled);
    }
  }
  return names;
}

const CatalogQueries& QueriesFor(Engine engine) {
  static const CatalogQueries embedded{
      "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?",
      "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' "
      "ORDER BY rowid",
      "SELECT name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk"};
  static const CatalogQueries server{
      "SELECT 1 FROM pg_catalog.pg_tables WHERE schemaname = current_schema() "
      "AND tablename = lower(?)",
      "SELECT COALESCE(n.spelled, c.relname) FROM pg_catalog.pg_class c "
      "LEFT JOIN tamsel_names n ON n.lower_name = c.relname "
      "WHERE c.relnamespace = current_schema()::regnamespace AND c.relkind IN ('r', 'p') "
      "AND NOT c.relispartition AND c.relname NOT LIKE 'tamsel\\_%' ORDER BY c.oid",
      "SELECT a.attname FROM pg_catalog.pg_index i JOIN pg_catalog.pg_attribute a "
      "ON a.attrelid = i.indrelid AND a.attnum = ANY(i.indkey) "
      "WHERE i.indisprimary AND i.indrelid = to_regclass(lower(?)) "
      "ORDER BY array_position(CAST(i.indkey AS int2[]), a.attnum)"};
  return engine == Engine::Embedded ? embedded : server;
}

std::string MonthPartitionName(std::string_view isoTime) {
  return "LogEntry_" + std::string(isoTime.substr(0, 4)) + "_" + std::string(isoTime.substr(5, 2));
}

std::string MonthPartitionStatement(std::string_view isoTime) {
  int year = 0, month = 0;
  std::sscanf(std::string(isoTime.substr(0, 7)).c_str(), "%d-%d", &year, &month);
  char from[32], to[32];
  std::snprintf(from, sizeof from, "%04d-%02d", year, month);
  std::snprintf(to, sizeof to, "%04d-%02d", month == 12 ? year + 1 : year,
                month == 12 ? 1 : month + 1);
  return "CREATE TABLE IF NOT EXISTS " + MonthPartitionName(isoTime) +
         " PARTITION OF LogEntry FOR VALUES FROM ('" + from + "') TO ('" + to + "')";
}

size_t FirstStatementLength(std::string_view sql) {
  for (size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    size_t skipTo = i;
    if (c == '\'' || c == '"') {
      skipTo = sql.find(c, i + 1);
    } else if (c == '$' && i + 1 < sql.size() && sql[i + 1] == '$') {
      skipTo = sql.find("$$", i + 2);
      if (skipTo != std::string_view::npos) ++skipTo;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      skipTo = sql.find('\n', i);
    } else if (c == ';') {
      return i;
    }
    if (skipTo == std::string_view::npos) return sql.size();
    i = skipTo;
  }
  return sql.size();
}

std::vector<std::string> SplitStatements(std::string_view script) {
  std::vector<std::string> statements;
  while (!script.empty()) {
    const size_t length = FirstStatementLength(script);
    std::string statement(script.substr(0, length));
    statement = WithoutLineComments(statement);
    if (statement.find_first_not_of(" \t\r\n") != std::string::npos) {
      statements.push_back(std::move(statement));
    }
    script.remove_prefix(std::min(script.size(), length + 1));
  }
  return statements;
}

}  // namespace tamsel::platform::data
