// A Windows handle closed when the object goes away; NULL is no handle, also for a file.
#pragma once

#include "system/unique_handle.h"

#include <windows.h>

namespace kestrane::testing {

using Handle = KernelHandle;

// The handle a function gives that reports failure with INVALID_HANDLE_VALUE (CreateFileW).
inline Handle ownFileHandle(HANDLE handle) {
    return Handle{handle == INVALID_HANDLE_VALUE ? nullptr : handle};
}

} // namespace kestrane::testing
