// The one error type the automation runtime and the data layer raise: an HRESULT or a Visual
// Basic run-time error number, with the source and description a caller reads from Err.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

namespace tamsel::platform::com {

using HRESULT = std::int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = static_cast<HRESULT>(0x8002000Fu);
inline constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);

inline constexpr bool FAILED(HRESULT hr) { return hr < 0; }
inline constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }

// Visual Basic run-time error numbers the system's code meets.
inline constexpr std::int32_t kVbInvalidCall = 5;
inline constexpr std::int32_t kVbOverflow = 6;
inline constexpr std::int32_t kVbDivisionByZero = 11;
inline constexpr std::int32_t kVbTypeMismatch = 13;
inline constexpr std::int32_t kVbObjectNotSet = 91;
inline constexpr std::int32_t kVbInvalidUseOfNull = 94;

// The run-time's own text for a VB error number ("Type mismatch", ...); "Application-defined
// or object-defined error" for numbers it does not know, as VB says.
std::string_view VbErrorDescription(std::int32_t number);

// VB raises its run-time errors through COM as FACILITY_CONTROL HRESULTs (0x800A0000 | n).
HRESULT HResultFromVbError(std::int32_t number);

class ComError : public std::exception {
 public:
  // `number` is an HRESULT (negative) or a VB error number (positive).
  ComError(std::int32_t number, std::string source, std::string description);

  // A VB run-time error with the run-time's own description.
  static ComError Vb(std::int32_t number, std::string source = {});

  // What a caller reads as Err.Number: the HRESULT or the VB number.
  std::int32_t Number() const { return number_; }
  const std::string& Source() const { return source_; }
  const std::string& Description() const { return description_; }
  bool IsHResult() const { return number_ < 0; }
  // The HRESULT a COM boundary reports for this error.
  HRESULT ToHResult() const;

  const char* what() const noexcept override { return what_.c_str(); }

 private:
  std::int32_t number_;
  std::string source_;
  std::string description_;
  std::string what_;
};

}  // namespace tamsel::platform::com
