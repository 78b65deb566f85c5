// The recordset's cursor over its rows and the lookup of its fields.
#include "platform/data/recordset.h"

#include "platform/data/provider_error.h"
#include "platform/network/network.h"

namespace tamsel::platform::data {

const std::string& Field::Name() const { return data_->rows.columns[column_]; }

const com::Variant& Field::Value() const {
  if (!data_->open) RaiseAdoError(kObjectClosed);
  if (data_->position >= data_->rows.rows.size()) RaiseAdoError(kNoCurrentRecord);
  return data_->rows.rows[data_->position][column_];
}

long Fields::Count() const { return static_cast<long>(data_->rows.columns.size()); }

Field Fields::Item(long index) const {
  if (index < 0 || index >= Count()) RaiseAdoError(kItemNotFound);
  return Field(data_, static_cast<size_t>(index));
}

Field Fields::Item(std::string_view name) const {
  const auto& columns = data_->rows.columns;
  for (size_t i = 0; i < columns.size(); ++i) {
    if (network::EqualsIgnoreCase(columns[i], name)) return Field(data_, i);
  }
  RaiseAdoError(kItemNotFound);
}

Recordset::Recordset() : data_(std::make_shared<RecordsetData>()) {}

Recordset::Recordset(Rowset rows) : data_(std::make_shared<RecordsetData>()) {
  data_->rows = std::move(rows);
  data_->open = true;
}

void Recordset::RequireOpen() const {
  if (!data_->open) RaiseAdoError(kObjectClosed);
}

long Recordset::State() const { return data_->open ? 1 : 0; }

bool Recordset::IsEOF() const {
  RequireOpen();
  return data_->position >= data_->rows.rows.size();
}

bool Recordset::BOF() const {
  RequireOpen();
  return data_->rows.rows.empty();
}

void Recordset::MoveNext() {
  if (IsEOF()) RaiseAdoError(kNoCurrentRecord);
  ++data_->position;
}

void Recordset::MoveFirst() {
  RequireOpen();
  data_->position = 0;
}

long Recordset::RecordCount() const {
  RequireOpen();
  return static_cast<long>(data_->rows.rows.size());
}

void Recordset::Close() {
  RequireOpen();
  data_->open = false;
}

Fields Recordset::GetFields() const {
  RequireOpen();
  return Fields(data_);
}

const com::Variant& Recordset::operator[](std::string_view name) const {
  return GetFields().Item(name).Value();
}

const com::Variant& Recordset::operator[](long index) const {
  return GetFields().Item(index).Value();
}

}  // namespace tamsel::platform::data
