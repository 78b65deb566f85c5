// The FormatMessage text engine: escapes and line breaks here, printf forms in insert_spec.cpp.

#include "platform/messages/insert_formatter.h"

#include <vector>

#include "platform/messages/insert_spec.h"
#include "platform/messages/utf_conversion.h"

namespace tamsel::platform::messages {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

class Formatter {
 public:
  Formatter(std::string_view text, const FormatOptions& options, const MessageArguments* arguments)
      : text_(text), options_(options), arguments_(arguments) {}

  Win32Error Run(std::string& out) {
    std::size_t i = 0;
    while (i < text_.size()) {
      char c = text_[i];
      if (c == '\r' || c == '\n') {
        i = LineBreak(i);
      } else if (c == '%') {
        bool stop = false;
        Win32Error error = Escape(i, stop);
        if (error != ERROR_SUCCESS) return error;
        if (stop) break;
      } else {
        out_.push_back(c);
        ++i;
      }
      if (out_.size() > options_.outputLimit) return ERROR_MORE_DATA;
    }
    if (options_.maxWidth != 0 && options_.maxWidth != 0xFF) out_ = Wrap(out_, options_.maxWidth);
    if (out_.size() > options_.outputLimit) return ERROR_MORE_DATA;
    out = std::move(out_);
    return ERROR_SUCCESS;
  }

 private:
  // A line break of the text: CR LF, lone LF or lone CR.
  std::size_t LineBreak(std::size_t i) {
    std::size_t next = i + 1;
    if (text_[i] == '\r' && next < text_.size() && text_[next] == '\n') ++next;
    if (options_.maxWidth == 0) {
      out_ += "\r\n";
    } else {
      out_.push_back(' ');
    }
    return next;
  }

  Win32Error Escape(std::size_t& i, bool& stop) {
    if (i + 1 >= text_.size()) {
      if (!options_.ignoreInserts) return ERROR_INVALID_PARAMETER;
      out_.push_back('%');
      ++i;
      return ERROR_SUCCESS;
    }
    const char d = text_[i + 1];
    switch (d) {
      case '0':
        stop = true;
        return ERROR_SUCCESS;
      case 'n':
        out_ += "\r\n";
        i += 2;
        return ERROR_SUCCESS;
      case 'r':
        out_.push_back('\r');
        i += 2;
        return ERROR_SUCCESS;
      case 't':
        out_.push_back('\t');
        i += 2;
        return ERROR_SUCCESS;
      case '\r':
      case '\n':
        // The percent goes (or stays, raw) and the line break is handled as any other.
        if (options_.ignoreInserts) out_.push_back('%');
        ++i;
        return ERROR_SUCCESS;
      default:
        break;
    }
    if (options_.ignoreInserts) {
      out_.push_back('%');
      out_.push_back(d);
      i += 2;
      return ERROR_SUCCESS;
    }
    if (!IsDigit(d)) {
      out_.push_back(d);  // "% " ".", "!", "%" and any other character stand for themselves
      i += 2;
      return ERROR_SUCCESS;
    }
    return Insert(i);
  }

  Win32Error Insert(std::size_t& i) {
    const std::size_t start = i;
    std::size_t j = i + 1;
    int number = text_[j++] - '0';
    if (j < text_.size() && IsDigit(text_[j])) number = number * 10 + (text_[j++] - '0');
    std::string_view spec = "s";
    if (j < text_.size() && text_[j] == '!') {
      std::size_t close = text_.find('!', j + 1);
      if (close == std::string_view::npos) return ERROR_INVALID_PARAMETER;
      spec = text_.substr(j + 1, close - j - 1);
      j = close + 1;
    }
    if (arguments_ == nullptr) return ERROR_INVALID_PARAMETER;
    InsertSpec parsed;
    if (!ParseInsertSpec(spec, parsed)) return ERROR_INVALID_PARAMETER;
    std::string inserted;
    Win32Error error = FormatInsert(parsed, static_cast<std::size_t>(number), *arguments_,
                                    highestSlot_, options_.outputLimit, inserted);
    if (error == ERROR_NOT_FOUND) {
      inserted = std::string(text_.substr(start, j - start));  // an argument not supplied
    } else if (error != ERROR_SUCCESS) {
      return error;
    }
    out_ += inserted;
    i = j;
    return ERROR_SUCCESS;
  }

  // Greedy wrapping of each CR LF-separated line at spaces; longer words are split.
  static std::string Wrap(const std::string& text, std::size_t width) {
    std::string result;
    std::size_t lineStart = 0;
    while (true) {
      std::size_t lineEnd = text.find("\r\n", lineStart);
      std::string_view line = std::string_view(text).substr(
          lineStart, lineEnd == std::string::npos ? std::string::npos : lineEnd - lineStart);
      WrapLine(line, width, result);
      if (lineEnd == std::string::npos) break;
      result += "\r\n";
      lineStart = lineEnd + 2;
    }
    return result;
  }

  static void WrapLine(std::string_view line, std::size_t width, std::string& result) {
    std::size_t column = 0;
    bool first = true;
    std::size_t at = 0;
    while (true) {
      std::size_t space = line.find(' ', at);
      std::string_view word =
          line.substr(at, space == std::string_view::npos ? std::string_view::npos : space - at);
      std::size_t length = Utf8Length(word);
      if (!first) {
        if (column + 1 + length <= width) {
          result.push_back(' ');
          ++column;
        } else {
          result += "\r\n";
          column = 0;
        }
      }
      while (length > width) {  // a word longer than a line
        std::size_t cut = CodePointOffset(word, width - column);
        result.append(word.substr(0, cut));
        result += "\r\n";
        word.remove_prefix(cut);
        length = Utf8Length(word);
        column = 0;
      }
      result.append(word);
      column += length;
      first = false;
      if (space == std::string_view::npos) break;
      at = space + 1;
    }
  }

  // Byte offset of the code point number `count` in `text`.
  static std::size_t CodePointOffset(std::string_view text, std::size_t count) {
    std::size_t i = 0;
    for (std::size_t seen = 0; i < text.size(); ++i) {
      if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
        if (seen == count) break;
        ++seen;
      }
    }
    return i;
  }

  std::string_view text_;
  const FormatOptions& options_;
  const MessageArguments* arguments_;
  std::string out_;
  std::size_t highestSlot_ = 0;
};

}  // namespace

Win32Error FormatMessageText(std::string_view text, const FormatOptions& options,
                             const MessageArguments* arguments, std::string& out) {
  return Formatter(text, options, arguments).Run(out);
}

}  // namespace tamsel::platform::messages
