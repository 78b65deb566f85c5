// ADO's Recordset over a materialised result, with its Fields and Field: EOF/BOF, MoveNext,
// MoveFirst after a full read, fields by name (any case) or index, Close and State. Copies
// share one recordset, as references to one COM object do.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/com/variant.h"
#include "platform/data/rowset.h"

namespace tamsel::platform::data {

// The state a recordset, its Fields and each Field share.
struct RecordsetData {
  Rowset rows;
  size_t position = 0;
  bool open = false;
};

class Field {
 public:
  const std::string& Name() const;
  // The value in the current row; raises "no current record" at BOF/EOF.
  const com::Variant& Value() const;

 private:
  friend class Fields;
  Field(std::shared_ptr<RecordsetData> data, size_t column)
      : data_(std::move(data)), column_(column) {}
  std::shared_ptr<RecordsetData> data_;
  size_t column_;
};

class Fields {
 public:
  long Count() const;
  // By index from 0 or by name; raises "item not found" for neither.
  Field Item(long index) const;
  Field Item(std::string_view name) const;

 private:
  friend class Recordset;
  explicit Fields(std::shared_ptr<RecordsetData> data) : data_(std::move(data)) {}
  std::shared_ptr<RecordsetData> data_;
};

class Recordset {
 public:
  Recordset();                      // closed
  explicit Recordset(Rowset rows);  // open, on the first row

  long State() const;
  bool IsEOF() const;  // ADO's EOF
  bool BOF() const;
  void MoveNext();  // raises "no current record" when already at EOF
  void MoveFirst();
  long RecordCount() const;
  void Close();  // raises "object closed" when not open

  Fields GetFields() const;
  // Shorthands for GetFields().Item(...).Value().
  const com::Variant& operator[](std::string_view name) const;
  const com::Variant& operator[](long index) const;

 private:
  void RequireOpen() const;
  std::shared_ptr<RecordsetData> data_;
};

}  // namespace tamsel::platform::data
