// Calls into component objects: apartment check, context, argument binding, error capture.
#include "platform/com/automation_object.h"

#include "platform/com/object_context.h"

namespace tamsel::platform::com {

std::atomic<long>& ModuleObjectCount() {
  static std::atomic<long> count{0};
  return count;
}

AutomationObject::AutomationObject(const InterfaceInfo& info, std::string className,
                                   MethodLookup lookup, Activation activation)
    : info_(info),
      className_(std::move(className)),
      lookup_(std::move(lookup)),
      activation_(activation),
      apartment_(std::this_thread::get_id()) {
  ++ModuleObjectCount();
}

AutomationObject::~AutomationObject() { --ModuleObjectCount(); }

HRESULT AutomationObject::Invoke(DispId id, Arguments& args, Variant& result,
                                 ExcepInfo& exception) noexcept {
  if (std::this_thread::get_id() != apartment_) return RPC_E_WRONG_THREAD;
  const MethodInfo* method = info_.Method(id);
  if (!method) return DISP_E_MEMBERNOTFOUND;
  try {
    MethodBody body = lookup_(std::size_t(id - kFirstMethodDispId));
    if (!body) {
      throw ComError(E_NOTIMPL, className_,
                     className_ + "." + method->name + " is not implemented in this build");
    }
    ContextCall call(activation_.transactional);
    result = InvokeMethod(*method, args, body);
    call.End();
    return S_OK;
  } catch (const ComError& error) {
    if (error.Number() == DISP_E_BADPARAMCOUNT || error.Number() == DISP_E_PARAMNOTOPTIONAL) {
      return error.Number();
    }
    exception = {error.Number(), error.Source(), error.Description()};
  } catch (const std::exception& error) {
    exception = {E_FAIL, className_, error.what()};
  }
  return DISP_E_EXCEPTION;
}

}  // namespace tamsel::platform::com
