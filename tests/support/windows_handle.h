// A Windows handle closed when the object goes away. Functions report failure with either
// NULL or INVALID_HANDLE_VALUE; both count as no handle.
#pragma once

#include <utility>
#include <windows.h>

namespace kestrane::testing {

class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_{handle} {}
    ~Handle() {
        if (isOpen()) {
            ::CloseHandle(handle_);
        }
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : handle_{std::exchange(other.handle_, nullptr)} {}
    Handle& operator=(Handle&& other) noexcept {
        std::swap(handle_, other.handle_);
        return *this;
    }

    bool isOpen() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

} // namespace kestrane::testing
