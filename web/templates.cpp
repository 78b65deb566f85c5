// Templates: JSON data turned into mustache data, rendered with HTML escaping.
#include "web/templates.h"

#include <fstream>
#include <kainjow/mustache.hpp>
#include <sstream>
#include <stdexcept>

namespace tamsel::web {

namespace {

using kainjow::mustache::data;
using kainjow::mustache::mustache;

data ToData(const nlohmann::json& value) {
  switch (value.type()) {
    case nlohmann::json::value_t::object: {
      data object{data::type::object};
      for (const auto& [key, item] : value.items()) object.set(key, ToData(item));
      return object;
    }
    case nlohmann::json::value_t::array: {
      data list{data::type::list};
      for (const auto& item : value) list.push_back(ToData(item));
      return list;
    }
    case nlohmann::json::value_t::boolean:
      return data(value.get<bool>());
    case nlohmann::json::value_t::string:
      // An empty text counts as false in a section, as it reads in a page.
      if (value.get_ref<const std::string&>().empty()) return data(false);
      return data(value.get<std::string>());
    case nlohmann::json::value_t::null:
      return data(false);
    default:
      return data(value.dump());
  }
}

}  // namespace

Templates::Templates(const std::filesystem::path& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".mustache") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    Add(entry.path().stem().string(), text.str());
  }
}

void Templates::Add(const std::string& name, std::string text) {
  mustache check{text};
  if (!check.is_valid()) {
    throw std::runtime_error("template " + name + ": " + check.error_message());
  }
  texts_[name] = std::move(text);
}

std::string Templates::Render(const std::string& name, const nlohmann::json& values) const {
  mustache page{texts_.at(name)};
  return page.render(ToData(values));
}

}  // namespace tamsel::web
