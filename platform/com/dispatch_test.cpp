// Tests of late-bound calls: names and DISPIDs, by-value coercion with VB's errors,
// by-reference arguments, optional arguments and their defaults, apartment and slot rules.
#include "platform/com/dispatch.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/com/automation_object.h"
#include "platform/com/method_binding.h"
#include "platform/com/object_context.h"

namespace tamsel::platform::com {
namespace {

// Appends to the by-reference text and returns the total of the numbers.
std::int32_t Accumulate(std::int32_t count, std::int16_t step, Variant& text, std::string& name,
                        const Variant& alertHdrID) {
  text = Variant(text.CStr() + "+" + std::to_string(count));
  name += "!";
  return count + step + (alertHdrID.IsNull() ? 0 : alertHdrID.CLng());
}

// Reports whether it runs in a context and whether that context is in a transaction.
std::string DescribeContext() {
  ObjectContext* context = GetObjectContext();
  if (!context) return "none";
  return context->IsInTransaction() ? "transaction" : "no transaction";
}

const InterfaceInfo& TestInterface() {
  static const InterfaceInfo info(
      "_Test", Guid::FromString("{E04598CE-FB33-4E1D-8195-28971CAD94A8}"),
      {{"Accumulate",
        {{"count", ParamType::Long},
         {"step", ParamType::Short},
         {"text", ParamType::Variant, PassBy::Reference},
         {"name", ParamType::BStr, PassBy::Reference},
         {"alertHdrID", ParamType::Variant, PassBy::Value, Variant(std::int16_t{-1})}},
        ParamType::Long},
       {"DescribeContext", {}, ParamType::BStr},
       {"Unbuilt", {}, ParamType::Long}});
  return info;
}

std::shared_ptr<IDispatchObject> NewTestObject(Activation activation = {}) {
  static const std::vector<MethodBody> bodies = {
      Bind<&Accumulate>(TestInterface().Methods()[0]),
      Bind<&DescribeContext>(TestInterface().Methods()[1]), MethodBody()};
  return std::make_shared<AutomationObject>(
      TestInterface(), "Test", [](std::size_t slot) { return bodies[slot]; }, activation);
}

std::int32_t ErrorOf(IDispatchObject& object, std::string_view name, Arguments args) {
  try {
    CallByName(object, name, args);
  } catch (const ComError& error) {
    return error.Number();
  }
  return 0;
}

TEST(DispatchTableTest, SlotsHaveFixedDispIdsAndNamesMatchInAnyCase) {
  const InterfaceInfo& info = TestInterface();
  EXPECT_EQ(info.GetIdOfName("Accumulate"), 0x60030000);
  EXPECT_EQ(info.GetIdOfName("describecontext"), 0x60030001);
  EXPECT_EQ(info.GetIdOfName("Missing"), std::nullopt);
  EXPECT_EQ(info.Method(0x60030002)->name, "Unbuilt");
  EXPECT_EQ(info.Method(0x60030003), nullptr);
  EXPECT_EQ(info.Method(0), nullptr);
  EXPECT_EQ(info.Iid().ToString(), "{E04598CE-FB33-4E1D-8195-28971CAD94A8}");
  EXPECT_EQ(Guid::Parse("e04598ce-fb33-4e1d-8195-28971cad94a8"), info.Iid());
  EXPECT_EQ(Guid::Parse("{E04598CE-FB33-4E1D-8195-28971CAD94A}"), std::nullopt);
  EXPECT_EQ(Guid::Parse("{E04598CE+FB33-4E1D-8195-28971CAD94A8}"), std::nullopt);
}

TEST(LateBoundCallTest, ByReferenceArgumentsComeBackAndOptionalOnesTakeTheirDefault) {
  auto object = NewTestObject();
  Arguments args{Variant("40"), Variant(2.4), Variant("x"), Variant(std::int32_t{7})};
  EXPECT_EQ(CallByName(*object, "Accumulate", args), Variant(std::int32_t{40 + 2 - 1}));
  EXPECT_EQ(args[0].value, Variant("40"));  // by value: the caller's variable is untouched
  EXPECT_EQ(args[2].value, Variant("x+40"));
  EXPECT_EQ(args[3].value, Variant("7!"));  // a typed by-reference argument comes back as text

  // Omitted in the middle of the list (a missing argument) or at the end: the default.
  Arguments explicitMissing{Variant(1), Variant(1), Variant(), Variant(""), Argument::Missing()};
  EXPECT_EQ(CallByName(*object, "accumulate", explicitMissing).CLng(), 1);
  Arguments given{Variant(1), Variant(1), Variant(), Variant(""), Variant::Null()};
  EXPECT_EQ(CallByName(*object, "Accumulate", given).CLng(), 2);
}

TEST(LateBoundCallTest, ArgumentsThatDoNotFitRaiseVbErrors) {
  auto object = NewTestObject();
  Variant s("");
  EXPECT_EQ(ErrorOf(*object, "Accumulate", {Variant("abc"), Variant(1), s, s}), 13);
  EXPECT_EQ(ErrorOf(*object, "Accumulate", {Variant(1), Variant(40000), s, s}), 6);
  EXPECT_EQ(ErrorOf(*object, "Accumulate", {Variant(1), Variant(1), s, Variant::Null()}), 94);
  EXPECT_EQ(ErrorOf(*object, "Accumulate", {Variant(1), Variant(1), s}), 449);
  EXPECT_EQ(ErrorOf(*object, "Accumulate", {Variant(1), Argument::Missing(), s, s}), 449);
  EXPECT_EQ(ErrorOf(*object, "Accumulate", {Variant(1), Variant(1), s, s, s, s}), 450);
  EXPECT_EQ(ErrorOf(*object, "NoSuchMethod", {}), 438);
}

TEST(LateBoundCallTest, UnbuiltSlotsRaiseNotImplemented) {
  auto object = NewTestObject();
  Arguments none;
  try {
    CallByName(*object, "Unbuilt", none);
    FAIL() << "an unbuilt slot answered";
  } catch (const ComError& error) {
    EXPECT_EQ(error.Number(), E_NOTIMPL);
    EXPECT_EQ(error.Description(), "Test.Unbuilt is not implemented in this build");
  }
}

TEST(LateBoundCallTest, ObjectsAnswerOnlyOnTheirOwnThread) {
  auto object = NewTestObject();
  HRESULT fromOtherThread = S_OK;
  std::thread other([&] {
    Arguments none;
    Variant result;
    ExcepInfo exception;
    fromOtherThread = object->Invoke(0x60030001, none, result, exception);
  });
  other.join();
  EXPECT_EQ(fromOtherThread, RPC_E_WRONG_THREAD);
  Arguments none;
  EXPECT_EQ(CallByName(*object, "DescribeContext", none), Variant("transaction"));
}

TEST(LateBoundCallTest, EachCallRunsInAContextThatEndsWithIt) {
  Arguments none;
  EXPECT_EQ(CallByName(*NewTestObject(), "DescribeContext", none), Variant("transaction"));
  EXPECT_EQ(CallByName(*NewTestObject(Activation{false}), "DescribeContext", none),
            Variant("no transaction"));
  EXPECT_EQ(DescribeContext(), "none");
}

}  // namespace
}  // namespace tamsel::platform::com
