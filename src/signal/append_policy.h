// One append to an open file, on every platform: take the append lock, tried again for about a
// second; learn where the file ends; reserve room; write the whole buffer; cut back a write
// that stopped part-way; unlock. A backend supplies only the primitives and its error mapping.
// docs/behaviour.md ("What a program reading the file can rely on") tells why each step is there.
#pragma once

#include "append_result.h"
#include "retry_clock.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrane::signal::policy {

// The byte every copy of the program, on Linux and on Windows, locks while it appends: far past
// any real end of a file, so the lock keeps no reader and no other writer out of its bytes.
inline constexpr std::uint64_t appendLockByte = std::uint64_t{1} << 62;

// An errno value or a Windows error code; 0 for none.
using SystemError = unsigned long;

// Calls `tryOnce` until it no longer asks to be tried again (returns false), pausing 1, 2, 4, 8
// and then 16 ms between tries; false when it still asks a second after its first refusal.
template <typename TryOnce>
bool retriedInTime(RetryClock& clock, TryOnce tryOnce) {
    using namespace std::chrono_literals;
    std::optional<std::chrono::steady_clock::time_point> deadline; // from the first refusal
    auto pause = 1ms;
    while (tryOnce()) {
        const auto now = clock.now();
        if (!deadline) {
            deadline = now + 1s;
        } else if (now >= *deadline) {
            return false;
        }
        clock.pause(pause);
        pause = pause * 2 < 16ms ? pause * 2 : 16ms;
    }
    return true;
}

enum class LockOutcome {
    Held,        // the byte is this send's
    Busy,        // another holds it: worth another try
    Unsupported, // the file system cannot lock: the append goes on without the lock
    Failed,      // the send fails with the error given
};

struct Extent {
    bool regular = false; // a file with an end to keep, rather than a device
    std::uint64_t end = 0;
    std::uint64_t allocated = 0; // bytes the file system has already given the file
};

// The primitives of one file open for appending. The file closes when the object goes, if
// close() has not closed it before.
class OpenFile {
public:
    virtual ~OpenFile() = default;
    virtual LockOutcome tryLock(SystemError& error) = 0;
    virtual void unlock() = 0;
    virtual std::optional<Extent> extent() = 0;
    // 0 when the file surely takes `size` more bytes at its end, else the error refusing them.
    virtual SystemError reserve(const Extent& file, std::size_t size) = 0;
    // Writes some of `bytes` at the end: 0 with `written` > 0, or the error.
    virtual SystemError write(std::string_view bytes, std::size_t& written) = 0;
    virtual bool truncate(std::uint64_t end) = 0;
    // Closes the file: 0, or the error of a close that reports the bytes not stored (as NFS
    // reports a failed write-back).
    virtual SystemError close() = 0;
    virtual AppendResult failure(SystemError error) = 0;
};

// Appends `bytes` to `file`: the whole buffer, or nothing, or a failure that says what stayed.
AppendResult appendToOpenFile(OpenFile& file, std::string_view bytes, RetryClock& clock);

} // namespace kestrane::signal::policy
