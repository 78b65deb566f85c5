// ADO's Parameter (name, type, direction, size, value) and the Parameters collection of a
// command (append, count, item by index or name, delete by name). Copies of a Parameter
// share one object, so a parameter kept after Append reads the value an execution set.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/variant.h"
#include "platform/data/ado_constants.h"

namespace tamsel::platform::data {

class Parameter {
 public:
  Parameter(std::string name, long type, long direction, long size, com::Variant value);

  const std::string& Name() const { return data_->name; }
  long Type() const { return data_->type; }
  long Direction() const { return data_->direction; }
  long Size() const { return data_->size; }
  const com::Variant& Value() const { return data_->value; }
  void SetValue(com::Variant value) { data_->value = std::move(value); }
  void SetType(long type) { data_->type = type; }
  void SetDirection(long direction) { data_->direction = direction; }
  void SetSize(long size) { data_->size = size; }

  bool SameAs(const Parameter& other) const { return data_ == other.data_; }

 private:
  struct Data {
    std::string name;
    long type;
    long direction;
    long size;
    com::Variant value;
  };
  std::shared_ptr<Data> data_;
};

class Parameters {
 public:
  void Append(const Parameter& parameter);
  long Count() const { return static_cast<long>(items_.size()); }
  // By index from 0 or by name (any case); raises "item not found" otherwise.
  Parameter& Item(long index);
  Parameter& Item(std::string_view name);
  const Parameter& Item(long index) const;
  void Delete(std::string_view name);
  void Delete(long index);

  std::vector<Parameter>::iterator begin() { return items_.begin(); }
  std::vector<Parameter>::iterator end() { return items_.end(); }

 private:
  long IndexOf(std::string_view name) const;
  std::vector<Parameter> items_;
};

}  // namespace tamsel::platform::data
