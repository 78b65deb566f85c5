// Parsers of the safe filter language and the check of a whole report filter.
#include "reports/browse/filter_language.h"

#include <cstdio>

#include "platform/com/com_error.h"
#include "platform/network/network.h"
#include "platform/network/regional.h"
#include "platform/registry/regional_settings.h"

namespace tamsel::reports::browse {
namespace {

using platform::network::EqualsIgnoreCase;

// Nesting deeper than this is refused rather than recursed into.
constexpr int kMaxDepth = 32;

constexpr std::string_view kLogEntryColumns[] = {
    "LEID",        "ELServerID", "LogTypeID",   "RecordNumber",    "TimeGenerated",
    "TimeWritten", "EventID",    "EventTypeID", "EventCategoryID", "CategoryNumber",
    "ELUserID",    "ELSourceID", "FullMessage", "CreatedAt"};

constexpr std::string_view kServerLogTypeColumns[] = {"ELServerID", "LogTypeID"};

constexpr std::string_view kConditionColumns[] = {"TimeGenerated", "ELSourceID", "EventTypeID",
                                                  "EventID", "EventCategoryID"};

constexpr std::string_view kComparisons[] = {"=", "<>", "!=", "<", ">", "<=", ">="};

bool IsServerLogTypeColumn(const TokenCursor& cursor) {
  for (std::string_view column : kServerLogTypeColumns) {
    if (cursor.IsWord(column)) return true;
  }
  return false;
}

bool Integer(TokenCursor& cursor, IdSign sign) {
  if (sign == IdSign::Any) cursor.Symbol("-");
  return cursor.Take(TokenKind::Number).has_value();
}

// The server-and-log expression, by precedence: OR over AND over NOT over primaries.
class ServerLogTypeParser {
 public:
  explicit ServerLogTypeParser(TokenCursor& cursor) : cursor_(cursor) {}

  bool Or(int depth) {
    if (depth > kMaxDepth || !And(depth)) return false;
    while (cursor_.Word("OR")) {
      if (!And(depth)) return false;
    }
    return true;
  }

 private:
  bool And(int depth) {
    if (!Not(depth)) return false;
    // An AND before a condition column belongs to the key query, not to this expression.
    while (cursor_.IsWord("AND") && !NextIsCondition()) {
      cursor_.Word("AND");
      if (!Not(depth)) return false;
    }
    return true;
  }

  bool NextIsCondition() const {
    for (std::string_view column : kConditionColumns) {
      if (cursor_.IsWord(column, 1)) return true;
    }
    return false;
  }

  bool Not(int depth) {
    if (cursor_.Word("NOT")) return depth < kMaxDepth && Not(depth + 1);
    return Primary(depth);
  }

  bool Primary(int depth) {
    if (cursor_.Symbol("(")) return Or(depth + 1) && cursor_.Symbol(")");
    return Predicate();
  }

  // operand comparison operand | column [NOT] IN (integers)
  bool Predicate() {
    const bool column = IsServerLogTypeColumn(cursor_);
    if (!Operand()) return false;
    if (column && (cursor_.IsWord("IN") || (cursor_.IsWord("NOT") && cursor_.IsWord("IN", 1)))) {
      cursor_.Word("NOT");
      cursor_.Word("IN");
      return ParseIdListInParentheses(cursor_, IdSign::Any);
    }
    bool compared = false;
    for (std::string_view comparison : kComparisons) {
      if (cursor_.Symbol(comparison)) {
        compared = true;
        break;
      }
    }
    return compared && Operand();
  }

  bool Operand() {
    if (IsServerLogTypeColumn(cursor_)) return cursor_.Take(TokenKind::Word).has_value();
    return Integer(cursor_, IdSign::Any);
  }

