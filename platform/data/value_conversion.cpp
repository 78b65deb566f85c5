// Parameter value conversions per ADO type.
#include "platform/data/value_conversion.h"

#include <string>

#include "platform/com/com_error.h"
#include "platform/data/ado_constants.h"
#include "platform/data/provider_error.h"

namespace tamsel::platform::data {
namespace {

using com::Variant;

const char* SqlTypeName(long adoType) {
  switch (adoType) {
    case adSmallInt:
      return "smallint";
    case adTinyInt:
      return "tinyint";
    case adInteger:
      return "int";
    case adBigInt:
      return "bigint";
    case adDouble:
      return "float";
    case adBoolean:
      return "bit";
    case adDate:
    case adDBDate:
    case adDBTimeStamp:
      return "datetime";
    default:
      return "varchar";
  }
}

Variant Convert(const Variant& value, long adoType) {
  switch (adoType) {
    case adSmallInt:
      return Variant(value.CInt());
    case adTinyInt: {
      const std::int16_t number = value.CInt();
      if (number < 0 || number > 255) throw com::ComError::Vb(com::kVbOverflow);
      return Variant(number);
    }
    case adInteger:
      return Variant(value.CLng());
    case adBigInt:
    case adDouble:
      return Variant(value.CDbl());
    case adBoolean:
      return Variant(value.CBool());
    case adDate:
    case adDBDate:
    case adDBTimeStamp:
      return Variant::Date(value.CDate());
    default:
      if (IsTextType(adoType)) return Variant(value.CStr());
      return value;
  }
}

}  // namespace

bool IsTextType(long adoType) {
  return adoType == adVarChar || adoType == adChar || adoType == adLongVarChar ||
         adoType == adVarWChar || adoType == adWChar || adoType == adLongVarWChar ||
         adoType == adBSTR;
}

Variant ConvertToAdoType(const Variant& value, long adoType, std::string_view parameterName) {
  if (value.IsEmpty() || value.IsNull()) return Variant::Null();
  try {
    return Convert(value, adoType);
  } catch (const com::ComError& error) {
    const std::string from = value.Type() == com::VarType::BStr ? "varchar" : "numeric";
    const std::string what =
        error.Number() == com::kVbOverflow
            ? "Arithmetic overflow error converting " + from + " to data type " +
                  SqlTypeName(adoType)
            : "Error converting data type " + from + " to " + SqlTypeName(adoType);
    RaiseProviderError(kCantConvertValue,
                       what + " (parameter '" + std::string(parameterName) + "').");
  }
}

}  // namespace tamsel::platform::data
