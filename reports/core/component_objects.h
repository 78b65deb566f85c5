// Objects of the component's classes made in this process: the class factories the server
// entry points hand out, and direct creation for nested calls, tests and benchmarks (no
// registry, no library loading). Every call through these objects runs in the object
// context, so a call made while another runs on the thread joins its context.
#pragma once

#include <memory>
#include <string_view>

#include "platform/com/automation_object.h"
#include "platform/com/inproc_server.h"
#include "reports/core/component_classes.h"

namespace tamsel::reports {

platform::com::ClassFactory& FactoryOf(ComponentClass componentClass);

std::shared_ptr<platform::com::IDispatchObject> CreateComponentObject(
    ComponentClass componentClass, const platform::com::Activation& activation = {});

// Calls "Class.Method" on a new object of the class, late-bound, as a page or a nested call
// through the public interface does. Raises ComError as CallByName does (438 for an unknown
// method, E_NOTIMPL for a slot without a body).
platform::com::Variant ComponentCall(std::string_view qualifiedName, platform::com::Arguments& args,
                                     const platform::com::Activation& activation = {});

}  // namespace tamsel::reports
