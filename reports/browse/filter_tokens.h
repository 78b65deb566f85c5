// The tokens of the safe filter language: words (bare, or a name in brackets), unsigned
// integers, single-quoted text and a handful of operators. Anything else (comments,
// semicolons, double quotes, dots, other characters) is outside the language and refuses the
// whole text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tamsel::reports::browse {

enum class TokenKind { Word, Number, Quoted, Symbol, End };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string_view text;   // for Quoted the text between the quotes, for [name] the name
  std::size_t offset = 0;  // where the token starts in the text
  std::size_t length = 0;  // of the token as written, quotes and brackets included
  bool bracketed = false;  // [name]: a name, never a keyword
};

// A token to be written differently in the text that runs (a date in its stored form, a
// quoted integer bare).
struct TokenRewrite {
  std::size_t offset = 0;
  std::size_t length = 0;
  std::string text;
};

// text[begin, end) with the rewrites that fall inside it applied (rewrites in text order).
std::string ApplyRewrites(std::string_view text, std::size_t begin, std::size_t end,
                          const std::vector<TokenRewrite>& rewrites);

// The tokens of `text`, ending with one End token; nothing when `text` holds anything outside
// the language.
std::optional<std::vector<Token>> TokenizeFilterText(std::string_view text);

// Walks a token list; past the end it keeps answering the End token.
class TokenCursor {
 public:
  explicit TokenCursor(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  const Token& Peek(std::size_t ahead = 0) const;
  bool AtEnd() const { return Peek().kind == TokenKind::End; }
  // Consumes the next token when it is the keyword `word` (any case, not in brackets).
  bool Word(std::string_view word);
  bool IsWord(std::string_view word, std::size_t ahead = 0) const;
  // The same for a column or table name, which may stand in brackets.
  bool Name(std::string_view name);
  bool IsName(std::string_view name, std::size_t ahead = 0) const;
  // Consumes the next token when it is the operator `symbol`.
  bool Symbol(std::string_view symbol);
  // Consumes and returns the next token when it is of `kind`.
  std::optional<std::string_view> Take(TokenKind kind);
  std::size_t Position() const { return position_; }

  // Records that `token` runs as `text`.
  void Rewrite(const Token& token, std::string text);
  const std::vector<TokenRewrite>& Rewrites() const { return rewrites_; }

 private:
  std::vector<Token> tokens_;
  std::size_t position_ = 0;
  std::vector<TokenRewrite> rewrites_;
};

}  // namespace tamsel::reports::browse
