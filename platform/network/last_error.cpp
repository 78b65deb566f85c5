// Thread-local storage of the last Win32 error.
#include "platform/network/last_error.h"

namespace tamsel::platform {

namespace {
thread_local Win32Error lastError = ERROR_SUCCESS;
}

Win32Error GetLastError() { return lastError; }

void SetLastError(Win32Error error) { lastError = error; }

}  // namespace tamsel::platform
