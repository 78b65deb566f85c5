// `tamsel net`: the machines of the network — create one with the keys and folders the
// system expects, list them, take them offline and back, show where their files live.
#include <cstdio>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/network/network.h"
#include "platform/registry/regional_settings.h"
#include "platform/registry/registry.h"
#include "platform/registry/system_environment.h"
#include "tools/tamsel/commands.h"

namespace tamsel::tools {

namespace {

namespace net = platform::network;
namespace reg = platform::registry;

constexpr const char* kUsage =
    "usage: tamsel net create NAME [--version V]\n"
    "                                     a new machine with drives C and D, the Windows folder\n"
    "                                     and the standard registry keys; Windows version V\n"
    "                                     (default 5.2); 6.0 and later keep .evtx logs\n"
    "       tamsel net list [--json]      the machines and whether they are online\n"
    "       tamsel net offline NAME       marks a machine unreachable\n"
    "       tamsel net online NAME        makes it reachable again\n"
    "       tamsel net path NAME [WINPATH]  host folder of a machine, or of a path on it\n"
    "                                     (tamsel net path SRV01 'C:\\WINDOWS')\n"
    "       tamsel net source ...         event sources (tamsel net source --help)\n";

constexpr const char* kEventLogKey = "SYSTEM\\CurrentControlSet\\Services\\EventLog";
constexpr const char* kSystemRoot = "C:\\WINDOWS";
constexpr reg::DWORD kLogMaxSize = 524288;          // 512 KiB, the default of the classic systems
constexpr reg::DWORD kModernLogMaxSize = 20971520;  // 20 MiB, the default of the modern ones
constexpr const char* kDefaultVersion = "5.2";

// What a Windows version brings: its product name and whether its logs are .evtx files.
struct WindowsVersion {
  std::string number;
  std::string product;
  bool modern = false;
};

std::optional<WindowsVersion> ParseVersion(const std::string& text) {
  static const std::map<std::string, const char*> kProducts = {
      {"5.0", "Microsoft Windows 2000"},  {"5.2", "Microsoft Windows Server 2003"},
      {"6.0", "Windows Server (R) 2008"}, {"6.1", "Windows Server 2008 R2"},
      {"6.2", "Windows Server 2012"},     {"6.3", "Windows Server 2012 R2"},
      {"10.0", "Windows Server 2019"}};
  auto found = kProducts.find(text);
  if (found == kProducts.end()) return std::nullopt;
  return WindowsVersion{text, found->second, std::stoi(text) >= 6};
}

bool WantsHelp(const Args& args) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h" || arg == "/?") return true;
  }
  return false;
}

int Usage(const std::string& error) {
  std::fprintf(stderr, "tamsel net: %s\n%s", error.c_str(), kUsage);
  return 1;
}

// Writes one key's values; any failure names the key.
struct StringValue {
  const char* name;
  const char* data;
  reg::DWORD type;
};

bool WriteKey(reg::HKEY root, const std::string& path, std::initializer_list<StringValue> strings,
              std::initializer_list<std::pair<const char*, reg::DWORD>> dwords = {}) {
  reg::RegistryKey key;
  bool ok = reg::RegistryKey::Create(root, path, key) == 0;
  for (const StringValue& value : strings) {
    ok = ok && key.SetString(value.name, value.data, value.type) == 0;
  }
  for (const auto& [name, value] : dwords) ok = ok && key.SetDword(name, value) == 0;
  if (!ok) std::fprintf(stderr, "tamsel net: cannot write registry key %s\n", path.c_str());
  return ok;
}

