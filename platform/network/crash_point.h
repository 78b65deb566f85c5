// Named points at which a test can have the process killed outright, to prove that a kill at
// any of them loses and doubles nothing and leaves nothing behind. TAMSEL_CRASH_POINT names
// one point, "name" or "name#n" (the n-th time it is passed); unset, every point is a no-op.
#pragma once

#include <string_view>

namespace tamsel::platform::network {

void CrashPoint(std::string_view name);

}  // namespace tamsel::platform::network
