// Building the key query from a filter, and parsing a key query handed back by a page.
#include "reports/browse/key_query.h"

#include "platform/network/network.h"
#include "reports/browse/condition_builder.h"
#include "reports/browse/date_literal.h"
#include "reports/browse/filter_language.h"
#include "reports/browse/filter_tokens.h"

namespace tamsel::reports::browse {
namespace {

// The conditions after the server-and-log expression, in the order they must appear.
enum Condition { kTimeRange, kSource, kType, kEventId, kCategory, kNone };

// A quoted date bound, recorded to run in the stored form; the upper bound may be empty.
bool DateBoundLiteral(TokenCursor& cursor, DateBound bound) {
  const Token token = cursor.Peek();
  if (!cursor.Take(TokenKind::Quoted)) return false;
  if (token.text.empty()) return bound == DateBound::Upper;
  std::optional<std::string> stored = StoredDate(token.text, bound);
  if (!stored) return false;
  if (*stored != token.text) cursor.Rewrite(token, "'" + *stored + "'");
  return true;
}

std::optional<Condition> ParseCondition(TokenCursor& cursor) {
  if (cursor.Name("TimeGenerated")) {
    if (!cursor.Word("BETWEEN") || !DateBoundLiteral(cursor, DateBound::Lower) ||
        !cursor.Word("AND") || !DateBoundLiteral(cursor, DateBound::Upper)) {
      return std::nullopt;
    }
    return kTimeRange;
  }
  struct ListCondition {
    const char* column;
    Condition condition;
    IdSign sign;
  };
  static constexpr ListCondition kLists[] = {{"ELSourceID", kSource, IdSign::NonNegative},
                                             {"EventTypeID", kType, IdSign::NonNegative},
                                             {"EventID", kEventId, IdSign::Any},
                                             {"EventCategoryID", kCategory, IdSign::NonNegative}};
  for (const ListCondition& list : kLists) {
    if (!cursor.Name(list.column)) continue;
    if (list.condition == kEventId) cursor.Word("NOT");
    if (!cursor.Word("IN") || !ParseIdListInParentheses(cursor, list.sign)) return std::nullopt;
    return list.condition;
  }
  return std::nullopt;
}

// (expression | condition) (AND condition)*, the conditions in their fixed order; the time
// range only where `timeRange` allows it.
bool ParseWhere(TokenCursor& cursor, TimeRange timeRange = TimeRange::Include) {
  Condition last = kNone;
  bool first = true;
  if (!IsConditionColumn(cursor)) {
    if (!ParseServerLogTypeExpression(cursor)) return false;
    first = false;
  }
  while (first || cursor.Word("AND")) {
    std::optional<Condition> condition = ParseCondition(cursor);
    if (!condition || (last != kNone && *condition <= last)) return false;
    if (*condition == kTimeRange && timeRange == TimeRange::Omit) return false;
    last = *condition;
    first = false;
  }
  return true;
}

}  // namespace

std::string KeyQueryText(const ReportFilter& filter) {
  ConditionBuilder where(" WHERE ");
  AppendFilterConditions(where, filter, TimeRange::Include);
  return "SELECT LEID," + filter.sortBy + " FROM LogEntry" + where.Text() + " ORDER BY " +
         filter.sortBy + " " + filter.sortOrder;
}

std::optional<KeyQuery> ParseKeyQuery(std::string_view sql) {
  std::optional<std::vector<Token>> tokens = TokenizeFilterText(sql);
  if (!tokens) return std::nullopt;
  TokenCursor cursor(std::move(*tokens));
  if (!cursor.Word("SELECT") || !cursor.Name("LEID") || !cursor.Symbol(",")) return std::nullopt;
  std::optional<std::string_view> selected = cursor.Take(TokenKind::Word);
  if (!selected || !IsLogEntryColumn(*selected) || !cursor.Word("FROM")) return std::nullopt;
  const Token& table = cursor.Peek();
  if (!cursor.Name("LogEntry")) return std::nullopt;
  const std::size_t whereStart = table.offset + table.length;
  if (cursor.Word("WHERE") && !ParseWhere(cursor)) return std::nullopt;
  const std::size_t whereEnd = cursor.Peek().offset;
  if (!cursor.Word("ORDER") || !cursor.Word("BY")) return std::nullopt;
  std::optional<std::string_view> sortBy = cursor.Take(TokenKind::Word);
  if (!sortBy || !platform::network::EqualsIgnoreCase(*sortBy, *selected)) return std::nullopt;
  KeyQuery query;
  query.sortBy = std::string(*sortBy);
  if (cursor.IsWord("ASC") || cursor.IsWord("DESC")) {
    query.sortOrder = std::string(*cursor.Take(TokenKind::Word));
  }
  if (!cursor.AtEnd()) return std::nullopt;
  query.where = ApplyRewrites(sql, whereStart, whereEnd, cursor.Rewrites());
  query.text = ApplyRewrites(sql, 0, sql.size(), cursor.Rewrites());
  return query;
}

bool IsAlertCondition(std::string_view sql) {
  std::optional<std::vector<Token>> tokens = TokenizeFilterText(sql);
  if (!tokens) return false;
  TokenCursor cursor(std::move(*tokens));
  if (cursor.AtEnd()) return true;
  return ParseWhere(cursor, TimeRange::Omit) && cursor.AtEnd();
}

std::string CountQueryText(const KeyQuery& query) {
  return "SELECT COUNT(*) FROM LogEntry" + query.where;
}

std::string PageQueryText(std::string_view sql, std::int64_t offset, std::int64_t count) {
  return std::string(sql) + " LIMIT " + std::to_string(count) + " OFFSET " + std::to_string(offset);
}

}  // namespace tamsel::reports::browse
