// Where the component's methods are installed into the slots of the two classes. The slots
// and DISPIDs are fixed by the dispatch tables (component_classes.h); each folder of the
// component contributes the bodies of its own methods, and a slot without a body answers
// every call with E_NOTIMPL ("Reports.X is not implemented in this build").
//
// Adding a method from another folder (reports/browse, reports/alerts, reports/admin):
//
//   1. Write the method as a free function whose parameters mirror its dispatch entry
//      (see platform/com/method_binding.h for the C++ type of each automation type):
//
//        // reports/browse/menu_xml_get.cpp
//        std::int32_t MenuXmlGet(platform::com::Variant& sXmlMenuTree) {
//          MethodFrame frame("Reports.MenuXmlGet");
//          return frame.Run([&](MethodFrame& call) {
//            data::Command command = call.StoredProcedure("MenuServerListGet");
//            data::Recordset rows = call.Execute(command, data::adOptionUnspecified);
//            ...                                 // the method's own steps
//            sXmlMenuTree = platform::com::Variant(doc.Xml());
//          });
//        }
//
//   2. Give the folder one registration function, tamsel::reports::<folder>::RegisterMethods,
//      that installs each method by its qualified name:
//
//        namespace tamsel::reports::browse {
//        void RegisterMethods(MethodRegistry& registry) {
//          registry.Add<&MenuXmlGet>("Reports.MenuXmlGet");
//        }
//        }
//
//      reports/CMakeLists.txt calls it from the library's start-up for every folder whose
//      target exists; nothing in reports/core changes. Add<> checks the function against the
//      slot's parameters and result (std::logic_error on a mismatch or an unknown name).
//
//   3. Tests install the folder's methods and call them through the public interface, as a
//      page would, with ComponentCall (component_objects.h):
//
//        browse::RegisterMethods(MethodRegistry::Global());
//        platform::com::Arguments args{platform::com::Variant()};
//        platform::com::Variant result = ComponentCall("Reports.MenuXmlGet", args);
//        // result.CLng() is lngRetVal; args[0].value holds the menu tree
//
//      reports/core/component_test_support.h builds the network, AppConfig.xml and trace
//      folder those calls need.
#pragma once

#include <array>
#include <cstdint>
#include <shared_mutex>
#include <string_view>
#include <vector>

#include "platform/com/method_binding.h"
#include "reports/core/component_classes.h"

namespace tamsel::reports {

class MethodRegistry {
 public:
  // The registry the component's objects call into.
  static MethodRegistry& Global();

  // Installs Fn into the slot named "Class.Method". Installing the same function again is a
  // no-op; another function for an occupied slot, an unknown name or a signature that does
  // not fit the slot raise std::logic_error.
  template <auto Fn>
  void Add(std::string_view qualifiedName) {
    Slot slot = Locate(qualifiedName);
    const platform::com::MethodInfo& method =
        InterfaceOf(slot.componentClass).Methods()[slot.index];
    Install(slot, platform::com::Bind<Fn>(method), reinterpret_cast<std::uintptr_t>(Fn));
  }

  // The body of a slot; empty while none is installed.
  platform::com::MethodBody Find(ComponentClass componentClass, std::size_t slot) const;
  bool IsImplemented(std::string_view qualifiedName) const;

 private:
  struct Slot {
    ComponentClass componentClass;
    std::size_t index;
  };
  struct Entry {
    platform::com::MethodBody body;
    std::uintptr_t identity = 0;
  };

  static Slot Locate(std::string_view qualifiedName);
  void Install(Slot slot, platform::com::MethodBody body, std::uintptr_t identity);
  std::vector<Entry>& EntriesOf(ComponentClass componentClass);
  const std::vector<Entry>& EntriesOf(ComponentClass componentClass) const;

  mutable std::shared_mutex mutex_;
  std::vector<Entry> reports_ = std::vector<Entry>(ReportsInterface().Methods().size());
  std::vector<Entry> appAdmin_ = std::vector<Entry>(AppAdminInterface().Methods().size());
};

// Installs the methods that reports/core implements itself (HeartBitCheck).
void RegisterCoreMethods(MethodRegistry& registry);

}  // namespace tamsel::reports
