// The service control manager in the shape of the Win32 API: service records in each machine's
// registry, starting a service as a background process, control codes and status reports.
#pragma once

#include <cstdint>

#include "platform/network/last_error.h"
#include "platform/network/win32_error.h"

namespace tamsel::platform::services {

using DWORD = std::uint32_t;
using BOOL = int;

struct ScHandleData;              // an open manager or service
using SC_HANDLE = ScHandleData*;  // closed with CloseServiceHandle
// Handle of a registered control handler, as RegisterServiceCtrlHandlerA returns it (0 = none).
using SERVICE_STATUS_HANDLE = unsigned long;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

// Access rights (accepted as Windows defines them; the ones an operation needs are checked).
inline constexpr DWORD DELETE = 0x00010000;
inline constexpr DWORD SC_MANAGER_CONNECT = 0x0001;
inline constexpr DWORD SC_MANAGER_CREATE_SERVICE = 0x0002;
inline constexpr DWORD SC_MANAGER_ENUMERATE_SERVICE = 0x0004;
inline constexpr DWORD SC_MANAGER_ALL_ACCESS = 0xF003F;
inline constexpr DWORD SERVICE_QUERY_CONFIG = 0x0001;
inline constexpr DWORD SERVICE_CHANGE_CONFIG = 0x0002;
inline constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
inline constexpr DWORD SERVICE_START = 0x0010;
inline constexpr DWORD SERVICE_STOP = 0x0020;
inline constexpr DWORD SERVICE_PAUSE_CONTINUE = 0x0040;
inline constexpr DWORD SERVICE_INTERROGATE = 0x0080;
inline constexpr DWORD SERVICE_USER_DEFINED_CONTROL = 0x0100;
inline constexpr DWORD SERVICE_ALL_ACCESS = 0xF01FF;

// Service types, start types, error control.
inline constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;
inline constexpr DWORD SERVICE_WIN32_SHARE_PROCESS = 0x20;
inline constexpr DWORD SERVICE_ERROR_IGNORE = 0;
inline constexpr DWORD SERVICE_ERROR_NORMAL = 1;
using platform::SERVICE_AUTO_START;
using platform::SERVICE_BOOT_START;
using platform::SERVICE_DEMAND_START;
using platform::SERVICE_DISABLED;
using platform::SERVICE_SYSTEM_START;

// States and controls.
using platform::SERVICE_CONTINUE_PENDING;
using platform::SERVICE_CONTROL_CONTINUE;
using platform::SERVICE_CONTROL_INTERROGATE;
using platform::SERVICE_CONTROL_PARAMCHANGE;
using platform::SERVICE_CONTROL_PAUSE;
using platform::SERVICE_CONTROL_SHUTDOWN;
using platform::SERVICE_CONTROL_STOP;
using platform::SERVICE_PAUSE_PENDING;
using platform::SERVICE_PAUSED;
using platform::SERVICE_RUNNING;
using platform::SERVICE_START_PENDING;
using platform::SERVICE_STOP_PENDING;
using platform::SERVICE_STOPPED;
inline constexpr DWORD SERVICE_ACCEPT_STOP = 0x01;
inline constexpr DWORD SERVICE_ACCEPT_PAUSE_CONTINUE = 0x02;
inline constexpr DWORD SERVICE_ACCEPT_SHUTDOWN = 0x04;
inline constexpr DWORD SERVICE_ACCEPT_PARAMCHANGE = 0x08;
inline constexpr DWORD SERVICE_ACCEPT_NETBINDCHANGE = 0x10;

struct SERVICE_STATUS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
};

// QueryServiceConfigA fills one block: this header followed by the strings it points to.
struct QUERY_SERVICE_CONFIGA {
  DWORD dwServiceType;
  DWORD dwStartType;
  DWORD dwErrorControl;
  char* lpBinaryPathName;
  char* lpLoadOrderGroup;
  DWORD dwTagId;
  char* lpDependencies;
  char* lpServiceStartName;
  char* lpDisplayName;
};

using LPSERVICE_MAIN_FUNCTIONA = void (*)(DWORD argc, char** argv);
using LPHANDLER_FUNCTION = void (*)(DWORD control);

struct SERVICE_TABLE_ENTRYA {
  const char* lpServiceName;
  LPSERVICE_MAIN_FUNCTIONA lpServiceProc;
};

// The functions below leave their reason in the thread's last error.
using platform::GetLastError;
using platform::SetLastError;

