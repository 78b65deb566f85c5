// Parsers of the safe filter language and the check of a whole report filter.
#include "reports/browse/filter_language.h"

#include "platform/com/com_error.h"
#include "platform/network/network.h"
#include "reports/browse/date_literal.h"

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
    if (cursor.IsName(column)) return true;
  }
  return false;
}

// The integer a quoted operand holds ("'3'", "' -3 '"), as the database converts it: bare,
// or nothing when the text is no integer.
std::optional<std::string> QuotedInteger(std::string_view text, IdSign sign) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  std::string bare;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    if (text.front() == '-') {
      if (sign == IdSign::NonNegative) return std::nullopt;
      bare = "-";
    }
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 18) return std::nullopt;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  return bare.append(text);
}

bool Integer(TokenCursor& cursor, IdSign sign, Quoting quoting = Quoting::Bare) {
  if (quoting == Quoting::Allowed && cursor.Peek().kind == TokenKind::Quoted) {
    const Token token = cursor.Peek();
    std::optional<std::string> bare = QuotedInteger(token.text, sign);
    if (!bare) return false;
    cursor.Take(TokenKind::Quoted);
    cursor.Rewrite(token, *bare);
    return true;
  }
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
      if (cursor_.IsName(column, 1)) return true;
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
  //   | column [NOT] BETWEEN operand AND operand
  bool Predicate() {
    const bool column = IsServerLogTypeColumn(cursor_);
    if (!Operand()) return false;
    const bool negated = cursor_.IsWord("NOT");
    if (column && cursor_.IsWord("IN", negated ? 1 : 0)) {
      cursor_.Word("NOT");
      cursor_.Word("IN");
      return ParseIdListInParentheses(cursor_, IdSign::Any, Quoting::Allowed);
    }
    if (column && cursor_.IsWord("BETWEEN", negated ? 1 : 0)) {
      cursor_.Word("NOT");
      cursor_.Word("BETWEEN");
      return Operand() && cursor_.Word("AND") && Operand();
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
    return Integer(cursor_, IdSign::Any, Quoting::Allowed);
  }

  TokenCursor& cursor_;
};

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
    if (cursor.IsName(column)) return true;
  }
  return false;
}

bool ParseServerLogTypeExpression(TokenCursor& cursor) { return ServerLogTypeParser(cursor).Or(0); }

bool ParseIdListInParentheses(TokenCursor& cursor, IdSign sign, Quoting quoting) {
  if (!cursor.Symbol("(") || !Integer(cursor, sign, quoting)) return false;
  while (cursor.Symbol(",")) {
    if (!Integer(cursor, sign, quoting)) return false;
  }
  return cursor.Symbol(")");
}

std::optional<std::string> ServerLogTypeFilterText(std::string_view text) {
  std::optional<std::vector<Token>> tokens = TokenizeFilterText(text);
  if (!tokens) return std::nullopt;
  TokenCursor cursor(std::move(*tokens));
  // Stopping before "AND <condition column>" leaves tokens over, which refuses them here.
  if (!ParseServerLogTypeExpression(cursor) || !cursor.AtEnd()) return std::nullopt;
  return ApplyRewrites(text, 0, text.size(), cursor.Rewrites());
}

bool IsServerLogTypeFilter(std::string_view text) {
  return ServerLogTypeFilterText(text).has_value();
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

namespace {

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

bool IsSortColumn(std::string_view text) {
  text = TrimBlanks(text);
  if (text.size() > 2 && text.front() == '[' && text.back() == ']') {
    text = text.substr(1, text.size() - 2);
  }
  return IsLogEntryColumn(text);
}

std::optional<std::string> CheckReportFilter(ReportFilter& filter, FilterUse use) {
  if (use == FilterUse::KeyQuery) {
    if (!IsSortColumn(filter.sortBy)) return kSortBy;
    if (!IsSortOrder(TrimBlanks(filter.sortOrder))) return kSortOrder;
    filter.sortBy = std::string(TrimBlanks(filter.sortBy));
    filter.sortOrder = std::string(TrimBlanks(filter.sortOrder));
  }
  if (!filter.serverLogTypeFilter.empty()) {
    std::optional<std::string> runnable = ServerLogTypeFilterText(filter.serverLogTypeFilter);
    if (!runnable) return kServerLogTypeFilter;
    filter.serverLogTypeFilter = *runnable;
  }
  if (use == FilterUse::KeyQuery && !filter.startDate.empty()) {
    std::optional<std::string> start = StoredDate(filter.startDate, DateBound::Lower);
    if (!start) return kStartDate;
    std::optional<std::string> end = filter.endDate.empty()
                                         ? std::optional<std::string>("")
                                         : StoredDate(filter.endDate, DateBound::Upper);
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
