// The calling thread's last Win32 error, as GetLastError/SetLastError keep it: the Win32-shaped
// functions of every platform family that return BOOL or a handle leave their reason here.
#pragma once

#include "platform/network/win32_error.h"

namespace tamsel::platform {

Win32Error GetLastError();
void SetLastError(Win32Error error);

}  // namespace tamsel::platform
