// tamsel_demo_network: fills the demo network's servers (made before with `tamsel net create`)
// with message files, event sources, accounts and events, registers them and one exclusion
// in TamselDB (created before with `tamsel db create`), and afterwards reports what the
// collector's pass did from its debug trace and the database.
//
//   tamsel_demo_network setup DLL_FOLDER     (TAMSEL_NETWORK, TAMSEL_MACHINE name the network)
//   tamsel_demo_network report DEBUG_LOG
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "database/database_file.h"
#include "platform/accounts/account_names.h"
#include "platform/data/command.h"
#include "platform/data/connection.h"
#include "platform/eventlog/event_log.h"
#include "platform/eventlog/log_config.h"
#include "platform/network/network.h"
#include "platform/registry/registry.h"

namespace {

namespace net = tamsel::platform::network;
namespace reg = tamsel::platform::registry;
namespace evl = tamsel::platform::eventlog;
namespace acc = tamsel::platform::accounts;
namespace data = tamsel::platform::data;
using tamsel::platform::com::Variant;

constexpr const char* kConnection =
    "Provider=sqloledb;Data Source=(local);Initial Catalog=TamselDB;TRUSTED_CONNECTION=YES;";
const std::vector<std::string> kServers = {"SRV01", "SRV02", "SRV03"};
constexpr const char* kOfflineServer = "SRV03";
constexpr const char* kExcludedServer = "SRV02";
constexpr std::uint16_t kExcludedType = evl::EVENTLOG_INFORMATION_TYPE;

void Require(bool ok, const std::string& what) {
  if (!ok) throw std::runtime_error(what);
}

void InstallFile(const std::string& server, const std::filesystem::path& file,
                 const std::string& windowsFolder) {
  std::filesystem::path folder;
  Require(net::Network::Current().ResolvePath("\\\\" + server + "\\" + windowsFolder, folder) == 0,
          "no folder " + windowsFolder + " on " + server);
  std::filesystem::copy_file(file, folder / file.filename(),
                             std::filesystem::copy_options::overwrite_existing);
}

void AddSource(const std::string& server, const std::string& log, const std::string& source,
               const std::string& eventFiles, const std::string& categoryFile = "",
               std::uint32_t categories = 0) {
  reg::RegistryKey root, key;
  Require(reg::RegistryKey::Connect(server, reg::HKEY_LOCAL_MACHINE, root) == 0, server);
  Require(reg::RegistryKey::Create(
              root.Get(), std::string(evl::kEventLogKey) + "\\" + log + "\\" + source, key) == 0,
          source);
  key.SetString("EventMessageFile", eventFiles, reg::REG_EXPAND_SZ);
  key.SetDword("TypesSupported", 7);
  if (!categoryFile.empty()) {
    key.SetString("CategoryMessageFile", categoryFile, reg::REG_EXPAND_SZ);
    key.SetDword("CategoryCount", categories);
  }
}

// Writes events of one source, as the application on the server does.
class Source {
 public:
  Source(const std::string& server, const std::string& name)
      : handle_(evl::RegisterEventSourceA(server.c_str(), name.c_str())) {
    Require(static_cast<bool>(handle_), "source " + name + " on " + server);
  }
  void Write(std::uint16_t type, std::uint32_t id, std::uint16_t category,
             const std::vector<std::string>& strings, const acc::Sid* user = nullptr) {
    std::vector<const char*> texts;
    for (const std::string& text : strings) texts.push_back(text.c_str());
    std::vector<std::uint8_t> sid = user ? user->Bytes() : std::vector<std::uint8_t>();
    Require(
        evl::ReportEventA(handle_.Get(), type, category, id, sid.empty() ? nullptr : sid.data(),
                          static_cast<std::uint16_t>(texts.size()), 0, texts.data(), nullptr) != 0,
        "ReportEventA");
  }

