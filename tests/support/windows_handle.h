// A Windows handle closed when the object goes away; NULL is no handle.
#pragma once

#include "system/unique_handle.h"

#include <windows.h>

namespace kestrane::testing {

struct HandleTraits {
    using Type = HANDLE;
    static HANDLE invalid() { return nullptr; }
    static void close(HANDLE handle) { ::CloseHandle(handle); }
};
using Handle = UniqueHandle<HandleTraits>;

// The handle a function gives that reports failure with INVALID_HANDLE_VALUE (CreateFileW).
inline Handle ownFileHandle(HANDLE handle) {
    return Handle{handle == INVALID_HANDLE_VALUE ? nullptr : handle};
}

} // namespace kestrane::testing
