// The one owner of a system handle (a file descriptor, a Windows handle, a GDI object), for the
// core and both windows alike: it closes the handle when it goes away, and moves but never
// copies.
#pragma once

#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace kestrane {

// `Traits` names the handle's type (Type), the value that stands for no handle (invalid()) and
// how to give one back to the system (close(handle)).
template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type handle) : handle_{handle} {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : handle_{other.release()} {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = other.release();
        }
        return *this;
    }

    bool isOpen() const { return handle_ != Traits::invalid(); }
    Type get() const { return handle_; }
    // Gives up ownership: the caller closes what it returns.
    Type release() { return std::exchange(handle_, Traits::invalid()); }
    void reset() {
        if (isOpen()) {
            Traits::close(release());
        }
    }

private:
    Type handle_ = Traits::invalid();
};

#ifdef _WIN32
// A file handle, as CreateFileW gives it: INVALID_HANDLE_VALUE is none.
struct FileHandleTraits {
    using Type = HANDLE;
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE handle) { ::CloseHandle(handle); }
};
using FileHandle = UniqueHandle<FileHandleTraits>;

// Any other kernel object's handle (a process, an event, a thread): NULL is none.
struct KernelHandleTraits {
    using Type = HANDLE;
    static HANDLE invalid() { return nullptr; }
    static void close(HANDLE handle) { ::CloseHandle(handle); }
};
using KernelHandle = UniqueHandle<KernelHandleTraits>;
#else
struct FileDescriptorTraits {
    using Type = int;
    static constexpr int invalid() { return -1; }
    static void close(int descriptor) { ::close(descriptor); }
};
using FileDescriptor = UniqueHandle<FileDescriptorTraits>;
#endif

} // namespace kestrane
