// CNTService: construction, the base virtual operations, the dispatcher, the service main
// function, initialisation, status reports, the control handler and the debug trace.
#include "service/nt_service.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/network/debug_output.h"
#include "service/service_clock.h"

namespace tamsel::service {

namespace svc = platform::services;

CNTService* CNTService::instance_ = nullptr;

namespace {

unsigned long CurrentThreadId() { return static_cast<unsigned long>(syscall(SYS_gettid)); }

}  // namespace

CNTService::CNTService(const char* serviceName) {
  instance_ = this;
  std::snprintf(serviceName_, sizeof serviceName_, "%s", serviceName ? serviceName : "");
  majorVersion_ = 1;
  minorVersion_ = 12;
  std::snprintf(bannerSuffix_, sizeof bannerSuffix_, " - Release, Linux build of December 2026");
  statusHandle_ = 0;
  status_.dwServiceType = svc::SERVICE_WIN32_OWN_PROCESS;
  status_.dwCurrentState = svc::SERVICE_STOPPED;
  status_.dwControlsAccepted = svc::SERVICE_ACCEPT_STOP;
  status_.dwWin32ExitCode = 0;
  status_.dwServiceSpecificExitCode = 0;
  status_.dwCheckPoint = 0;
  status_.dwWaitHint = 0;
  running_ = FALSE;
  eventSource_ = nullptr;
}

CNTService::~CNTService() {
  TraceMessage("CNTService::~CNTService()");
  if (eventSource_ != nullptr) platform::eventlog::DeregisterEventSource(eventSource_);
  if (instance_ == this) instance_ = nullptr;
}

int CNTService::SetRefreshRate(int) { return 0; }
int CNTService::SetNTAuthentication(int) { return 0; }
int CNTService::SetParameterString(const char*, const char*) { return 0; }

void CNTService::Run() {
  TraceMessage("Entering CNTService::Run()");
  while (running_) {
    TraceMessage("Sleeping...");
    Sleep(5000);
  }
  TraceMessage("Leaving CNTService::Run()");
}

BOOL CNTService::OnInit() {
  TraceMessage("CNTService::OnInit()");
  return TRUE;
}

void CNTService::OnStop() { TraceMessage("CNTService::OnStop()"); }
void CNTService::OnInterrogate() { TraceMessage("CNTService::OnInterrogate()"); }
void CNTService::OnPause() { TraceMessage("CNTService::OnPause()"); }
void CNTService::OnContinue() { TraceMessage("CNTService::OnContinue()"); }
void CNTService::OnShutdown() { TraceMessage("CNTService::OnShutdown()"); }

BOOL CNTService::OnUserControl(DWORD control) {
  TraceMessage("CNTService::OnUserControl(%8.8lXH)", static_cast<unsigned long>(control));
  return FALSE;
}

BOOL CNTService::RunDispatcher() {
  svc::SERVICE_TABLE_ENTRYA table[] = {{serviceName_, ServiceMain}, {nullptr, nullptr}};
  TraceMessage("Calling StartServiceCtrlDispatcher()");
  BOOL result = svc::StartServiceCtrlDispatcherA(table);
  TraceMessage("Returned from StartServiceCtrlDispatcher()");
  return result;
}

void CNTService::ServiceMain(DWORD, char**) {
  CNTService* service = instance_;
  service->TraceMessage("Entering CNTService::ServiceMain()");
  service->status_.dwCurrentState = svc::SERVICE_START_PENDING;
  service->statusHandle_ = svc::RegisterServiceCtrlHandlerA(service->serviceName_, Handler);
  if (service->statusHandle_ == 0) {
    service->ReportServiceEvent(EVENTLOG_ERROR_TYPE, EVMSG_CTRLHANDLERNOTINSTALLED);
    return;
  }
  // Raised before Initialize reports SERVICE_RUNNING: from that report on the controller may
  // deliver a stop, and raising the flag afterwards would undo it and never stop. No control
  // reaches the handler while the service is still starting.
  service->running_ = TRUE;
  if (!service->Initialize()) {
    service->running_ = FALSE;
  } else {
    service->status_.dwWin32ExitCode = 0;
    service->status_.dwCheckPoint = 0;
    service->status_.dwWaitHint = 0;
    service->Run();
  }
  service->SetStatus(svc::SERVICE_STOPPED);
  service->TraceMessage("Leaving CNTService::ServiceMain()");
}

BOOL CNTService::Initialize() {
  TraceMessage("Entering CNTService::Initialize()");
  SetStatus(svc::SERVICE_START_PENDING);
  BOOL initialized = OnInit();
  status_.dwWin32ExitCode = svc::GetLastError();
  status_.dwCheckPoint = 0;
  status_.dwWaitHint = 0;
  if (!initialized) {
    ReportServiceEvent(EVENTLOG_ERROR_TYPE, EVMSG_FAILEDINIT);
    SetStatus(svc::SERVICE_STOPPED);
    return FALSE;
  }
  ReportServiceEvent(EVENTLOG_INFORMATION_TYPE, EVMSG_STARTED);
  SetStatus(svc::SERVICE_RUNNING);
  TraceMessage("Leaving CNTService::Initialize()");
  return TRUE;
}

void CNTService::SetStatus(DWORD state) {
  TraceMessage("CNTService::SetStatus(%lu, %lu)", statusHandle_, static_cast<unsigned long>(state));
  status_.dwCurrentState = state;
  svc::SetServiceStatus(statusHandle_, &status_);
}

void CNTService::Handler(DWORD control) {
  CNTService* service = instance_;
  service->TraceMessage("CNTService::Handler(%lu)", static_cast<unsigned long>(control));
  switch (control) {
    case svc::SERVICE_CONTROL_STOP:
      service->SetStatus(svc::SERVICE_STOP_PENDING);
      service->OnStop();
      service->running_ = FALSE;
      service->ReportServiceEvent(EVENTLOG_INFORMATION_TYPE, EVMSG_STOPPED);
      break;
    case svc::SERVICE_CONTROL_PAUSE:
      service->OnPause();
      break;
    case svc::SERVICE_CONTROL_CONTINUE:
      service->OnContinue();
      break;
    case svc::SERVICE_CONTROL_INTERROGATE:
      service->OnInterrogate();
      break;
    case svc::SERVICE_CONTROL_SHUTDOWN:
      service->OnShutdown();
      break;
    default:
      if (control < 128 || !service->OnUserControl(control)) {
        service->ReportServiceEvent(EVENTLOG_ERROR_TYPE, EVMSG_BADREQUEST);
      }
      break;
  }
  service->TraceMessage("Updating status (%lu, %lu)", service->statusHandle_,
                        static_cast<unsigned long>(service->status_.dwCurrentState));
  svc::SetServiceStatus(service->statusHandle_, &service->status_);
}

void CNTService::TraceMessage(const char* format, ...) {
  char line[1024];
  int prefix = std::snprintf(line, sizeof line, "[%s](%lu): ", serviceName_, CurrentThreadId());
  if (prefix < 0) return;
  // Room is kept for the line break: a longer text is cut, never written past the buffer.
  size_t used = std::min(static_cast<size_t>(prefix), sizeof line - 2);
  va_list arguments;
  va_start(arguments, format);
  int written = std::vsnprintf(line + used, sizeof line - 1 - used, format, arguments);
  va_end(arguments);
  if (written > 0) used = std::min(used + static_cast<size_t>(written), sizeof line - 2);
  line[used] = '\n';
  line[used + 1] = '\0';
  platform::network::OutputDebugString(std::string_view(line, used + 1));
}

DWORD GetModuleFileNameA(void* module, char* path, DWORD size) {
  if (module != nullptr || path == nullptr || size == 0) {
    svc::SetLastError(platform::ERROR_INVALID_PARAMETER);
    return 0;
  }
  char target[4096];
  ssize_t length = readlink("/proc/self/exe", target, sizeof target - 1);
  if (length < 0) {
    svc::SetLastError(platform::ERROR_FILE_NOT_FOUND);
    return 0;
  }
  size_t copied = std::min(static_cast<size_t>(length), static_cast<size_t>(size) - 1);
  std::memcpy(path, target, copied);
  path[copied] = '\0';
  // As Windows: a path cut short reports ERROR_INSUFFICIENT_BUFFER and the full size.
  if (copied < static_cast<size_t>(length)) {
    svc::SetLastError(platform::ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  return static_cast<DWORD>(copied);
}

}  // namespace tamsel::service
