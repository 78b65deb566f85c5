// .reg text: writing a key tree and reading one back. Strings of REG_EXPAND_SZ and
// REG_MULTI_SZ travel as UTF-16LE bytes, as the registry editor writes them.
#include "platform/registry/reg_file.h"

#include <cctype>
#include <cstdio>
#include <map>
#include <optional>
#include <vector>

#include "platform/network/network.h"

namespace tamsel::platform::registry {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr size_t kWrapColumn = 76;  // a hex line is continued once it passes this column

// UTF-8 -> UTF-16LE. A byte that does not start a valid sequence stands for itself (Latin-1),
// so any 8-bit text has a form.
Bytes Utf8ToUtf16Le(const Bytes& text) {
  Bytes out;
  auto put = [&out](std::uint32_t unit) {
    out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
  };
  for (size_t i = 0; i < text.size();) {
    std::uint8_t lead = text[i];
    size_t length = lead < 0x80         ? 1
                    : (lead >> 5) == 6  ? 2
                    : (lead >> 4) == 14 ? 3
                    : (lead >> 3) == 30 ? 4
                                        : 0;
    std::uint32_t code = lead;
    bool valid = length > 0 && i + length <= text.size();
    if (valid && length > 1) {
      code = lead & (0x7F >> length);
      for (size_t k = 1; k < length; ++k) {
        if ((text[i + k] & 0xC0) != 0x80) valid = false;
        code = (code << 6) | (text[i + k] & 0x3F);
      }
      static constexpr std::uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
      if (code < kMinimum[length] || code > 0x10FFFF) valid = false;
    }
    if (!valid) {
      put(lead);
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      put(0xD800 + (code >> 10));
      put(0xDC00 + (code & 0x3FF));
    } else {
      put(code);
    }
    i += length;
  }
  return out;
}

void AppendUtf8(std::uint32_t code, Bytes& out) {
  if (code < 0x80) {
    out.push_back(static_cast<std::uint8_t>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<std::uint8_t>(0xC0 | (code >> 6)));
    out.push_back(static_cast<std::uint8_t>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<std::uint8_t>(0xE0 | (code >> 12)));
    out.push_back(static_cast<std::uint8_t>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<std::uint8_t>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<std::uint8_t>(0xF0 | (code >> 18)));
    out.push_back(static_cast<std::uint8_t>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<std::uint8_t>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<std::uint8_t>(0x80 | (code & 0x3F)));
  }
}

// UTF-16LE (even length) -> UTF-8.
Bytes Utf16LeToUtf8(const Bytes& text) {
  Bytes out;
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    std::uint32_t unit = text[i] | (text[i + 1] << 8);
    if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < text.size()) {
      std::uint32_t low = text[i + 2] | (text[i + 3] << 8);
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
        i += 2;
        continue;
      }
    }
    AppendUtf8(unit, out);
  }
  return out;
}

// ---- export ----

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

// A REG_SZ that the quoted form carries exactly: one terminating NUL, no other NUL, no line
// break (which would end the line), and text that survives the UTF-8 round trip.
bool IsPlainString(const Bytes& data) {
  if (data.empty() || data.back() != 0) return false;
  for (size_t i = 0; i + 1 < data.size(); ++i) {
    if (data[i] == 0 || data[i] == '\r' || data[i] == '\n') return false;
  }
  return Utf16LeToUtf8(Utf8ToUtf16Le(data)) == data;
}

std::string HexLines(std::string line, const Bytes& bytes) {
  std::string out;
  char hex[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
    line += hex;
    if (i + 1 == bytes.size()) break;
    line += ',';
    if (line.size() > kWrapColumn) {
      out += line + "\\\r\n";
      line = "  ";
    }
  }
  return out + line + "\r\n";
}