bool WriteStandardKeys(const std::string& name, const WindowsVersion& version) {
  reg::RegistryKey machine;
  reg::RegistryKey user;
  if (reg::RegistryKey::Connect(name, reg::HKEY_LOCAL_MACHINE, machine) != 0 ||
      reg::RegistryKey::Connect(name, reg::HKEY_CURRENT_USER, user) != 0) {
    std::fprintf(stderr, "tamsel net: cannot open the registry of %s\n", name.c_str());
    return false;
  }
  reg::HKEY hklm = machine.Get();
  bool ok = true;
  struct Log {
    const char* name;
    const char* file;
  };
  for (const Log& log : {Log{"Application", "AppEvent.Evt"}, Log{"System", "SysEvent.Evt"},
                         Log{"Security", "SecEvent.Evt"}}) {
    std::string file =
        version.modern ? std::string("%SystemRoot%\\System32\\Winevt\\Logs\\") + log.name + ".evtx"
                       : std::string("%SystemRoot%\\system32\\config\\") + log.file;
    ok = ok && WriteKey(hklm, std::string(kEventLogKey) + "\\" + log.name,
                        {{"File", file.c_str(), reg::REG_EXPAND_SZ}},
                        {{"MaxSize", version.modern ? kModernLogMaxSize : kLogMaxSize},
                         {"Retention", 0}});
  }
  ok = ok && WriteKey(hklm, reg::kWindowsVersionKey,
                      {{"SystemRoot", kSystemRoot, reg::REG_SZ},
                       {"CurrentVersion", version.number.c_str(), reg::REG_SZ},
                       {"ProductName", version.product.c_str(), reg::REG_SZ}});
  ok = ok && WriteKey(hklm, "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName",
                      {{"ComputerName", name.c_str(), reg::REG_SZ}});
  ok = ok && WriteKey(hklm, reg::kEnvironmentKey,
                      {{"SystemRoot", kSystemRoot, reg::REG_SZ},
                       {"windir", "%SystemRoot%", reg::REG_EXPAND_SZ},
                       {"ComSpec", "%SystemRoot%\\system32\\cmd.exe", reg::REG_EXPAND_SZ},
                       {"Path", "%SystemRoot%\\system32;%SystemRoot%;%SystemRoot%\\System32\\Wbem",
                        reg::REG_EXPAND_SZ},
                       {"PATHEXT", ".COM;.EXE;.BAT;.CMD;.VBS;.VBE;.JS;.JSE;.WSF;.WSH", reg::REG_SZ},
                       {"TEMP", "%SystemRoot%\\TEMP", reg::REG_EXPAND_SZ},
                       {"TMP", "%SystemRoot%\\TEMP", reg::REG_EXPAND_SZ},
                       {"OS", "Windows_NT", reg::REG_SZ},
                       {"PROCESSOR_ARCHITECTURE", "x86", reg::REG_SZ},
                       {"NUMBER_OF_PROCESSORS", "1", reg::REG_SZ}});
  ok = ok && WriteKey(hklm, "SOFTWARE\\Classes", {});
  ok = ok && WriteKey(user.Get(), reg::kInternationalKey,
                      {{"sShortDate", "M/d/yyyy", reg::REG_SZ},
                       {"sTimeFormat", "h:mm:ss tt", reg::REG_SZ},
                       {"s1159", "AM", reg::REG_SZ},
                       {"s2359", "PM", reg::REG_SZ},
                       {"sDate", "/", reg::REG_SZ},
                       {"sTime", ":", reg::REG_SZ},
                       {"sLongDate", "dddd, MMMM dd, yyyy", reg::REG_SZ},
                       {"Locale", "00000409", reg::REG_SZ},
                       {"LocaleName", "en-US", reg::REG_SZ}});
  return ok;
}

bool MakeWindowsFolders(const net::Machine& machine, const WindowsVersion& version) {
  std::vector<const char*> folders = {"C:\\WINDOWS", "C:\\WINDOWS\\system32",
                                      "C:\\WINDOWS\\system32\\config", "C:\\WINDOWS\\TEMP"};
  if (version.modern) {
    folders.insert(folders.end(),
                   {"C:\\WINDOWS\\system32\\winevt", "C:\\WINDOWS\\system32\\winevt\\Logs"});
  }
  for (const char* folder : folders) {
    platform::Win32Error status = machine.CreateFolder(folder);
    if (status != platform::ERROR_SUCCESS && status != platform::ERROR_ALREADY_EXISTS) {
      std::fprintf(stderr, "tamsel net: cannot create %s (error %u)\n", folder, status);
      return false;
    }
  }
  return true;
}

