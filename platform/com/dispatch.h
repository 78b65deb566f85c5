// Late-bound automation: a class's interface described by a dispatch table (method names in
// slot order, DISPIDs 0x60030000 + n, parameter kinds, optional defaults), the object a client
// holds, and calls by name with Variant arguments.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/com_error.h"
#include "platform/com/guid.h"
#include "platform/com/variant.h"

namespace tamsel::platform::com {

using DispId = std::int32_t;
inline constexpr DispId kFirstMethodDispId = 0x60030000;

inline constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
inline constexpr HRESULT RPC_E_WRONG_THREAD = static_cast<HRESULT>(0x8001010Eu);
inline constexpr HRESULT CONTEXT_E_ABORTED = static_cast<HRESULT>(0x8004E002u);

// VB's numbers for a late-bound call that does not fit the method.
inline constexpr std::int32_t kVbNoSuchMethod = 438;
inline constexpr std::int32_t kVbArgumentNotOptional = 449;
inline constexpr std::int32_t kVbWrongArgumentCount = 450;

// The automation types of parameters and results.
enum class ParamType { Variant, BStr, Long, Short };
enum class PassBy { Value, Reference };

struct ParamInfo {
  ParamInfo(std::string name, ParamType type = ParamType::Variant, PassBy passBy = PassBy::Value,
            std::optional<Variant> defaultValue = std::nullopt)
      : name(std::move(name)), type(type), passBy(passBy), defaultValue(std::move(defaultValue)) {}

  std::string name;
  ParamType type = ParamType::Variant;
  PassBy passBy = PassBy::Value;
  // Set for an optional parameter: the value the method sees when the caller omits it.
  std::optional<Variant> defaultValue;
};

struct MethodInfo {
  std::string name;
  std::vector<ParamInfo> params;
  ParamType result = ParamType::Long;  // Long or BStr
};

// A dual interface's own methods in slot order; slot n (from 0) has DISPID 0x60030000 + n.
class InterfaceInfo {
 public:
  InterfaceInfo(std::string name, Guid iid, std::vector<MethodInfo> methods);

  const std::string& Name() const { return name_; }
  const Guid& Iid() const { return iid_; }
  const std::vector<MethodInfo>& Methods() const { return methods_; }

  static DispId DispIdOfSlot(std::size_t slot) { return kFirstMethodDispId + DispId(slot); }
  // Names match without regard to case, as GetIDsOfNames does.
  std::optional<DispId> GetIdOfName(std::string_view name) const;
  // Nothing for a DISPID outside the table.
  const MethodInfo* Method(DispId id) const;
  std::optional<std::size_t> SlotOf(std::string_view name) const;

 private:
  std::string name_;
  Guid iid_;
  std::vector<MethodInfo> methods_;
};

// One argument of a late-bound call. A by-reference parameter reads and writes `value`; an
// omitted argument (`missing`) takes the parameter's default when it is optional.
struct Argument {
  Argument() : missing(true) {}
  Argument(Variant v) : value(std::move(v)) {}  // NOLINT: arguments are written as values
  Argument(const char* text) : value(text) {}   // NOLINT
  static Argument Missing() { return Argument(); }

  Variant value;
  bool missing = false;
};
using Arguments = std::vector<Argument>;

// What a failed call reports (EXCEPINFO): Err.Number, Err.Source, Err.Description.
struct ExcepInfo {
  std::int32_t number = 0;
  std::string source;
  std::string description;
};

// The object a client holds: the dispatch part of a dual interface. Invoke never throws; a
// failure is an HRESULT, with DISP_E_EXCEPTION and `exception` filled for a raised error.
class IDispatchObject {
 public:
  virtual ~IDispatchObject() = default;
  virtual const InterfaceInfo& TypeInfo() const = 0;
  virtual HRESULT Invoke(DispId id, Arguments& args, Variant& result,
                         ExcepInfo& exception) noexcept = 0;
};

// Calls a method by name, as a late-bound VB client does: by-reference arguments are updated
// in `args`. Raises ComError: 438 for an unknown name, 450 / 449 for arguments that do not fit,
// the callee's own error for DISP_E_EXCEPTION, the HRESULT otherwise.
Variant CallByName(IDispatchObject& object, std::string_view name, Arguments& args);

}  // namespace tamsel::platform::com