std::string ValueLine(const std::string& name, DWORD type, const Bytes& data) {
  std::string line = name.empty() ? "@=" : Quote(name) + "=";
  if (type == REG_SZ && IsPlainString(data)) {
    return line + Quote(std::string(data.begin(), data.end() - 1)) + "\r\n";
  }
  if (type == REG_DWORD && data.size() == 4) {
    char text[16];
    std::snprintf(text, sizeof text, "dword:%08x",
                  data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24));
    return line + text + "\r\n";
  }
  if (type == REG_BINARY) return HexLines(line + "hex:", data);
  char tag[16];
  std::snprintf(tag, sizeof tag, "hex(%x):", type);
  bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
  return HexLines(line + tag, text ? Utf8ToUtf16Le(data) : data);
}

LSTATUS ExportKey(const RegistryKey& key, const std::string& fullName, std::string& text) {
  text += "[" + fullName + "]\r\n";
  for (const std::string& name : key.ValueNames()) {
    Bytes data;
    DWORD type = 0;
    if (LSTATUS status = key.GetBinary(name, data, type)) return status;
    text += ValueLine(name, type, data);
  }
  text += "\r\n";
  for (const std::string& child : key.SubKeyNames()) {
    RegistryKey sub;
    if (LSTATUS status = RegistryKey::Open(key.Get(), child, KEY_READ, sub)) return status;
    if (LSTATUS status = ExportKey(sub, fullName + "\\" + child, text)) return status;
  }
  return 0;
}

// ---- import ----

struct Operation {
  enum Kind { kOpenKey, kDeleteKey, kSetValue, kDeleteValue } kind = kOpenKey;
  HKEY root = nullptr;
  std::string subKey;
  std::string name;
  DWORD type = REG_NONE;
  Bytes data;
};

class Parser {
 public:
  explicit Parser(std::string_view text) { SplitLines(text); }

  bool Parse(std::vector<Operation>& operations, std::string& error);

 private:
  void SplitLines(std::string_view text);
  bool Fail(std::string message) {
    error_ = "line " + std::to_string(lineNumber_) + ": " + message;
    return false;
  }
  bool ParseSection(std::string_view line, std::vector<Operation>& operations);
  bool ParseValue(std::string_view line, std::vector<Operation>& operations);
  bool ParseQuoted(std::string_view& rest, std::string& out);
  bool ParseHex(std::string_view rest, Bytes& out);

  std::vector<std::string> lines_;
  size_t next_ = 0;
  size_t lineNumber_ = 0;
  bool unicode_ = true;  // version 5 files keep strings as UTF-16LE in hex forms
  std::optional<Operation> section_;
  std::string error_;
};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

void Parser::SplitLines(std::string_view text) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    std::string_view line = text.substr(start, end == std::string_view::npos ? end : end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines_.emplace_back(line);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
}

bool Parser::Parse(std::vector<Operation>& operations, std::string& error) {
  bool headerSeen = false;
  while (next_ < lines_.size()) {
    lineNumber_ = next_ + 1;
    std::string_view line = Trim(lines_[next_++]);
    bool ok = true;
    if (line.empty() || line.front() == ';') continue;
    if (!headerSeen) {
      if (line == kRegFileHeader) {
        unicode_ = true;
      } else if (line == "REGEDIT4") {
        unicode_ = false;
      } else {
        ok = Fail("not a registry file (expected \"" + std::string(kRegFileHeader) + "\")");
      }
      headerSeen = true;
    } else if (line.front() == '[') {
      ok = ParseSection(line, operations);
    } else {
      ok = ParseValue(line, operations);
    }
    if (!ok) {
      error = error_;
      return false;
    }
  }
  if (!headerSeen) {
    error = "empty file";
    return false;
  }
  return true;
}

bool Parser::ParseSection(std::string_view line, std::vector<Operation>& operations) {
  if (line.back() != ']') return Fail("key name without closing ']'");
  std::string_view name = line.substr(1, line.size() - 2);
  bool remove = !name.empty() && name.front() == '-';
  if (remove) name.remove_prefix(1);
  RegistryPath path;
  if (name.starts_with("\\\\") || !ParseRegistryPath(name, path)) {
    return Fail("invalid key name '" + std::string(name) + "'");
  }
  if (remove && path.subKey.empty()) return Fail("a root key cannot be deleted");
  Operation operation;
  operation.kind = remove ? Operation::kDeleteKey : Operation::kOpenKey;
  operation.root = path.root;
  operation.subKey = path.subKey;
  operations.push_back(operation);
  if (remove) {
    section_.reset();
  } else {
    section_ = operation;
  }
  return true;
}

