// Reading the component's XML answers and writing its input documents, with pugixml.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>
#include <string>
#include <vector>

namespace tamsel::web {

// One element with attributes `attributes` (in that order) as XML text, values escaped.
std::string ElementXml(const std::string& name,
                       const std::vector<std::pair<std::string, std::string>>& attributes);

// The attributes of every element named `row` below the root, each as a JSON object of
// attribute name to text.
nlohmann::json Rows(const std::string& xml, const std::string& row);

// The attributes of the root element as a JSON object (empty when the text does not parse).
nlohmann::json RootAttributes(const std::string& xml);

}  // namespace tamsel::web
