// Tests of registration in the local machine's registry, class objects, and the failures of
// creation by ProgID before a library is reached.
#include "platform/com/inproc_server.h"

#include <gtest/gtest.h>

#include "platform/com/create_object.h"
#include "platform/network/network.h"
#include "platform/registry/registry.h"
#include "testing/temp_dir.h"

namespace tamsel::platform::com {
namespace {

namespace reg = platform::registry;

class NullFactory : public ClassFactory {
 public:
  HRESULT CreateInstance(const Activation&, std::shared_ptr<IDispatchObject>&) noexcept override {
    return E_NOTIMPL;
  }
};

class InprocServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(temp_.Path() / "net");
    network::Network::Current().CreateMachineFolder("HOST");
    server_.typeLibName = "Sample";
    server_.libid = Guid::FromString("{11111111-2222-3333-4444-555555555555}");
    server_.classes = {{"Thing", Guid::FromString("{AAAAAAAA-2222-3333-4444-555555555555}"),
                        "Sample.Thing", &interface_, &factory_}};
  }

  static std::string Value(const std::string& key, const std::string& name = "") {
    reg::RegistryKey opened;
    if (reg::RegistryKey::Open(reg::HKEY_CLASSES_ROOT, key, reg::KEY_READ, opened) != 0) {
      return "<absent>";
    }
    std::string value;
    return opened.GetString(name, value) == 0 ? value : "<no value>";
  }

  testing::ScopedTempDir temp_;
  network::ScopedCurrentNetwork network_{network::Network(temp_.Path() / "net", "HOST")};
  InterfaceInfo interface_{
      "_Thing", Guid::FromString("{BBBBBBBB-2222-3333-4444-555555555555}"), {}};
  NullFactory factory_;
  ServerInfo server_;
};

TEST_F(InprocServerTest, RegistrationWritesAndRemovesEveryEntry) {
  ASSERT_EQ(RegisterServer(server_, temp_.Path() / "lib" / ".." / "libSample.so"), S_OK);
  const std::string clsid = "CLSID\\{AAAAAAAA-2222-3333-4444-555555555555}";
  EXPECT_EQ(Value(clsid), "Sample.Thing");
  EXPECT_EQ(Value(clsid + "\\InprocServer32"), (temp_.Path() / "libSample.so").string());
  EXPECT_EQ(Value(clsid + "\\InprocServer32", "ThreadingModel"), "Apartment");
  EXPECT_EQ(Value(clsid + "\\TypeLib"), "{11111111-2222-3333-4444-555555555555}");
  EXPECT_EQ(Value("Sample.Thing\\CLSID"), "{AAAAAAAA-2222-3333-4444-555555555555}");
  EXPECT_EQ(Value("TypeLib\\{11111111-2222-3333-4444-555555555555}\\1.0"), "Sample");
  EXPECT_EQ(Value("TypeLib\\{11111111-2222-3333-4444-555555555555}\\1.0\\409\\win32"),
            (temp_.Path() / "libSample.so").string());
  EXPECT_EQ(Value("Interface\\{BBBBBBBB-2222-3333-4444-555555555555}"), "_Thing");

  Guid found;
  EXPECT_EQ(CLSIDFromProgID("sample.thing", found), S_OK);  // ProgIDs match in any case
  EXPECT_EQ(found, server_.classes[0].clsid);
  std::shared_ptr<IDispatchObject> object;
  EXPECT_EQ(CoCreateInstance(found, {}, object), CO_E_DLLNOTFOUND);  // no such file

  ASSERT_EQ(UnregisterServer(server_), S_OK);
  EXPECT_EQ(Value(clsid), "<absent>");
  EXPECT_EQ(Value("Sample.Thing"), "<absent>");
  EXPECT_EQ(Value("TypeLib\\{11111111-2222-3333-4444-555555555555}"), "<absent>");
  EXPECT_EQ(Value("Interface\\{BBBBBBBB-2222-3333-4444-555555555555}"), "<absent>");
  EXPECT_EQ(UnregisterServer(server_), S_OK);  // nothing left to remove is no error
  EXPECT_EQ(CLSIDFromProgID("Sample.Thing", found), CO_E_CLASSSTRING);
  EXPECT_EQ(CoCreateInstance(server_.classes[0].clsid, {}, object), REGDB_E_CLASSNOTREG);
  EXPECT_THROW(CreateObject("Sample.Thing"), ComError);
}

TEST_F(InprocServerTest, ClassObjectsAnswerOnlyTheirClassAndTheFactoryInterface) {
  void* factory = nullptr;
  EXPECT_EQ(GetClassObject(server_, &server_.classes[0].clsid, &IID_IClassFactory(), &factory),
            S_OK);
  EXPECT_EQ(factory, &factory_);
  EXPECT_EQ(GetClassObject(server_, &server_.classes[0].clsid, &server_.libid, &factory),
            E_NOINTERFACE);
  EXPECT_EQ(factory, nullptr);
  EXPECT_EQ(GetClassObject(server_, &server_.libid, &IID_IClassFactory(), &factory),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(GetClassObject(server_, nullptr, &IID_IClassFactory(), &factory), E_POINTER);
}

}  // namespace
}  // namespace tamsel::platform::com
