// CCollectorService: the collection service. It reads its settings from the registry at
// start, keeps the state counter, runs the work loop that starts a collection pass once per
// refresh period, and stores the settings the command line gives it.
#pragma once

#include <string>

#include "platform/registry/registry.h"
#include "service/nt_service.h"

namespace tamsel::collector {

using service::BOOL;
using service::DWORD;
using service::FALSE;
using service::TRUE;

// The text of event 109 when a pass cannot reach the database.
inline constexpr const char* kCannotWriteText =
    "The service cannot write event log entries to the database.\n"
    "Check whether the network connection and the SQL Server are OK.";

// Default period between passes: 15 minutes.
inline constexpr int kDefaultRefreshRate = 900000;
// One tick of the work loop.
inline constexpr DWORD kTickMilliseconds = 5000;

class CCollectorService : public service::CNTService {
 public:
  explicit CCollectorService(const char* serviceName);

  // Writers of the Parameters key (the command line calls them in the console process).
  int SetRefreshRate(int milliseconds) override;              // returns 1
  int SetNTAuthentication(int useNtAuthentication) override;  // 0, or the registry error
  int SetParameterString(const char* valueName, const char* value) override;  // 1, or the error
  ~CCollectorService() override;

  // The work loop: a pass at once, then one every refresh period, counted in 5-second ticks;
  // the state counter grows every tick; a stop takes effect after the tick that follows it.
  void Run() override;
  // Reads every setting, writes back a missing refresh rate and the starting state. TRUE.
  BOOL OnInit() override;
  // Code 128 saves the state counter; any other code is not ours (FALSE).
  BOOL OnUserControl(DWORD control) override;

  // One collection pass over every active server: 0 when it ran over a non-empty server list,
  // 1 when the list was empty, negative when the list could not be read (the loop then
  // reports event 109 with kCannotWriteText). The pass itself lives in collect_all.cpp; until
  // it is built there this finds no server and returns 1. It runs on the service thread with
  // the settings below fixed; it may read them directly.
  virtual int CollectAll();

  void SaveRefreshRate();
  void SaveCurrentState();

  // Read one value of an open key; both always succeed. A missing DWORD leaves `value` as it
  // was; a missing string, and one of 256 bytes or more, reads as empty.
  BOOL ReadStringSetting(platform::registry::HKEY key, const char* valueName, std::string& value);
  BOOL ReadDwordSetting(platform::registry::HKEY key, const char* valueName, int& value);

  // Settings and state, fixed from the end of OnInit until the service stops.
  int stateStart_ = 0;
  int stateIncrement_ = 1;
  volatile int stateCounter_ = 0;  // also read by the handler (code 128); a tick late is fine
  // The pass's database connection is kept here, after the state counter.
  int logFileFlag_ = 0;
  std::string logFilePath_;
  int refreshRate_ = -1;
  std::string databaseServerName_;
  std::string catalog_ = "TamselDB";
  int ntAuthentication_ = 0;
  std::string userName_;
  std::string password_;
  std::string backupPath_;

 private:
  // Creates (or opens) HKLM\SYSTEM\CurrentControlSet\Services\<name>\<subKey> for writing,
  // tracing the path; ERROR_SUCCESS or the registry error.
  long CreateServiceSubKey(const char* subKey, platform::registry::HKEY* key);
};

}  // namespace tamsel::collector
