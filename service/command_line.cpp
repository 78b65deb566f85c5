// CNTService::ProcessCommandLine: the help text, the six setting options and the standard
// actions install, remove, version and credits. Only the first argument selects the action;
// the second is its value.
#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "service/nt_service.h"

namespace tamsel::service {

namespace {

// "-x" or "/x" in any case.
bool IsOption(const char* argument, char letter) {
  return (argument[0] == '-' || argument[0] == '/') && argument[1] != '\0' && argument[2] == '\0' &&
         (argument[1] | 0x20) == letter;
}

// atoi's reading of a number, with values beyond int's range held at its ends instead of
// being undefined.
int ToInt(const char* text) {
  long value = std::strtol(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

// The largest period in minutes whose milliseconds still fit the int the service keeps.
constexpr int kMaxRefreshMinutes = INT_MAX / 60000;

constexpr const char* kRestartLine = "\nRestart Tamsel service for changes to take effect.";

struct StringOption {
  char letter;
  const char* valueName;
  const char* confirmation;
  const char* missing;
};

constexpr StringOption kStringOptions[] = {
    {'b', "BakupPath", "Set log backup file path to %s.",
     "\nMissing parameter: log backup file path."},
    {'s', "DatabaseServerName", "Set database server name to %s.",
     "\nMissing parameter: database server name."},
};

constexpr StringOption kLoginOptions[] = {
    {'p', "DBPassword", "Set database access password to %s.", "\nMissing parameter: password."},
    {'a', "DBUserName", "Set database user name to %s.", "\nMissing parameter: user name."},
};

}  // namespace

void CNTService::PrintBanner() {
  std::printf("%s Version %d.%d %s\n", serviceName_, majorVersion_, minorVersion_, bannerSuffix_);
}

void CNTService::PrintHelp() {
  PrintBanner();
  std::printf(
      "Usage:\n======\n-i \tInstall\n-u \tUninstall\n-v \tPrint version\n-r [n] \tSet the "
      "refresh rate to n minutes.\n");
  std::printf("-b [p] \tSet event log temp. backup file path, where p parameter is the path.\n");
  std::printf("-s [p] \tSet database server name, where p parameter is the server name.\n");
  std::printf("-n [ 1|0 ] \tSet NTAuthentication on (1) or off (0).\n");
  std::printf(
      "-p [p] \tSet database password (not required NTAuthentication is set to 1), where p "
      "parameter is the password.\n");
  std::printf(
      "-a [p] \tSet database user name (not required NTAuthentication is set to 1), where p "
      "parameter is the user name.\n");
}

BOOL CNTService::ProcessCommandLine(int argc, char** argv) {
  if (argc <= 1) return FALSE;
  const char* option = argv[1];
  const char* value = argc >= 3 ? argv[2] : nullptr;

  if (strcasecmp(option, "/?") == 0 || strcasecmp(option, "help") == 0) {
    PrintHelp();
    return TRUE;
  }
  if (IsOption(option, 'r')) {
    if (value == nullptr) {
      std::printf("\nMissing parameter: refresh rate in minutes.");
      return TRUE;
    }
    int minutes = ToInt(value);
    if (minutes > kMaxRefreshMinutes) {
      // Nothing is stored, so nothing is confirmed.
      std::printf("Refresh rate must be at most %d minutes.", kMaxRefreshMinutes);
      return TRUE;
    }
    if (minutes > 0) SetRefreshRate(minutes * 60000);
    std::printf("Refresh rate set to %d minutes.", minutes);
    std::printf("%s", kRestartLine);
    return TRUE;
  }
  // A string setting: stored and confirmed, or its missing-value message.
  auto applyStringOption = [&](const auto& options) {
    for (const StringOption& entry : options) {
      if (!IsOption(option, entry.letter)) continue;
      if (value == nullptr) {
        std::printf("%s", entry.missing);
        return true;
      }
      SetParameterString(entry.valueName, value);
      std::printf(entry.confirmation, value);
      std::printf("%s", kRestartLine);
      return true;
    }
    return false;
  };
  if (applyStringOption(kStringOptions)) return TRUE;
  if (IsOption(option, 'n')) {
    if (value == nullptr) {
      std::printf("\nMissing parameter: 0 | 1.");
      return TRUE;
    }
    int useNt = ToInt(value);
    if (useNt != 0 && useNt != 1) {
      std::printf("NT authentication must be 1 or 0, where 1 - On, 2 - Off.");
    } else {
      SetNTAuthentication(useNt);
    }
    std::printf("NT authentication is set to %d, where 1 - On, 2 - Off.", useNt);
    std::printf("%s", kRestartLine);
    return TRUE;
  }
  if (applyStringOption(kLoginOptions)) return TRUE;
  if (IsOption(option, 'v')) {
    PrintBanner();
    std::printf("The service is %s installed\n", IsServiceInstalled() ? "currently" : "not");
    return TRUE;
  }
  if (IsOption(option, 'x')) {
    std::printf("Tamsel gathers the event logs of a network's servers into one database.\n");
    std::printf("Written by the Tamsel developers; maintained on Linux with its platform layer.\n");
    return TRUE;
  }
  if (IsOption(option, 'i')) {
    if (IsServiceInstalled()) {
      std::printf("%s is already installed\n", serviceName_);
    } else if (InstallService()) {
      std::printf("%s installed\n", serviceName_);
    } else {
      std::printf("%s failed to install. Error %d\n", serviceName_,
                  static_cast<int>(platform::services::GetLastError()));
    }
    return TRUE;
  }
  if (IsOption(option, 'u')) {
    if (!IsServiceInstalled()) {
      std::printf("%s is not installed\n", serviceName_);
    } else if (RemoveService()) {
      char filePath[260];
      GetModuleFileNameA(nullptr, filePath, sizeof filePath);
      std::printf("%s removed. (You must delete the file (%s) yourself.)\n", serviceName_,
                  filePath);
    } else {
      std::printf("Could not remove %s. Error %d\n", serviceName_,
                  static_cast<int>(platform::services::GetLastError()));
    }
    return TRUE;
  }
  return FALSE;
}

}  // namespace tamsel::service
