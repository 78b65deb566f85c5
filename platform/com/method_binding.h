// The server side of late-bound calls: arguments coerced to a method's declared parameters and
// handed to a typed C++ function. Bind<&Fn>() checks Fn's signature against the dispatch table
// entry once, when the method is installed.
//
// Parameter types of Fn and the table entries they stand for:
//   Variant&                   VARIANT in/out (the caller's own variable)
//   const Variant& / Variant   VARIANT in
//   std::string& (non-const)   BSTR in/out (a string copy, written back after the call)
//   const std::string& / std::string / std::string_view   BSTR in
//   std::int32_t               long in
//   std::int16_t               short in
// Result: std::int32_t for long, std::string for BSTR.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/com/dispatch.h"

namespace tamsel::platform::com {

// The arguments a method body sees: one per declared parameter, already of its declared type.
class Invocation {
 public:
  explicit Invocation(std::vector<Variant*> args) : args_(std::move(args)) {}
  Variant& Arg(std::size_t index) { return *args_.at(index); }
  std::size_t Count() const { return args_.size(); }

 private:
  std::vector<Variant*> args_;
};

using MethodBody = std::function<Variant(Invocation&)>;

// Runs `body` for a late-bound call of `method`: applies defaults to omitted optional
// arguments, converts by-value arguments to their types (raising 13, 6 or 94 as VB does),
// passes by-reference VARIANTs as the caller's own variables and writes typed by-reference
// arguments back. A wrong count raises DISP_E_BADPARAMCOUNT, an omitted required argument
// DISP_E_PARAMNOTOPTIONAL.
Variant InvokeMethod(const MethodInfo& method, Arguments& args, const MethodBody& body);

// Converts a value to a parameter type (Variant: unchanged).
Variant CoerceTo(const Variant& value, ParamType type);

namespace binding {

template <class T>
struct Param;

template <>
struct Param<Variant&> {
  static constexpr ParamType kType = ParamType::Variant;
  static constexpr PassBy kPassBy = PassBy::Reference;
  explicit Param(Variant& arg) : arg_(arg) {}
  Variant& Get() { return arg_; }
  void WriteBack() {}
  Variant& arg_;
};

template <>
struct Param<const Variant&> {
  static constexpr ParamType kType = ParamType::Variant;
  static constexpr PassBy kPassBy = PassBy::Value;
  explicit Param(Variant& arg) : arg_(arg) {}
  const Variant& Get() { return arg_; }
  void WriteBack() {}
  Variant& arg_;
};

template <>
struct Param<Variant> : Param<const Variant&> {
  using Param<const Variant&>::Param;
};

template <>
struct Param<std::string&> {
  static constexpr ParamType kType = ParamType::BStr;
  static constexpr PassBy kPassBy = PassBy::Reference;
  explicit Param(Variant& arg) : arg_(arg), text_(arg.CStr()) {}
  std::string& Get() { return text_; }
  void WriteBack() { arg_ = Variant(text_); }
  Variant& arg_;
  std::string text_;
};

template <>
struct Param<const std::string&> {
  static constexpr ParamType kType = ParamType::BStr;
  static constexpr PassBy kPassBy = PassBy::Value;
  explicit Param(Variant& arg) : text_(arg.CStr()) {}
  const std::string& Get() { return text_; }
  void WriteBack() {}
  std::string text_;
};

template <>
struct Param<std::string> : Param<const std::string&> {
  using Param<const std::string&>::Param;
};

template <>
struct Param<std::string_view> : Param<const std::string&> {
  using Param<const std::string&>::Param;
};

template <>
struct Param<std::int32_t> {
  static constexpr ParamType kType = ParamType::Long;
  static constexpr PassBy kPassBy = PassBy::Value;
  explicit Param(Variant& arg) : value_(arg.CLng()) {}
  std::int32_t Get() { return value_; }
  void WriteBack() {}
  std::int32_t value_;
};

template <>
struct Param<std::int16_t> {
  static constexpr ParamType kType = ParamType::Short;
  static constexpr PassBy kPassBy = PassBy::Value;
  explicit Param(Variant& arg) : value_(arg.CInt()) {}
  std::int16_t Get() { return value_; }
  void WriteBack() {}
  std::int16_t value_;
};

template <class R>
struct Result;
template <>
struct Result<std::int32_t> {
  static constexpr ParamType kType = ParamType::Long;
};
template <>
struct Result<std::string> {
  static constexpr ParamType kType = ParamType::BStr;
};

template <auto Fn>
struct Binder;

template <class R, class... P, R (*Fn)(P...)>
struct Binder<Fn> {
  static void Check(const MethodInfo& method) {
    const ParamType types[] = {Param<P>::kType..., ParamType::Variant};
    const PassBy passBy[] = {Param<P>::kPassBy..., PassBy::Value};
    bool fits = sizeof...(P) == method.params.size() && Result<R>::kType == method.result;
    for (std::size_t i = 0; fits && i < sizeof...(P); ++i) {
      fits = types[i] == method.params[i].type && passBy[i] == method.params[i].passBy;
    }
    if (!fits) {
      throw std::logic_error("the C++ signature does not match the dispatch entry of " +
                             method.name);
    }
  }

  static Variant Call(Invocation& invocation) {
    return CallWith(invocation, std::index_sequence_for<P...>{});
  }

  template <std::size_t... I>
  static Variant CallWith(Invocation& invocation, std::index_sequence<I...>) {
    std::tuple<Param<P>...> params{Param<P>(invocation.Arg(I))...};
    R result = Fn(std::get<I>(params).Get()...);
    (std::get<I>(params).WriteBack(), ...);
    return Variant(std::move(result));
  }
};

}  // namespace binding

// A body for `method` calling Fn with typed arguments; std::logic_error when Fn's signature
// does not match the entry.
template <auto Fn>
MethodBody Bind(const MethodInfo& method) {
  binding::Binder<Fn>::Check(method);
  return &binding::Binder<Fn>::Call;
}

}  // namespace tamsel::platform::com
