// Parsing of OLE DB connection strings and the provider settings they carry.
#include "platform/data/connection_string.h"

#include <cctype>

#include "platform/data/ado_constants.h"
#include "platform/data/provider_error.h"

namespace tamsel::platform::data {
namespace {

std::string Lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return result;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

// Reads one value starting at `pos` (just after '='), up to the next ';' outside quotes.
std::string ReadValue(std::string_view text, size_t& pos) {
  while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
  if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
    const char quote = text[pos++];
    std::string value;
    for (;;) {
      if (pos >= text.size()) RaiseAdoError(kInvalidArgument);
      if (text[pos] == quote) {
        if (pos + 1 < text.size() && text[pos + 1] == quote) {  // doubled quote
          value += quote;
          pos += 2;
          continue;
        }
        ++pos;
        break;
      }
      value += text[pos++];
    }
    while (pos < text.size() && text[pos] != ';') {
      if (!std::isspace(static_cast<unsigned char>(text[pos]))) RaiseAdoError(kInvalidArgument);
      ++pos;
    }
    return value;
  }
  const size_t end = text.find(';', pos);
  std::string value(
      Trim(text.substr(pos, end == std::string_view::npos ? text.size() - pos : end - pos)));
  pos = end == std::string_view::npos ? text.size() : end;
  return value;
}

bool IsYes(std::string_view value) {
  const std::string v = Lower(Trim(value));
  return v == "yes" || v == "true" || v == "sspi" || v == "1";
}

}  // namespace

ConnectionString ConnectionString::Parse(std::string_view text) {
  ConnectionString result;
  size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == ';' || std::isspace(static_cast<unsigned char>(text[pos]))) {
      ++pos;
      continue;
    }
    const size_t equals = text.find('=', pos);
    const size_t semicolon = text.find(';', pos);
    if (equals == std::string_view::npos || equals > semicolon) RaiseAdoError(kInvalidArgument);
    const std::string key = Lower(Trim(text.substr(pos, equals - pos)));
    pos = equals + 1;
    result.values_[key] = ReadValue(text, pos);
  }
  return result;
}

std::optional<std::string> ConnectionString::Get(std::string_view key) const {
  auto found = values_.find(Lower(key));
  if (found == values_.end()) return std::nullopt;
  return found->second;
}

ConnectionSettings ConnectionString::Settings() const {
  auto first = [this](std::initializer_list<std::string_view> keys) -> std::optional<std::string> {
    for (std::string_view key : keys) {
      if (auto value = Get(key)) return value;
    }
    return std::nullopt;
  };
  ConnectionSettings settings;
  settings.provider = first({"provider"}).value_or("");
  settings.dataSource =
      first({"data source", "server", "address", "addr", "network address"}).value_or("");
  settings.initialCatalog = first({"initial catalog", "database"}).value_or("");
  settings.userId = first({"user id", "uid", "user"});
  settings.password = first({"password", "pwd"}).value_or("");
  settings.trusted = IsYes(first({"trusted_connection", "integrated security"}).value_or(""));
  return settings;
}

}  // namespace tamsel::platform::data
