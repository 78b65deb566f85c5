// The page templates (mustache, HTML-escaped by default), loaded once from the folder beside
// the program, and rendering from JSON data.
#pragma once

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

namespace tamsel::web {

class Templates {
 public:
  // Loads every "*.mustache" of `folder`; raises std::runtime_error naming a file that does
  // not parse.
  explicit Templates(const std::filesystem::path& folder);
  Templates() = default;

  // Renders template `name` (file name without ".mustache") with `data`; raises
  // std::out_of_range for an unknown name.
  std::string Render(const std::string& name, const nlohmann::json& data) const;

  void Add(const std::string& name, std::string text);

 private:
  std::map<std::string, std::string> texts_;
};

}  // namespace tamsel::web
