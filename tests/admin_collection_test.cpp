// The administration methods as the collection service sees them: servers added and disabled
// through the component, and exclusions submitted through it, take effect at the next pass.
#include <gmock/gmock.h>

#include <fstream>

#include "platform/com/dispatch.h"
#include "reports/admin/admin_methods.h"
#include "reports/core/common_methods.h"
#include "reports/core/component_folder.h"
#include "reports/core/component_objects.h"
#include "tests/collection_test_support.h"

namespace tamsel::e2e {
namespace {

namespace com = platform::com;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class AdminCollectionTest : public CollectionTest {
 protected:
  AdminCollectionTest() : folder_(temp_.Path() / "component") {
    reports::admin::RegisterMethods(reports::MethodRegistry::Global());
    std::filesystem::create_directories(temp_.Path() / "component");
    std::filesystem::create_directories(temp_.Path() / "trace");
    std::ofstream(temp_.Path() / "component" / "AppConfig.xml")
        << "<AppConfig><DATABASE DBServer=\"(local)\" DBName=\"TamselDB\" "
           "UseNTAuthentication=\"1\" DBUserName=\"\" DBPassword=\"\"/><LOGFILE LogFilePath=\""
        << (temp_.Path() / "trace").string() << "\"/></AppConfig>";
    reports::CommonMethods::ModuleStateClear();
  }
  ~AdminCollectionTest() override { reports::CommonMethods::ModuleStateClear(); }

  std::int32_t Reports(const std::string& method, com::Arguments& args) {
    return reports::ComponentCall("Reports." + method, args).CLng();
  }
  // A monitored machine added as the administration page adds it; returns its key.
  int AddMonitored(const std::string& name) {
    CreateMachine(name);
    AddSource(name, "Application", "App", "");
    com::Arguments args{com::Variant("<SERVER ELServerName=\"" + name + "\"/>")};
    EXPECT_EQ(Reports("ServerAdd", args), 0);
    std::string answer = args[0].value.CStr();
    const std::string key = "ELServerID=\"";
    return std::stoi(answer.substr(answer.find(key) + key.size()));
  }
  std::vector<std::string> StoredServerAndType() {
    std::vector<std::string> rows;
    for (const StoredRow& row : Stored()) {
      rows.push_back(row.server + ":" + std::to_string(row.eventType));
    }
    return rows;
  }

  reports::ScopedComponentFolder folder_;
};

TEST_F(AdminCollectionTest, AnExclusionSubmittedSkipsThoseRecordsAtTheNextPass) {
  const int srv01 = AddMonitored("SRV01");
  AddMonitored("SRV02");
  com::Arguments submit{com::Variant("<DELETE/>"),
                        com::Variant("<INSERT><NODE ServerID=\"" + std::to_string(srv01) +
                                     "\" EventTypeID=\"1\"/></INSERT>")};
  ASSERT_EQ(Reports("ExclusionListSubmit", submit), 0);
  for (const std::string server : {"SRV01", "SRV02"}) {
    Write(server, "App", 1, 100);  // error
    Write(server, "App", 4, 101);  // information
  }
  ASSERT_EQ(collector_.CollectAll(), 0);
  EXPECT_THAT(StoredServerAndType(), ElementsAre("SRV01:4", "SRV02:1", "SRV02:4"));
  // The skipped record left the log with the others: nothing is read twice.
  EXPECT_EQ(LiveRecords("SRV01", "Application"), 0u);

  // Lifted again, the pair's next records are stored.
  submit = {com::Variant(submit[1].value.CStr()), com::Variant("<INSERT/>")};
  ASSERT_EQ(Reports("ExclusionListSubmit", submit), 0);
  Write("SRV01", "App", 1, 102);
  ASSERT_EQ(collector_.CollectAll(), 0);
  EXPECT_THAT(StoredServerAndType(), ElementsAre("SRV01:1", "SRV01:4", "SRV02:1", "SRV02:4"));
}

TEST_F(AdminCollectionTest, ADisabledServerIsNoLongerVisited) {
  AddMonitored("SRV01");
  const int srv02 = AddMonitored("SRV02");
  com::Arguments disable{com::Variant(srv02)};
  ASSERT_EQ(Reports("ServerDisable", disable), 0);
  Write("SRV01", "App", 4, 100);
  Write("SRV02", "App", 4, 100);
  ASSERT_EQ(collector_.CollectAll(), 0);
  EXPECT_THAT(StoredServerAndType(), ElementsAre("SRV01:4"));
  // Not visited at all: its log is untouched and no backup folder was made.
  EXPECT_EQ(LiveRecords("SRV02", "Application"), 1u);
  EXPECT_THAT(Files("SRV02", "D$\\EvtBak"), IsEmpty());

  // Added again through the page, it is visited at the next pass.
  com::Arguments add{com::Variant("<SERVER ELServerName=\"SRV02\"/>")};
  ASSERT_EQ(Reports("ServerAdd", add), 0);
  ASSERT_EQ(collector_.CollectAll(), 0);
  EXPECT_THAT(StoredServerAndType(), ElementsAre("SRV01:4", "SRV02:4"));
}

}  // namespace
}  // namespace tamsel::e2e