int Create(const Args& args) {
  std::vector<std::string> names;
  std::string versionText = kDefaultVersion;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--version") {
      if (i + 1 >= args.size()) return Usage("--version needs a value such as 6.3");
      versionText = args[++i];
    } else {
      names.push_back(args[i]);
    }
  }
  if (names.size() != 1) return Usage("create needs exactly one machine name");
  std::optional<WindowsVersion> version = ParseVersion(versionText);
  if (!version) {
    return Usage("unknown --version '" + versionText + "' (5.0, 5.2, 6.0-6.3, 10.0)");
  }
  std::string name = net::CanonicalMachineName(names[0]);
  if (!net::IsValidMachineName(name)) {
    std::fprintf(stderr, "tamsel net: invalid machine name '%s'\n", names[0].c_str());
    return 1;
  }
  const net::Network& network = net::Network::Current();
  if (!network.CreateMachineFolder(name)) {
    std::fprintf(stderr, "tamsel net: machine %s already exists\n", name.c_str());
    return 1;
  }
  auto machine = network.OpenMachine(name);
  if (!MakeWindowsFolders(*machine, *version) || !WriteStandardKeys(name, *version)) {
    // A half-made machine would look usable; it was new, so nothing else is lost.
    std::error_code ignored;
    std::filesystem::remove_all(network.Root() / name, ignored);
    return 1;
  }
  std::printf("created machine %s in %s\n", name.c_str(), (network.Root() / name).string().c_str());
  return 0;
}

int List(const Args& args) {
  bool json = args.size() == 1 && args[0] == "--json";
  if (!args.empty() && !json) return Usage("list takes only --json");
  const net::Network& network = net::Network::Current();
  nlohmann::json machines = nlohmann::json::array();
  for (const std::string& name : network.MachineNames()) {
    bool online = network.OpenMachine(name)->IsReachable();
    if (json) {
      machines.push_back({{"name", name}, {"online", online}});
    } else {
      std::printf("%-16s %s\n", name.c_str(), online ? "online" : "offline");
    }
  }
  if (json) std::printf("%s\n", machines.dump(2).c_str());
  return 0;
}

// The folder-backed machine by name, or nothing (with the error printed) if it has no folder.
std::shared_ptr<net::FolderMachine> ExistingMachine(const std::string& given) {
  auto machine =
      std::dynamic_pointer_cast<net::FolderMachine>(net::Network::Current().OpenMachine(given));
  std::error_code error;
  if (!machine || machine->Folder().empty() ||
      !std::filesystem::is_directory(machine->Folder(), error)) {
    std::fprintf(stderr, "tamsel net: no machine named '%s'\n", given.c_str());
    return nullptr;
  }
  return machine;
}

int SetOnline(const Args& args, bool online) {
  if (args.size() != 1) return Usage("expected exactly one machine name");
  auto machine = ExistingMachine(args[0]);
  if (!machine) return 1;
  machine->SetOnline(online);
  if (machine->IsReachable() != online) {
    std::fprintf(stderr, "tamsel net: cannot mark %s %s\n", machine->Name().c_str(),
                 online ? "online" : "offline");
    return 1;
  }
  std::printf("%s is %s\n", machine->Name().c_str(), online ? "online" : "offline");
  return 0;
}

int Path(const Args& args) {
  if (args.empty() || args.size() > 2) return Usage("path needs a machine name and maybe a path");
  auto machine = ExistingMachine(args[0]);
  if (!machine) return 1;
  if (args.size() == 1) {
    std::printf("%s\n", machine->Folder().string().c_str());
    return 0;
  }
  std::filesystem::path host;
  const std::string& windowsPath = args[1];
  platform::Win32Error status = windowsPath.starts_with("\\\\")
                                    ? net::Network::Current().ResolvePath(windowsPath, host)
                                    : machine->ResolveLocalPath(windowsPath, host);
  if (status != platform::ERROR_SUCCESS) {
    std::fprintf(stderr, "tamsel net: cannot resolve '%s' on %s (error %u)\n", windowsPath.c_str(),
                 machine->Name().c_str(), status);
    return 1;
  }
  std::printf("%s\n", host.string().c_str());
  return 0;
}

}  // namespace

int RunNetCommand(const Args& args) {
  if (args.empty()) return Usage("missing subcommand");
  const std::string& verb = args[0];
  Args rest(args.begin() + 1, args.end());
  if (verb == "source") return RunNetSourceCommand(rest);
  if (verb == "--help" || verb == "-h" || verb == "/?" || WantsHelp(rest)) {
    std::printf("%s", kUsage);
    return 0;
  }
  if (verb == "create") return Create(rest);
  if (verb == "list") return List(rest);
  if (verb == "offline") return SetOnline(rest, false);
  if (verb == "online") return SetOnline(rest, true);
  if (verb == "path") return Path(rest);
  return Usage(("unknown subcommand '" + verb + "'").c_str());
}

}  // namespace tamsel::tools
