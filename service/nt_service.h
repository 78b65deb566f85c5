// CNTService: the framework of a Windows-style service of its own process: program entry
// actions, install and remove, the dispatcher, control handler, status reports, events of
// its own and a debug trace. The collection service derives from it.
#pragma once

#include <cstdint>

#include "platform/eventlog/event_log.h"
#include "platform/services/services.h"

namespace tamsel::service {

using BOOL = int;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using platform::services::FALSE;
using platform::services::TRUE;

// Event types of ReportServiceEvent.
using platform::eventlog::EVENTLOG_AUDIT_FAILURE;
using platform::eventlog::EVENTLOG_AUDIT_SUCCESS;
using platform::eventlog::EVENTLOG_ERROR_TYPE;
using platform::eventlog::EVENTLOG_INFORMATION_TYPE;
using platform::eventlog::EVENTLOG_SUCCESS;
using platform::eventlog::EVENTLOG_WARNING_TYPE;

// The service's own events, as its message table (service/service_events.mc) holds them.
inline constexpr DWORD EVMSG_INSTALLED = 100;
inline constexpr DWORD EVMSG_REMOVED = 101;
inline constexpr DWORD EVMSG_NOTREMOVED = 102;
inline constexpr DWORD EVMSG_CTRLHANDLERNOTINSTALLED = 103;
inline constexpr DWORD EVMSG_FAILEDINIT = 104;
inline constexpr DWORD EVMSG_STARTED = 105;
inline constexpr DWORD EVMSG_BADREQUEST = 106;
inline constexpr DWORD EVMSG_DEBUG = 107;
inline constexpr DWORD EVMSG_STOPPED = 108;
inline constexpr DWORD EVMSG_WARNING = 109;

class CNTService {
 public:
  explicit CNTService(const char* serviceName);

  // Virtual operations, in this order. The setting writers of the base store nothing.
  virtual int SetRefreshRate(int milliseconds);
  virtual int SetNTAuthentication(int useNtAuthentication);
  virtual int SetParameterString(const char* valueName, const char* value);
  virtual ~CNTService();
  virtual void Run();
  virtual BOOL OnInit();
  virtual void OnStop();
  virtual void OnInterrogate();
  virtual void OnPause();
  virtual void OnContinue();
  virtual void OnShutdown();
  virtual BOOL OnUserControl(DWORD control);

  CNTService(const CNTService&) = delete;
  CNTService& operator=(const CNTService&) = delete;

  // TRUE when the first argument named an action that was carried out.
  BOOL ProcessCommandLine(int argc, char** argv);

  BOOL IsServiceInstalled();
  BOOL InstallService();
  BOOL RemoveService();

  void ReportServiceEvent(WORD type, DWORD id, const char* s1 = nullptr, const char* s2 = nullptr,
                          const char* s3 = nullptr);

  BOOL RunDispatcher();
  static void ServiceMain(DWORD argc, char** argv);
  BOOL Initialize();
  void SetStatus(DWORD state);
  static void Handler(DWORD control);

  // One debug line "[name](thread): text", bounded to 1024 characters.
  void TraceMessage(const char* format, ...) __attribute__((format(printf, 2, 3)));

  // The one service object of the process; the callbacks reach it through this.
  static CNTService* instance_;

  // The framework's state. The service thread and the handler share running_ and status_
  // without a lock: the flag is reread every tick and a status a moment late is harmless.
  char serviceName_[64];
  int majorVersion_;
  int minorVersion_;
  char bannerSuffix_[256];
  platform::services::SERVICE_STATUS_HANDLE statusHandle_;
  platform::services::SERVICE_STATUS status_;
  volatile BOOL running_;
  platform::eventlog::HANDLE eventSource_;

 private:
  void PrintBanner();
  void PrintHelp();
};

// GetModuleFileNameA for the program's own file (the module handle must be null): the
// executable's path, truncated to fit `size` with its NUL. Returns the length copied.
DWORD GetModuleFileNameA(void* module, char* path, DWORD size);

}  // namespace tamsel::service
