// Tokenizer of the safe filter language.
#include "reports/browse/filter_tokens.h"

#include "platform/network/network.h"

namespace tamsel::reports::browse {
namespace {

// Integers longer than this are refused, so every literal fits a 64-bit integer.
constexpr std::size_t kMaxDigits = 18;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsWordStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsWordChar(char c) { return IsWordStart(c) || IsDigit(c); }

// Two-character operators first, so "<=" is not read as "<" and "=".
constexpr std::string_view kSymbols[] = {"<=", ">=", "<>", "!=", "(", ")", ",", "=", "<", ">", "-"};

}  // namespace

std::optional<std::vector<Token>> TokenizeFilterText(std::string_view text) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (IsBlank(c)) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    if (IsWordStart(c)) {
      while (i < text.size() && IsWordChar(text[i])) ++i;
      tokens.push_back({TokenKind::Word, text.substr(start, i - start), start, i - start});
    } else if (c == '[') {
      // A bracketed name holds one word and nothing else.
      ++i;
      if (i >= text.size() || !IsWordStart(text[i])) return std::nullopt;
      while (i < text.size() && IsWordChar(text[i])) ++i;
      if (i >= text.size() || text[i] != ']') return std::nullopt;
      ++i;
      tokens.push_back(
          {TokenKind::Word, text.substr(start + 1, i - start - 2), start, i - start, true});
    } else if (IsDigit(c)) {
      while (i < text.size() && IsDigit(text[i])) ++i;
      // "1e5", "0x10", "1AND": a number running into a word is not a literal of the language.
      if (i - start > kMaxDigits || (i < text.size() && IsWordStart(text[i]))) return std::nullopt;
      tokens.push_back({TokenKind::Number, text.substr(start, i - start), start, i - start});
    } else if (c == '\'') {
      const std::size_t close = text.find('\'', i + 1);
      if (close == std::string_view::npos) return std::nullopt;
      for (std::size_t k = i + 1; k < close; ++k) {
        // Quoted text is printable ASCII; no escapes, no embedded quotes.
        if (text[k] < 0x20 || text[k] > 0x7E) return std::nullopt;
      }
      tokens.push_back(
          {TokenKind::Quoted, text.substr(i + 1, close - i - 1), start, close + 1 - start});
      i = close + 1;
    } else {
      bool matched = false;
      for (std::string_view symbol : kSymbols) {
        if (text.substr(i, symbol.size()) == symbol) {
          tokens.push_back({TokenKind::Symbol, symbol, start, symbol.size()});
          i += symbol.size();
          matched = true;
          break;
        }
      }
      if (!matched) return std::nullopt;
    }
  }
  tokens.push_back({TokenKind::End, {}, text.size(), 0});
  return tokens;
}

const Token& TokenCursor::Peek(std::size_t ahead) const {
  const std::size_t index = position_ + ahead;
  return index < tokens_.size() ? tokens_[index] : tokens_.back();
}

bool TokenCursor::IsWord(std::string_view word, std::size_t ahead) const {
  return !Peek(ahead).bracketed && IsName(word, ahead);
}

bool TokenCursor::Word(std::string_view word) {
  if (!IsWord(word)) return false;
  ++position_;
  return true;
}

bool TokenCursor::IsName(std::string_view name, std::size_t ahead) const {
  const Token& token = Peek(ahead);
  return token.kind == TokenKind::Word && platform::network::EqualsIgnoreCase(token.text, name);
}

bool TokenCursor::Name(std::string_view name) {
  if (!IsName(name)) return false;
  ++position_;
  return true;
}

void TokenCursor::Rewrite(const Token& token, std::string text) {
  rewrites_.push_back({token.offset, token.length, std::move(text)});
}

std::string ApplyRewrites(std::string_view text, std::size_t begin, std::size_t end,
                          const std::vector<TokenRewrite>& rewrites) {
  std::string out;
  std::size_t copied = begin;
  for (const TokenRewrite& rewrite : rewrites) {
    const std::size_t after = rewrite.offset + rewrite.length;
    if (rewrite.offset < copied || after > end || rewrite.text.empty()) continue;
    out.append(text.substr(copied, rewrite.offset - copied));
    // Quotes kept "BETWEEN'1'" or "'1'OR" apart; without them a blank must.
    if (rewrite.offset > 0 && IsWordChar(text[rewrite.offset - 1]) &&
        IsWordChar(rewrite.text.front())) {
      out += ' ';
    }
    out.append(rewrite.text);
    if (after < text.size() && IsWordChar(text[after]) && IsWordChar(rewrite.text.back())) {
      out += ' ';
    }
    copied = after;
  }
  return out.append(text.substr(copied, end - copied));
}

bool TokenCursor::Symbol(std::string_view symbol) {
  const Token& token = Peek();
  if (token.kind != TokenKind::Symbol || token.text != symbol) return false;
  ++position_;
  return true;
}

std::optional<std::string_view> TokenCursor::Take(TokenKind kind) {
  const Token& token = Peek();
  if (token.kind != kind || kind == TokenKind::End) return std::nullopt;
  ++position_;
  return token.text;
}

}  // namespace tamsel::reports::browse
