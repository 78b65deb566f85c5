// Tests of opening connections on the embedded provider: connection string grammar,
// providers, authentication forms, data-source names and aliases, and the errors a SQL
// Server client gets for the same failures.
#include "platform/data/connection.h"

#include <gtest/gtest.h>

#include "platform/com/com_error.h"
#include "platform/data/connection_string.h"
#include "platform/data/data_source.h"
#include "platform/data/data_test_support.h"
#include "platform/data/provider_error.h"

namespace tamsel::platform::data {
namespace {

std::string Catalog(const std::string& server, const std::string& catalog = "Cat") {
  return "Provider=sqloledb;Data Source=" + server + ";Initial Catalog=" + catalog +
         ";TRUSTED_CONNECTION=YES;";
}

TEST(ConnectionStringTest, GrammarAndSynonyms) {
  auto parsed = ConnectionString::Parse(
      " provider = SQLOLEDB ; SERVER=srv;database='My;Db' ; uid=sa;PWD=\"a\"\"b\";"
      "Integrated Security=SSPI");
  const ConnectionSettings s = parsed.Settings();
  EXPECT_EQ(s.provider, "SQLOLEDB");
  EXPECT_EQ(s.dataSource, "srv");
  EXPECT_EQ(s.initialCatalog, "My;Db");
  EXPECT_EQ(s.userId, "sa");
  EXPECT_EQ(s.password, "a\"b");
  EXPECT_TRUE(s.trusted);
  EXPECT_EQ(parsed.Get("DATA source"), std::nullopt);
  EXPECT_EQ(ConnectionString::Parse("Data Source=;User Id=sa;Password=;").Settings().password, "");
  EXPECT_FALSE(ConnectionString::Parse("TRUSTED_CONNECTION=no").Settings().trusted);
  EXPECT_EQ(Hresult([] { ConnectionString::Parse("Provider"); }), 0x800A0BB9u);
  EXPECT_EQ(Hresult([] { ConnectionString::Parse("a='open"); }), 0x800A0BB9u);
}

TEST(ConnectionTest, LocalNamesAndBothAuthenticationFormsOpenTheCatalogFile) {
  TestNetwork net;
  const auto file = net.CreateDatabase("Cat", "CREATE TABLE t (a INTEGER)");
  for (const char* server : {"", "(local)", ".", "local", "LOCAL\\SQLEXPRESS", "localhost"}) {
    Connection conn;
    conn.Open(Catalog(server));
    EXPECT_EQ(conn.State(), adStateOpen) << server;
    EXPECT_EQ(conn.File(), file);
    conn.Close();
    EXPECT_EQ(conn.State(), adStateClosed);
  }
  Connection sqlLogin;
  sqlLogin.Open("Provider=sqloledb;Data Source=;Initial Catalog=cat;User Id=sa;Password=;");
  EXPECT_EQ(sqlLogin.State(), adStateOpen);  // catalog names match without regard to case
}

TEST(ConnectionTest, OpenFailuresCarryTheProviderNumbers) {
  TestNetwork net;
  net.CreateDatabase("Cat", "");
  EXPECT_EQ(Hresult([] { Connection().Open(Catalog("", "Missing")); }), 0x80004005u);
  // Opening never creates the database.
  EXPECT_FALSE(std::filesystem::exists(net.DataFolder() / "Missing.db"));
  EXPECT_EQ(Hresult([] { Connection().Open(Catalog("NOSUCHSERVER")); }), 0x80004005u);
  EXPECT_EQ(Hresult([] { Connection().Open("Provider=Jet;Data Source=;Initial Catalog=Cat"); }),
            0x800A0E7Au);
  EXPECT_EQ(
      Hresult([] { Connection().Open("Provider=sqloledb;Data Source=;Initial Catalog=Cat"); }),
      0x80040E4Du);
  Connection open;
  open.Open(Catalog(""));
  EXPECT_EQ(Hresult([&] { open.Open(Catalog("")); }), 0x800A0E79u);
  open.Close();
  EXPECT_EQ(Hresult([&] { open.Close(); }), 0x800A0E78u);
}

TEST(ConnectionTest, AliasesResolveToTheirMachineAndOfflineServersAreNotFound) {
  TestNetwork net;
  network::Network::Current().CreateMachineFolder("SQL1");
  const auto remote = net.CreateDatabase("Cat", "", "SQL1");
  ASSERT_TRUE(WriteAlias("DBSERVER", "DBMSSOCN,sql1,1433"));
  ASSERT_TRUE(WriteAlias("HERE", "DBMSSOCN,(local)"));
  EXPECT_EQ(ResolveDataSourceMachine("dbserver"), "SQL1");
  EXPECT_EQ(ResolveDataSourceMachine("HERE"), "LOCAL");
  EXPECT_EQ(ResolveDataSourceMachine("\\\\sql2"), "SQL2");
  Connection viaAlias;
  viaAlias.Open(Catalog("DBSERVER"));
  EXPECT_EQ(viaAlias.File(), remote);
  viaAlias.Close();
  auto machine = std::dynamic_pointer_cast<network::FolderMachine>(
      network::Network::Current().OpenMachine("SQL1"));
  ASSERT_TRUE(machine);
  machine->SetOnline(false);
  EXPECT_EQ(Hresult([] { Connection().Open(Catalog("DBSERVER")); }), 0x80004005u);
}

TEST(ConnectionTest, ADeletedDatabaseIsNotServedFromThePool) {
  TestNetwork net;
  const auto file = net.CreateDatabase("Cat", "");
  {
    Connection conn;
    conn.Open(Catalog(""));
  }
  std::filesystem::remove(file);
  EXPECT_EQ(Hresult([] { Connection().Open(Catalog("")); }), 0x80004005u);
}

}  // namespace
}  // namespace tamsel::platform::data
