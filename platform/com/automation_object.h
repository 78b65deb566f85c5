// An object of a component class as its clients hold it: the dispatch table, the bodies of
// its methods, the apartment it lives in, and the object context every call runs in.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "platform/com/dispatch.h"
#include "platform/com/method_binding.h"

namespace tamsel::platform::com {

// How an object is activated. `transactional` false stands for a component that is not
// installed in COM+: its calls then run in a context without a transaction.
struct Activation {
  bool transactional = true;
};

// The body installed for a slot, or an empty function while the slot has none.
using MethodLookup = std::function<MethodBody(std::size_t slot)>;

// Counts the objects (and server locks) alive in this module, for DllCanUnloadNow.
std::atomic<long>& ModuleObjectCount();

class AutomationObject : public IDispatchObject {
 public:
  // `className` qualifies error texts ("Reports.MenuXmlGet is not implemented").
  AutomationObject(const InterfaceInfo& info, std::string className, MethodLookup lookup,
                   Activation activation);
  ~AutomationObject() override;
  AutomationObject(const AutomationObject&) = delete;
  AutomationObject& operator=(const AutomationObject&) = delete;

  const InterfaceInfo& TypeInfo() const override { return info_; }

  // Apartment rule: only the creating thread may call (RPC_E_WRONG_THREAD otherwise). Each
  // call runs in a ContextCall; a slot without a body raises E_NOTIMPL.
  HRESULT Invoke(DispId id, Arguments& args, Variant& result,
                 ExcepInfo& exception) noexcept override;

 private:
  const InterfaceInfo& info_;
  std::string className_;
  MethodLookup lookup_;
  Activation activation_;
  std::thread::id apartment_;
};

}  // namespace tamsel::platform::com
