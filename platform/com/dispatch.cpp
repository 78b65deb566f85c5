// Dispatch tables and the client side of late-bound calls.
#include "platform/com/dispatch.h"

#include <strings.h>

namespace tamsel::platform::com {

InterfaceInfo::InterfaceInfo(std::string name, Guid iid, std::vector<MethodInfo> methods)
    : name_(std::move(name)), iid_(iid), methods_(std::move(methods)) {}

std::optional<std::size_t> InterfaceInfo::SlotOf(std::string_view name) const {
  for (std::size_t slot = 0; slot < methods_.size(); ++slot) {
    const std::string& candidate = methods_[slot].name;
    if (candidate.size() == name.size() &&
        strncasecmp(candidate.data(), name.data(), name.size()) == 0) {
      return slot;
    }
  }
  return std::nullopt;
}

std::optional<DispId> InterfaceInfo::GetIdOfName(std::string_view name) const {
  std::optional<std::size_t> slot = SlotOf(name);
  if (!slot) return std::nullopt;
  return DispIdOfSlot(*slot);
}

const MethodInfo* InterfaceInfo::Method(DispId id) const {
  if (id < kFirstMethodDispId) return nullptr;
  std::size_t slot = std::size_t(id - kFirstMethodDispId);
  return slot < methods_.size() ? &methods_[slot] : nullptr;
}

Variant CallByName(IDispatchObject& object, std::string_view name, Arguments& args) {
  std::optional<DispId> id = object.TypeInfo().GetIdOfName(name);
  if (!id) throw ComError::Vb(kVbNoSuchMethod);
  Variant result;
  ExcepInfo exception;
  HRESULT hr = object.Invoke(*id, args, result, exception);
  if (SUCCEEDED(hr)) return result;
  switch (hr) {
    case DISP_E_EXCEPTION:
      throw ComError(exception.number, exception.source, exception.description);
    case DISP_E_BADPARAMCOUNT:
      throw ComError(kVbWrongArgumentCount, "",
                     "Wrong number of arguments or invalid property assignment");
    case DISP_E_PARAMNOTOPTIONAL:
      throw ComError(kVbArgumentNotOptional, "", "Argument not optional");
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_UNKNOWNNAME:
      throw ComError::Vb(kVbNoSuchMethod);
    default:
      throw ComError(hr, "", exception.description);
  }
}

}  // namespace tamsel::platform::com
