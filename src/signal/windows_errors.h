// How the Windows backend names a system error code; internal to the signal library, declared
// apart so that tests can check the table without opening files.
#pragma once

#include "append_result.h"

namespace kestrane::signal::backend {

// ERROR_DISK_QUOTA_EXCEEDED, which MinGW-w64's winerror.h lacks.
inline constexpr unsigned long errorDiskQuotaExceeded = 1295;

// The shared failure for a Windows system error code (a GetLastError value).
AppendResult failureFromSystemError(unsigned long error);

} // namespace kestrane::signal::backend