bool Parser::ParseQuoted(std::string_view& rest, std::string& out) {
  if (rest.empty() || rest.front() != '"') return false;
  out.clear();
  for (size_t i = 1; i < rest.size(); ++i) {
    char c = rest[i];
    if (c == '"') {
      rest.remove_prefix(i + 1);
      return true;
    }
    if (c == '\\' && i + 1 < rest.size() && (rest[i + 1] == '\\' || rest[i + 1] == '"'))
      c = rest[++i];
    out.push_back(c);
  }
  return false;
}

bool Parser::ParseHex(std::string_view rest, Bytes& out) {
  std::string text(rest);
  // A trailing backslash continues the list on the next line.
  while (!Trim(text).empty() && Trim(text).back() == '\\') {
    text = std::string(Trim(text));
    text.pop_back();
    if (next_ >= lines_.size() || Trim(lines_[next_]).empty()) {
      return Fail("hex list continued past the end of the value");
    }
    text += Trim(lines_[next_++]);
  }
  std::string_view list = Trim(text);
  while (!list.empty()) {
    size_t comma = list.find(',');
    std::string_view item = Trim(list.substr(0, comma));
    if (item.empty() && comma == std::string_view::npos) break;  // a trailing comma
    if (item.empty() || item.size() > 2 || !std::isxdigit(static_cast<unsigned char>(item[0])) ||
        (item.size() == 2 && !std::isxdigit(static_cast<unsigned char>(item[1])))) {
      return Fail("invalid hex byte '" + std::string(item) + "'");
    }
    out.push_back(static_cast<std::uint8_t>(std::stoul(std::string(item), nullptr, 16)));
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return true;
}

bool Parser::ParseValue(std::string_view line, std::vector<Operation>& operations) {
  if (!section_) return Fail("value outside a key section");
  Operation operation = *section_;
  std::string_view rest = line;
  if (rest.front() == '@') {
    rest.remove_prefix(1);
  } else if (!ParseQuoted(rest, operation.name)) {
    return Fail("expected a quoted value name or '@'");
  }
  rest = Trim(rest);
  if (rest.empty() || rest.front() != '=') return Fail("expected '=' after the value name");
  rest = Trim(rest.substr(1));
  if (rest == "-") {
    operation.kind = Operation::kDeleteValue;
  } else if (!rest.empty() && rest.front() == '"') {
    std::string text;
    if (!ParseQuoted(rest, text)) return Fail("string without closing quote");
    if (!Trim(rest).empty()) return Fail("unexpected text after the string");
    operation.kind = Operation::kSetValue;
    operation.type = REG_SZ;
    operation.data.assign(text.begin(), text.end());
    operation.data.push_back(0);
  } else if (rest.starts_with("dword:")) {
    std::string_view digits = Trim(rest.substr(6));
    if (digits.empty() || digits.size() > 8 ||
        digits.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) {
      return Fail("dword needs 1 to 8 hex digits");
    }
    DWORD value = static_cast<DWORD>(std::stoul(std::string(digits), nullptr, 16));
    operation.kind = Operation::kSetValue;
    operation.type = REG_DWORD;
    for (int shift = 0; shift < 32; shift += 8) operation.data.push_back((value >> shift) & 0xFF);
  } else if (rest.starts_with("hex")) {
    rest.remove_prefix(3);
    DWORD type = REG_BINARY;
    if (!rest.empty() && rest.front() == '(') {
      size_t close = rest.find(')');
      std::string_view number = rest.substr(1, close == std::string_view::npos ? 0 : close - 1);
      if (number.empty() || number.size() > 8 ||
          number.find_first_not_of("0123456789abcdefABCDEF") != std::string_view::npos) {
        return Fail("invalid hex(type)");
      }
      type = static_cast<DWORD>(std::stoul(std::string(number), nullptr, 16));
      rest.remove_prefix(close + 1);
    }
    if (rest.empty() || rest.front() != ':') return Fail("expected ':' after hex");
    Bytes bytes;
    if (!ParseHex(rest.substr(1), bytes)) return false;
    bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    if (text && unicode_) {
      if (bytes.size() % 2 != 0) return Fail("odd number of bytes in a UTF-16 string");
      bytes = Utf16LeToUtf8(bytes);
    }
    if (type == REG_DWORD && bytes.size() != 4) return Fail("a dword needs 4 bytes");
    operation.kind = Operation::kSetValue;
    operation.type = type;
    operation.data = std::move(bytes);
  } else {
    return Fail("unknown value data '" + std::string(rest) + "'");
  }
  operations.push_back(std::move(operation));
  return true;
}

// The file's bytes as UTF-8 text: UTF-16LE with a BOM is converted, a UTF-8 BOM dropped.
std::string DecodeContent(std::string_view content) {
  if (content.size() >= 2 && static_cast<std::uint8_t>(content[0]) == 0xFF &&
      static_cast<std::uint8_t>(content[1]) == 0xFE) {
    Bytes utf16(content.begin() + 2, content.end());
    if (utf16.size() % 2 != 0) utf16.pop_back();
    Bytes utf8 = Utf16LeToUtf8(utf16);
    return std::string(utf8.begin(), utf8.end());
  }
  if (content.starts_with("\xEF\xBB\xBF")) content.remove_prefix(3);
  return std::string(content);
}

LSTATUS Apply(std::string_view machine, const std::vector<Operation>& operations,
              std::string& error) {
  std::map<HKEY, RegistryKey> roots;
  RegistryKey current;
  for (const Operation& operation : operations) {
    RegistryKey& root = roots[operation.root];
    if (!root) {
      if (LSTATUS status = RegistryKey::Connect(machine, operation.root, root)) {
        error = "cannot connect to the registry";
        return status;
      }
    }
    std::string where = std::string(RootLongName(operation.root)) +
                        (operation.subKey.empty() ? "" : "\\" + operation.subKey);
    LSTATUS status = 0;
    switch (operation.kind) {
      case Operation::kOpenKey:
        status = RegistryKey::Create(root.Get(), operation.subKey, current);
        break;
      case Operation::kDeleteKey:
        current = RegistryKey();
        status = RegDeleteTreeA(root.Get(), operation.subKey.c_str());
        if (status == static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND)) status = 0;
        break;
      case Operation::kSetValue:
        status = RegSetValueExA(current.Get(), operation.name.c_str(), 0, operation.type,
                                operation.data.data(), static_cast<DWORD>(operation.data.size()));
        break;
      case Operation::kDeleteValue:
        status = current.DeleteValue(operation.name);
        if (status == static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND)) status = 0;
        break;
    }
    if (status != 0) {
      error = "cannot write " + where;
      return status;
    }
  }
  return 0;
}

}  // namespace

LSTATUS ExportRegFile(const RegistryPath& path, std::string& text) {
  RegistryKey root;
  if (LSTATUS status = RegistryKey::Connect(path.machine, path.root, root)) return status;
  RegistryKey key;
  if (LSTATUS status = RegistryKey::Open(root.Get(), path.subKey, KEY_READ, key)) return status;
  std::string body;
  if (LSTATUS status = ExportKey(key, FullKeyName(path), body)) return status;
  text = std::string(kRegFileHeader) + "\r\n\r\n" + body;
  return 0;
}

LSTATUS ImportRegFile(std::string_view machine, std::string_view content, std::string& error) {
  std::vector<Operation> operations;
  Parser parser(DecodeContent(content));
  if (!parser.Parse(operations, error)) return static_cast<LSTATUS>(ERROR_INVALID_DATA);
  return Apply(machine, operations, error);
}

}  // namespace tamsel::platform::registry