// --- the controller's side ---

// machineName NULL or "" is the local machine of the current network; another reachable
// machine of the network works too (RPC_S_SERVER_UNAVAILABLE when it is not reachable).
// databaseName must be NULL or "ServicesActive" (ERROR_INVALID_NAME otherwise).
SC_HANDLE OpenSCManagerA(const char* machineName, const char* databaseName, DWORD access);

// Writes the record under SYSTEM\CurrentControlSet\Services\<name>. Load-order group, tag,
// dependencies and password are accepted and not kept; no account means LocalSystem.
// ERROR_SERVICE_EXISTS, ERROR_SERVICE_MARKED_FOR_DELETE, ERROR_INVALID_NAME,
// ERROR_INVALID_PARAMETER, ERROR_ACCESS_DENIED.
SC_HANDLE CreateServiceA(SC_HANDLE manager, const char* serviceName, const char* displayName,
                         DWORD access, DWORD serviceType, DWORD startType, DWORD errorControl,
                         const char* binaryPathName, const char* loadOrderGroup, DWORD* tagId,
                         const char* dependencies, const char* serviceStartName,
                         const char* password);

// ERROR_SERVICE_DOES_NOT_EXIST when there is no record.
SC_HANDLE OpenServiceA(SC_HANDLE manager, const char* serviceName, DWORD access);

// Removes the record; a service that still runs is marked for delete and its record goes when
// it has stopped. ERROR_SERVICE_MARKED_FOR_DELETE when already marked.
BOOL DeleteService(SC_HANDLE service);

// Packs the configuration into `config` (bufferSize bytes); ERROR_INSUFFICIENT_BUFFER with
// the size needed in *bytesNeeded when it does not fit.
BOOL QueryServiceConfigA(SC_HANDLE service, QUERY_SERVICE_CONFIGA* config, DWORD bufferSize,
                         DWORD* bytesNeeded);

BOOL CloseServiceHandle(SC_HANDLE handle);

// Starts the service's program as a background process of its own in the network and on the
// machine of the manager, and returns once its dispatcher has connected (the service may
// still be START_PENDING). ERROR_SERVICE_ALREADY_RUNNING, ERROR_SERVICE_DISABLED,
// ERROR_SERVICE_MARKED_FOR_DELETE, ERROR_FILE_NOT_FOUND (program missing),
// ERROR_SERVICE_REQUEST_TIMEOUT (no dispatcher connected in time, or the program ended first).
BOOL StartServiceA(SC_HANDLE service, DWORD argc, const char** argv);

// Delivers a control code to the service's handler and returns the status after it.
// ERROR_SERVICE_NOT_ACTIVE, ERROR_INVALID_SERVICE_CONTROL (not accepted),
// ERROR_SERVICE_CANNOT_ACCEPT_CTRL (start or stop pending), ERROR_INVALID_PARAMETER (a code no
// controller may send), ERROR_SERVICE_REQUEST_TIMEOUT (the handler did not answer).
BOOL ControlService(SC_HANDLE service, DWORD control, SERVICE_STATUS* status);

// The last status the service reported. A service process that ended without reporting
// SERVICE_STOPPED shows as stopped with ERROR_PROCESS_ABORTED.
BOOL QueryServiceStatus(SC_HANDLE service, SERVICE_STATUS* status);

// Process id of a running service, 0 when it is not running (for tools; not a Win32 call).
DWORD QueryServiceProcessId(SC_HANDLE service);

// --- the service's side ---

// Connects to the controller that started this process and runs the first entry's service
// main function on a thread of its own; control codes are delivered to the registered handler
// on the calling thread, and SIGTERM acts as SERVICE_CONTROL_STOP. Returns TRUE when the
// service main function has returned. A process not started by a controller fails at once
// with ERROR_FAILED_SERVICE_CONTROLLER_CONNECT (1063).
BOOL StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* table);

// Only inside a dispatched service; ERROR_SERVICE_DOES_NOT_EXIST for another name.
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(const char* serviceName,
                                                  LPHANDLER_FUNCTION handler);

// Publishes the status to the controller; ERROR_INVALID_HANDLE for a handle not registered,
// ERROR_INVALID_DATA for a state that is not a service state.
BOOL SetServiceStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS* status);

// Name of the environment variable that marks a process started by a controller.
inline constexpr const char* kServiceNameVariable = "TAMSEL_SERVICE_NAME";

}  // namespace tamsel::platform::services
