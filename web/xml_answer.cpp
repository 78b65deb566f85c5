// XML answers of the component as JSON data for the templates.
#include "web/xml_answer.h"

#include <sstream>

namespace tamsel::web {

namespace {

nlohmann::json Attributes(const pugi::xml_node& node) {
  nlohmann::json object = nlohmann::json::object();
  for (const pugi::xml_attribute& attribute : node.attributes()) {
    object[attribute.name()] = attribute.value();
  }
  return object;
}

}  // namespace

std::string ElementXml(const std::string& name,
                       const std::vector<std::pair<std::string, std::string>>& attributes) {
  pugi::xml_document document;
  pugi::xml_node root = document.append_child(name.c_str());
  for (const auto& [key, value] : attributes) {
    root.append_attribute(key.c_str()) = value.c_str();
  }
  std::ostringstream out;
  document.save(out, "", pugi::format_raw | pugi::format_no_declaration);
  return out.str();
}

nlohmann::json Rows(const std::string& xml, const std::string& row) {
  nlohmann::json rows = nlohmann::json::array();
  pugi::xml_document document;
  if (!document.load_string(xml.c_str())) return rows;
  for (pugi::xml_node node : document.document_element().children(row.c_str())) {
    rows.push_back(Attributes(node));
  }
  return rows;
}

nlohmann::json RootAttributes(const std::string& xml) {
  pugi::xml_document document;
  if (!document.load_string(xml.c_str())) return nlohmann::json::object();
  return Attributes(document.document_element());
}

}  // namespace tamsel::web