 private:
  evl::EventLogHandle handle_;
};

void FillServer(const std::string& server, const std::filesystem::path& dlls, int number) {
  const std::string system32 = "C$\\WINDOWS\\system32";
  for (const char* dll : {"shopmsg.dll", "scmmsg.dll", "secmsg.dll"}) {
    InstallFile(server, dlls / dll, system32);
  }
  const std::string files = "%SystemRoot%\\system32\\";
  AddSource(server, "Application", "ShopApp", files + "shopmsg.dll", files + "shopmsg.dll", 2);
  // Registered under the other name of the Windows folder; found on the retry.
  AddSource(server, "Application", "LegacyShop", "C:\\winnt\\system32\\shopmsg.dll");
  AddSource(server, "System", "ServiceControl", files + "scmmsg.dll;" + files + "netmsg.dll");
  AddSource(server, "Security", "SecurityAudit", files + "secmsg.dll", files + "secmsg.dll", 2);

  const acc::Sid domain = acc::MachineDomainSid(server);
  const acc::Sid alice = domain.WithRid(1001), bob = domain.WithRid(1002),
                 backup = domain.WithRid(1003);
  acc::AddAccount(server, alice, "alice");
  acc::AddAccount(server, bob, "bob");
  acc::AddAccount(server, backup, "svc_backup");
  const acc::Sid system = *acc::Sid::FromString("S-1-5-18");

  Source shop(server, "ShopApp");
  const std::string n = std::to_string(number);
  shop.Write(4, 0x400003E8u, 1, {"A-" + n + "001", "alice"}, &alice);
  shop.Write(4, 0x400003E8u, 1, {"A-" + n + "002", "bob"}, &bob);
  shop.Write(1, 0xC00003E9u, 2, {"49.90 EUR", "A-" + n + "002", "card declined"}, &bob);
  shop.Write(2, 0x800003EBu, 1, {"3", "USB-C cable"});
  if (number == 1) {
    // A record larger than the collector's 1024-byte read buffer.
    std::string report;
    for (int line = 1; report.size() < 1500; ++line) {
      report += "line " + std::to_string(line) + ": 12 orders, 3 returns, no complaints. ";
    }
    shop.Write(4, 0x400003EAu, 1, {report}, &system);
  }
  Source legacy(server, "LegacyShop");
  legacy.Write(4, 0x400003E8u, 0, {"L-" + n + "001", "carol"});
  Source scripts(server, "NightlyScripts");  // no message file: the fallback text
  scripts.Write(4, 1, 0, {"cleanup.cmd", "finished", ""});

  Source scm(server, "ServiceControl");
  scm.Write(4, 0x40001B7Cu, 0, {"Print Spooler", "running"}, &system);
  scm.Write(4, 0x40001B7Cu, 0, {"Backup Agent", "stopped"}, &system);
  scm.Write(1, 0xC0001B58u, 0, {"Backup Agent", "The system cannot find the file specified."},
            &system);

  Source security(server, "SecurityAudit");
  security.Write(8, 528, 1, {"alice", server, "2"}, &alice);
  security.Write(16, 529, 1, {"mallory", server});
  security.Write(8, 528, 1, {"svc_backup", server, "5"}, &backup);
}

void Execute(data::Connection& connection, const char* procedure,
             const std::vector<std::pair<const char*, Variant>>& inputs, bool withOutput) {
  data::Command command;
  command.SetActiveConnection(connection);
  command.SetCommandType(data::adCmdStoredProc);
  command.SetCommandText(procedure);
  if (withOutput) {
    command.GetParameters().Append(
        command.CreateParameter("@ELServerID", data::adInteger, data::adParamOutput, 4));
  }
  for (const auto& [name, value] : inputs) {
    command.GetParameters().Append(
        command.CreateParameter(name, data::adVarChar, data::adParamInput, 255, value));
  }
  command.Execute(data::adExecuteNoRecords);
}

int Setup(const std::filesystem::path& dlls) {
  for (size_t index = 0; index < kServers.size(); ++index) {
    FillServer(kServers[index], dlls, static_cast<int>(index) + 1);
  }
  // The servers registered as the administration pages register them, and one exclusion.
  data::Connection connection;
  connection.Open(kConnection);
  for (const std::string& server : kServers) {
    Execute(connection, "ServerAdd",
            {{"@ELServerName", Variant(server)},
             {"@ELServerDescription", Variant("demo server " + server)}},
            true);
  }
  auto id = connection.Execute("SELECT ELServerID FROM ELServer WHERE ELServerName = '" +
                               std::string(kExcludedServer) + "'");
  data::Command exclusion;
  exclusion.SetActiveConnection(connection);
  exclusion.SetCommandType(data::adCmdStoredProc);
  exclusion.SetCommandText("EventExclusionInsert");
  exclusion.GetParameters().Append(exclusion.CreateParameter(
      "@ELServerID", data::adInteger, data::adParamInput, 4, id["ELServerID"]));
  exclusion.GetParameters().Append(
      exclusion.CreateParameter("@EventTypeID", data::adInteger, data::adParamInput, 4,
                                Variant(static_cast<std::int32_t>(kExcludedType))));
  exclusion.Execute(data::adExecuteNoRecords);
  connection.Close();
  std::ofstream(net::Network::Current().Root() / kOfflineServer / "OFFLINE").put('\n');
  std::printf("demo network: %zu servers (%s offline), information events of %s excluded\n",
              kServers.size(), kOfflineServer, kExcludedServer);
  return 0;
}

// The collector's trace lines of its pass, summed per server and log.
int Report(const std::filesystem::path& debugLog) {
  struct Counts {
    long stored = 0, excluded = 0, notStored = 0;
  };
  std::map<std::string, std::map<std::string, Counts>> logs;
  std::map<std::string, std::string> skipped;
  const std::regex read(
      R"(Read .*\\(.+)_\d{14}\.evt of (\S+): (\d+) stored, (\d+) excluded, (\d+) not stored)");
  const std::regex skip(R"(Server (\S+) skipped: (.*))");
  std::ifstream in(debugLog);
  std::string line;
  bool passDone = false;
  while (std::getline(in, line)) {
    std::smatch match;
    if (std::regex_search(line, match, read)) {
      Counts& counts = logs[match[2]][match[1]];
      counts.stored += std::stol(match[3]);
      counts.excluded += std::stol(match[4]);
      counts.notStored += std::stol(match[5]);
    } else if (std::regex_search(line, match, skip)) {
      skipped[match[1]] = match[2];
    } else if (line.find("Collection pass done") != std::string::npos) {
      passDone = true;
    }
  }
  std::printf("\n%-8s %-12s %8s %9s %11s\n", "server", "log", "stored", "excluded", "not stored");
  for (const std::string& server : kServers) {
    if (auto found = skipped.find(server); found != skipped.end()) {
      std::printf("%-8s %-12s failed: not reachable (%s)\n", server.c_str(), "-",
                  found->second.c_str());
      continue;
    }
    for (const auto& [log, counts] : logs[server]) {
      std::printf("%-8s %-12s %8ld %9ld %11ld\n", server.c_str(), log.c_str(), counts.stored,
                  counts.excluded, counts.notStored);
    }
  }
  data::Connection connection;
  connection.Open(kConnection);
  auto rows = connection.Execute("SELECT COUNT(*) AS N FROM LogEntry");
  std::printf("\nTamselDB now holds %s log entries: %s\n", rows["N"].CStr().c_str(),
              tamsel::db::LocalCatalogFile("TamselDB").c_str());
  auto sample = connection.Execute(
      "SELECT s.ELServerName, t.LogTypeName, e.EventID, c.EventCategoryName, u.ELUserName,"
      " e.FullMessage FROM LogEntry e JOIN ELServer s ON s.ELServerID = e.ELServerID"
      " JOIN LogType t ON t.LogTypeID = e.LogTypeID JOIN EventCategory c ON"
      " c.EventCategoryID = e.EventCategoryID JOIN ELUser u ON u.ELUserID = e.ELUserID"
      " ORDER BY e.LEID LIMIT 3");
  for (; !sample.IsEOF(); sample.MoveNext()) {
    std::string message = sample["FullMessage"].CStr();
    if (message.size() > 90) message = message.substr(0, 87) + "...";
    std::printf("  %s %s %s [%s] %s: %s\n", sample["ELServerName"].CStr().c_str(),
                sample["LogTypeName"].CStr().c_str(), sample["EventID"].CStr().c_str(),
                sample["EventCategoryName"].CStr().c_str(), sample["ELUserName"].CStr().c_str(),
                message.c_str());
  }
  connection.Close();
  if (!passDone) {
    std::fprintf(stderr, "tamsel_demo_network: the collector's pass did not finish\n");
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::string(argv[1]) != "setup" && std::string(argv[1]) != "report")) {
    std::fprintf(stderr,
                 "usage: tamsel_demo_network setup DLL_FOLDER | report DEBUG_LOG\n"
                 "  The network is TAMSEL_NETWORK, the collector's machine TAMSEL_MACHINE.\n");
    return 2;
  }
  try {
    net::Network::SetCurrent(net::Network::FromEnvironment());
    return std::string(argv[1]) == "setup" ? Setup(argv[2]) : Report(argv[2]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tamsel_demo_network: %s\n", error.what());
    return 1;
  }
}
