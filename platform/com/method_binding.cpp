// Argument coercion for late-bound calls.
#include "platform/com/method_binding.h"

#include "platform/network/utf16.h"

namespace tamsel::platform::com {
namespace {

// Text enters the component as the multi-byte conversion gives it to a BSTR: each invalid
// sequence becomes U+FFFD, so nothing downstream (the database, the answers) holds text that
// is not UTF-8.
void ConvertEnteringText(Variant& value) {
  if (value.Type() != VarType::BStr) return;
  const std::string text = value.CStr();
  std::string valid = network::ToValidUtf8(text);
  if (valid != text) value = Variant(std::move(valid));
}

}  // namespace

Variant CoerceTo(const Variant& value, ParamType type) {
  switch (type) {
    case ParamType::BStr:
      return Variant(value.CStr());
    case ParamType::Long:
      return Variant(value.CLng());
    case ParamType::Short:
      return Variant(value.CInt());
    case ParamType::Variant:
      break;
  }
  return value;
}

Variant InvokeMethod(const MethodInfo& method, Arguments& args, const MethodBody& body) {
  if (args.size() > method.params.size()) {
    throw ComError(DISP_E_BADPARAMCOUNT, "", "Invalid number of parameters.");
  }
  // Values the body works on: by-value copies, defaults, and typed by-reference temporaries.
  std::vector<Variant> locals(method.params.size());
  std::vector<Variant*> bound(method.params.size());
  std::vector<std::size_t> writeBack;
  for (std::size_t i = 0; i < method.params.size(); ++i) {
    const ParamInfo& param = method.params[i];
    bool omitted = i >= args.size() || args[i].missing;
    if (!omitted) ConvertEnteringText(args[i].value);
    if (omitted) {
      if (!param.defaultValue) {
        throw ComError(DISP_E_PARAMNOTOPTIONAL, "", "Parameter not optional.");
      }
      locals[i] = *param.defaultValue;
      bound[i] = &locals[i];
    } else if (param.passBy == PassBy::Reference && param.type == ParamType::Variant) {
      bound[i] = &args[i].value;
    } else {
      locals[i] = CoerceTo(args[i].value, param.type);
      bound[i] = &locals[i];
      if (param.passBy == PassBy::Reference) writeBack.push_back(i);
    }
  }
  Invocation invocation(bound);
  Variant result = body(invocation);
  for (std::size_t i : writeBack) args[i].value = locals[i];
  return result;
}

}  // namespace tamsel::platform::com
