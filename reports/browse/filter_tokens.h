// The tokens of the safe filter language: words, unsigned integers, single-quoted date text
// and a handful of operators. Anything else (comments, semicolons, double quotes, brackets,
// dots, other characters) is outside the language and refuses the whole text.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace tamsel::reports::browse {

enum class TokenKind { Word, Number, Quoted, Symbol, End };

struct Token {
  TokenKind kind = TokenKind::End;
  std::string_view text;   // for Quoted, the text between the quotes
  std::size_t offset = 0;  // where the token starts in the text
};

// The tokens of `text`, ending with one End token; nothing when `text` holds anything outside
// the language.
std::optional<std::vector<Token>> TokenizeFilterText(std::string_view text);

// Walks a token list; past the end it keeps answering the End token.
class TokenCursor {
 public:
  explicit TokenCursor(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  const Token& Peek(std::size_t ahead = 0) const;
  bool AtEnd() const { return Peek().kind == TokenKind::End; }
  // Consumes the next token when it is the keyword or column name `word` (any case).
  bool Word(std::string_view word);
  bool IsWord(std::string_view word, std::size_t ahead = 0) const;
  // Consumes the next token when it is the operator `symbol`.
  bool Symbol(std::string_view symbol);
  // Consumes and returns the next token when it is of `kind`.
  std::optional<std::string_view> Take(TokenKind kind);
  std::size_t Position() const { return position_; }

 private:
  std::vector<Token> tokens_;
  std::size_t position_ = 0;
};

}  // namespace tamsel::reports::browse
