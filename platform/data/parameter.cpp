// Parameters of a command and their collection.
#include "platform/data/parameter.h"

#include "platform/data/provider_error.h"
#include "platform/network/network.h"

namespace tamsel::platform::data {

Parameter::Parameter(std::string name, long type, long direction, long size, com::Variant value)
    : data_(
          std::make_shared<Data>(Data{std::move(name), type, direction, size, std::move(value)})) {}

void Parameters::Append(const Parameter& parameter) {
  for (const Parameter& existing : items_) {
    if (existing.SameAs(parameter)) RaiseAdoError(kInvalidArgument);  // appended twice
  }
  items_.push_back(parameter);
}

long Parameters::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (network::EqualsIgnoreCase(items_[i].Name(), name)) return static_cast<long>(i);
  }
  RaiseAdoError(kItemNotFound);
}

Parameter& Parameters::Item(long index) {
  if (index < 0 || index >= Count()) RaiseAdoError(kItemNotFound);
  return items_[index];
}

const Parameter& Parameters::Item(long index) const {
  if (index < 0 || index >= Count()) RaiseAdoError(kItemNotFound);
  return items_[index];
}

Parameter& Parameters::Item(std::string_view name) { return items_[IndexOf(name)]; }

void Parameters::Delete(std::string_view name) { items_.erase(items_.begin() + IndexOf(name)); }

void Parameters::Delete(long index) {
  if (index < 0 || index >= Count()) RaiseAdoError(kItemNotFound);
  items_.erase(items_.begin() + index);
}

}  // namespace tamsel::platform::data
