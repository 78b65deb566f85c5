// A materialised result: column names and rows of values, as a Recordset walks them.
#pragma once

#include <string>
#include <vector>

#include "platform/com/variant.h"

namespace tamsel::platform::data {

class Statement;

struct Rowset {
  std::vector<std::string> columns;
  std::vector<std::vector<com::Variant>> rows;

  // Reads every remaining row of a statement.
  static Rowset FromStatement(Statement& statement);
};

}  // namespace tamsel::platform::data
