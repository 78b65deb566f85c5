// The slots of the component's classes and the method bodies installed in them.
#include "reports/core/method_registry.h"

#include <mutex>
#include <stdexcept>
#include <string>

namespace tamsel::reports {

MethodRegistry& MethodRegistry::Global() {
  static MethodRegistry registry;
  return registry;
}

MethodRegistry::Slot MethodRegistry::Locate(std::string_view qualifiedName) {
  std::size_t dot = qualifiedName.find('.');
  std::optional<ComponentClass> componentClass =
      dot == std::string_view::npos ? std::nullopt : ClassByName(qualifiedName.substr(0, dot));
  if (componentClass) {
    std::optional<std::size_t> index =
        InterfaceOf(*componentClass).SlotOf(qualifiedName.substr(dot + 1));
    if (index) return {*componentClass, *index};
  }
  throw std::logic_error("no method slot named " + std::string(qualifiedName));
}

std::vector<MethodRegistry::Entry>& MethodRegistry::EntriesOf(ComponentClass componentClass) {
  return componentClass == ComponentClass::Reports ? reports_ : appAdmin_;
}

const std::vector<MethodRegistry::Entry>& MethodRegistry::EntriesOf(
    ComponentClass componentClass) const {
  return componentClass == ComponentClass::Reports ? reports_ : appAdmin_;
}

void MethodRegistry::Install(Slot slot, platform::com::MethodBody body, std::uintptr_t identity) {
  std::unique_lock lock(mutex_);
  Entry& entry = EntriesOf(slot.componentClass)[slot.index];
  if (entry.body && entry.identity == identity) return;
  if (entry.body) {
    throw std::logic_error(
        "method slot already taken: " + std::string(ClassName(slot.componentClass)) + "." +
        InterfaceOf(slot.componentClass).Methods()[slot.index].name);
  }
  entry = {std::move(body), identity};
}

platform::com::MethodBody MethodRegistry::Find(ComponentClass componentClass,
                                               std::size_t slot) const {
  std::shared_lock lock(mutex_);
  const std::vector<Entry>& entries = EntriesOf(componentClass);
  return slot < entries.size() ? entries[slot].body : platform::com::MethodBody();
}

bool MethodRegistry::IsImplemented(std::string_view qualifiedName) const {
  Slot slot = Locate(qualifiedName);
  return static_cast<bool>(Find(slot.componentClass, slot.index));
}

}  // namespace tamsel::reports
