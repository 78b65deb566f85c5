// Class factories and in-process creation of the component's objects.
#include "reports/core/component_objects.h"

#include <string>

#include "reports/core/method_registry.h"
#include "reports/core/transaction_binding.h"

namespace tamsel::reports {

namespace com = platform::com;

namespace {

class Factory : public com::ClassFactory {
 public:
  explicit Factory(ComponentClass componentClass) : class_(componentClass) {}

  com::HRESULT CreateInstance(const com::Activation& activation,
                              std::shared_ptr<com::IDispatchObject>& object) noexcept override {
    try {
      object = CreateComponentObject(class_, activation);
      return com::S_OK;
    } catch (const std::bad_alloc&) {
      return com::E_OUTOFMEMORY;
    } catch (...) {
      return com::E_UNEXPECTED;
    }
  }

 private:
  ComponentClass class_;
};

}  // namespace

com::ClassFactory& FactoryOf(ComponentClass componentClass) {
  static Factory reports(ComponentClass::Reports);
  static Factory appAdmin(ComponentClass::AppAdmin);
  return componentClass == ComponentClass::Reports ? static_cast<com::ClassFactory&>(reports)
                                                   : appAdmin;
}

std::shared_ptr<com::IDispatchObject> CreateComponentObject(ComponentClass componentClass,
                                                            const com::Activation& activation) {
  InstallTransactionBinding();
  return std::make_shared<com::AutomationObject>(
      InterfaceOf(componentClass), std::string(ClassName(componentClass)),
      [componentClass](std::size_t slot) {
        return MethodRegistry::Global().Find(componentClass, slot);
      },
      activation);
}

com::Variant ComponentCall(std::string_view qualifiedName, com::Arguments& args,
                           const com::Activation& activation) {
  std::size_t dot = qualifiedName.find('.');
  std::optional<ComponentClass> componentClass =
      dot == std::string_view::npos ? std::nullopt : ClassByName(qualifiedName.substr(0, dot));
  if (!componentClass) throw com::ComError::Vb(429);
  std::shared_ptr<com::IDispatchObject> object = CreateComponentObject(*componentClass, activation);
  return com::CallByName(*object, qualifiedName.substr(dot + 1), args);
}

}  // namespace tamsel::reports
