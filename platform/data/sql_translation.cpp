// Rewriting of "alias = expression" select items into "expression AS alias".
#include "platform/data/sql_translation.h"

#include <cctype>
#include <vector>

namespace tamsel::platform::data {
namespace {

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

bool KeywordAt(std::string_view sql, size_t pos, std::string_view word) {
  if (pos + word.size() > sql.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(sql[pos + i])) != word[i]) return false;
  }
  const bool startOk = pos == 0 || !IsWordChar(sql[pos - 1]);
  const bool endOk = pos + word.size() == sql.size() || !IsWordChar(sql[pos + word.size()]);
  return startOk && endOk;
}

// Splits the select list at top-level commas, and finds where it ends (top-level FROM or the
// end of the text). Returns the item spans.
std::vector<std::pair<size_t, size_t>> SelectItems(std::string_view sql, size_t start,
                                                   size_t& end) {
  std::vector<std::pair<size_t, size_t>> items;
  int depth = 0;
  size_t itemStart = start;
  size_t i = start;
  for (; i < sql.size(); ++i) {
    const char c = sql[i];
    if (c == '\'' || c == '"' || c == '[') {
      const char close = c == '[' ? ']' : c;
      for (++i; i < sql.size() && sql[i] != close; ++i) {
      }
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (depth == 0 && c == ',') {
      items.emplace_back(itemStart, i);
      itemStart = i + 1;
    }
    if (depth == 0 && (KeywordAt(sql, i, "FROM") || c == ';')) break;
  }
  items.emplace_back(itemStart, i);
  end = i;
  return items;
}

// "  alias = expr " -> "expr AS alias" when the item has that form.
std::string RewriteItem(std::string_view item) {
  size_t i = 0;
  while (i < item.size() && std::isspace(static_cast<unsigned char>(item[i]))) ++i;
  const size_t leading = i;
  size_t nameEnd;
  if (i < item.size() && item[i] == '[') {
    nameEnd = item.find(']', i);
    if (nameEnd == std::string_view::npos) return std::string(item);
    ++nameEnd;
  } else {
    if (i >= item.size() ||
        !(std::isalpha(static_cast<unsigned char>(item[i])) || item[i] == '_')) {
      return std::string(item);
    }
    nameEnd = i;
    while (nameEnd < item.size() && IsWordChar(item[nameEnd])) ++nameEnd;
  }
  size_t j = nameEnd;
  while (j < item.size() && std::isspace(static_cast<unsigned char>(item[j]))) ++j;
  if (j >= item.size() || item[j] != '=' || (j + 1 < item.size() && item[j + 1] == '=')) {
    return std::string(item);
  }
  std::string_view expression = item.substr(j + 1);
  while (!expression.empty() && std::isspace(static_cast<unsigned char>(expression.front()))) {
    expression.remove_prefix(1);
  }
  size_t trailing = expression.size();
  while (trailing > 0 && std::isspace(static_cast<unsigned char>(expression[trailing - 1]))) {
    --trailing;
  }
  if (trailing == 0) return std::string(item);
  return std::string(item.substr(0, leading)) + std::string(expression.substr(0, trailing)) +
         " AS " + std::string(item.substr(leading, nameEnd - leading)) +
         std::string(expression.substr(trailing));
}

size_t SkipBlanks(std::string_view sql, size_t pos) {
  while (pos < sql.size() && std::isspace(static_cast<unsigned char>(sql[pos]))) ++pos;
  return pos;
}

// Where "BEGIN TRAN" or "BEGIN TRANSACTION" at `start` ends, or npos.
size_t BeginTransactionEnd(std::string_view sql, size_t start) {
  if (!KeywordAt(sql, start, "BEGIN")) return std::string_view::npos;
  const size_t word = SkipBlanks(sql, start + 5);
  if (KeywordAt(sql, word, "TRANSACTION")) return word + 11;
  if (KeywordAt(sql, word, "TRAN")) return word + 4;
  return std::string_view::npos;
}

}  // namespace

std::string TranslateSql(std::string_view sql) {
  const size_t start = SkipBlanks(sql, 0);
  // The server's transaction waits for locks as its statements need them. Here the write lock
  // is taken at the start instead: a transaction that has read cannot wait for it later.
  const size_t begin = BeginTransactionEnd(sql, start);
  if (begin != std::string_view::npos) {
    return std::string(sql.substr(0, start)) + "BEGIN IMMEDIATE TRANSACTION" +
           std::string(sql.substr(begin));
  }
  if (!KeywordAt(sql, start, "SELECT")) return std::string(sql);
  size_t listStart = start + 6;
  // Leave DISTINCT / TOP n in place before the items.
  for (;;) {
    size_t k = listStart;
    while (k < sql.size() && std::isspace(static_cast<unsigned char>(sql[k]))) ++k;
    if (KeywordAt(sql, k, "DISTINCT") || KeywordAt(sql, k, "ALL")) {
      listStart = k + (KeywordAt(sql, k, "ALL") ? 3 : 8);
      continue;
    }
    break;
  }
  size_t end = 0;
  const auto items = SelectItems(sql, listStart, end);
  std::string result(sql.substr(0, listStart));
  for (size_t n = 0; n < items.size(); ++n) {
    if (n > 0) result += ',';
    result += RewriteItem(sql.substr(items[n].first, items[n].second - items[n].first));
  }
  result += sql.substr(end);
  return result;
}

}  // namespace tamsel::platform::data
