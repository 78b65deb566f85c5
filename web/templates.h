// The page templates (mustache, HTML-escaped by default), loaded and compiled once from the
// folder beside the program, and the data they render: built from JSON, or directly for the
// pages that show many rows.
#pragma once

#include <filesystem>
#include <kainjow/mustache.hpp>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

namespace tamsel::web {

using TemplateData = kainjow::mustache::data;

// A text as template data; an empty text counts as false in a section, as it reads in a page.
TemplateData TemplateText(std::string text);
// JSON as template data: objects, arrays, texts as above, booleans; null is false.
TemplateData ToTemplateData(const nlohmann::json& value);
// Appends `item` to the list `list` without copying it.
void Append(TemplateData& list, TemplateData item);

// The escaping of {{name}}: & < > " ' as entities, everything else as it stands.
std::string HtmlEscape(const std::string& text);

class Templates {
 public:
  // Loads every "*.mustache" of `folder`; raises std::runtime_error naming a file that does
  // not parse.
  explicit Templates(const std::filesystem::path& folder);
  Templates();
  ~Templates();
  Templates(Templates&&) noexcept;
  Templates& operator=(Templates&&) noexcept;

  // Renders template `name` (file name without ".mustache") with `data`; raises
  // std::out_of_range for an unknown name. Safe to call from many threads at once.
  std::string Render(const std::string& name, const nlohmann::json& data) const;
  std::string Render(const std::string& name, const TemplateData& data) const;
  // The same, with `body` (HTML already rendered and escaped) put as it stands where the
  // template says {{{body}}}, without passing it through the data.
  std::string Render(const std::string& name, const TemplateData& data,
                     const std::string& body) const;

  void Add(const std::string& name, std::string text);

 private:
  class Compiled;
  std::map<std::string, std::unique_ptr<Compiled>> templates_;
};

}  // namespace tamsel::web