  TokenCursor& cursor_;
};

bool IsDigits(std::string_view text) {
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

int Number(std::string_view digits) {
  int value = 0;
  for (char c : digits) value = value * 10 + (c - '0');
  return value;
}

bool ValidDay(int year, int month, int day) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1753 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// "yyyy-mm-dd" or "yyyy-mm-dd hh:mm:ss", a real date and time.
bool IsIsoDate(std::string_view text) {
  if (text.size() != 10 && text.size() != 19) return false;
  if (!IsDigits(text.substr(0, 4)) || text[4] != '-' || !IsDigits(text.substr(5, 2)) ||
      text[7] != '-' || !IsDigits(text.substr(8, 2))) {
    return false;
  }
  if (!ValidDay(Number(text.substr(0, 4)), Number(text.substr(5, 2)), Number(text.substr(8, 2)))) {
    return false;
  }
  if (text.size() == 10) return true;
  return text[10] == ' ' && IsDigits(text.substr(11, 2)) && text[13] == ':' &&
         IsDigits(text.substr(14, 2)) && text[16] == ':' && IsDigits(text.substr(17, 2)) &&
         Number(text.substr(11, 2)) < 24 && Number(text.substr(14, 2)) < 60 &&
         Number(text.substr(17, 2)) < 60;
}

}  // namespace

bool IsLogEntryColumn(std::string_view name) {
  for (std::string_view column : kLogEntryColumns) {
    if (EqualsIgnoreCase(name, column)) return true;
  }
  return false;
}

bool IsSortOrder(std::string_view text) {
  return text.empty() || EqualsIgnoreCase(text, "ASC") || EqualsIgnoreCase(text, "DESC");
}

bool IsConditionColumn(const TokenCursor& cursor) {
  for (std::string_view column : kConditionColumns) {
    if (cursor.IsWord(column)) return true;
  }
  return false;
}

bool ParseServerLogTypeExpression(TokenCursor& cursor) { return ServerLogTypeParser(cursor).Or(0); }

bool ParseIdListInParentheses(TokenCursor& cursor, IdSign sign) {
  if (!cursor.Symbol("(") || !Integer(cursor, sign)) return false;
  while (cursor.Symbol(",")) {
    if (!Integer(cursor, sign)) return false;
  }
  return cursor.Symbol(")");
}

bool IsServerLogTypeFilter(std::string_view text) {
  std::optional<std::vector<Token>> tokens = TokenizeFilterText(text);
  if (!tokens) return false;
  TokenCursor cursor(std::move(*tokens));
  // Stopping before "AND <condition column>" leaves tokens over, which refuses them here.
  return ParseServerLogTypeExpression(cursor) && cursor.AtEnd();
}

bool IsIdList(std::string_view text, IdSign sign) {
  std::optional<std::vector<Token>> tokens = TokenizeFilterText(text);
  if (!tokens) return false;
  TokenCursor cursor(std::move(*tokens));
  if (!Integer(cursor, sign)) return false;
  while (cursor.Symbol(",")) {
    if (!Integer(cursor, sign)) return false;
  }
  return cursor.AtEnd();
}

bool IsIsoQueryDate(std::string_view text) { return text.empty() || IsIsoDate(text); }

namespace {

// Characters a date may hold in any regional form: digits, designators, separators.
bool HasOnlyDateCharacters(std::string_view text) {
  for (char c : text) {
    const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!letter && !(c >= '0' && c <= '9') &&
        std::string_view(" /.:-,").find(c) == std::string_view::npos) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::optional<std::string> QueryDate(std::string_view text) {
  if (IsIsoDate(text)) return std::string(text);
  if (!HasOnlyDateCharacters(text)) return std::nullopt;
  std::optional<std::tm> parsed =
      platform::network::ParseDateTime(text, platform::registry::LoadRegionalFormats());
  if (!parsed || !ValidDay(parsed->tm_year + 1900, parsed->tm_mon + 1, parsed->tm_mday)) {
    return std::nullopt;
  }
  char buffer[64];
  if (parsed->tm_hour == 0 && parsed->tm_min == 0 && parsed->tm_sec == 0) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", parsed->tm_year + 1900,
                  parsed->tm_mon + 1, parsed->tm_mday);
  } else {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", parsed->tm_year + 1900,
                  parsed->tm_mon + 1, parsed->tm_mday, parsed->tm_hour, parsed->tm_min,
                  parsed->tm_sec);
  }
  return std::string(buffer);
}

std::optional<std::string> CheckReportFilter(ReportFilter& filter, FilterUse use) {
  if (use == FilterUse::KeyQuery) {
    if (!IsLogEntryColumn(filter.sortBy)) return kSortBy;
    if (!IsSortOrder(filter.sortOrder)) return kSortOrder;
  }
  if (!filter.serverLogTypeFilter.empty() && !IsServerLogTypeFilter(filter.serverLogTypeFilter)) {
    return kServerLogTypeFilter;
  }
  if (use == FilterUse::KeyQuery && !filter.startDate.empty()) {
    std::optional<std::string> start = QueryDate(filter.startDate);
    if (!start) return kStartDate;
    std::optional<std::string> end =
        filter.endDate.empty() ? std::optional<std::string>("") : QueryDate(filter.endDate);
    if (!end) return kEndDate;
    filter.startDate = *start;
    filter.endDate = *end;
  }
  if (!filter.elSource.empty() && !IsIdList(filter.elSource)) return kELSource;
  if (!filter.eventType.empty() && !IsIdList(filter.eventType)) return kEventType;
  if (!filter.eventId.empty() && !IsIdList(filter.eventId, IdSign::Any)) return kEventID;
  if (!filter.eventCategory.empty() && !IsIdList(filter.eventCategory)) return kEventCategory;
  return std::nullopt;
}

void RefuseArgument(std::string_view attribute) {
  throw platform::com::ComError(
      platform::com::kVbInvalidCall, "TamselReportsCom",
      std::string(platform::com::VbErrorDescription(platform::com::kVbInvalidCall)) + ": " +
          std::string(attribute));
}

}  // namespace tamsel::reports::browse
