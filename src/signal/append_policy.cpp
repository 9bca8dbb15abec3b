#include "append_policy.h"

#include <thread>

namespace kestrane::signal {

RetryClock& steadyRetryClock() {
    class Steady final : public RetryClock {
    public:
        std::chrono::steady_clock::time_point now() override {
            return std::chrono::steady_clock::now();
        }
        void pause(std::chrono::milliseconds duration) override {
            std::this_thread::sleep_for(duration);
        }
    };
    static Steady clock;
    return clock;
}

namespace policy {
namespace {

// Holds the append lock from its construction, unless it cannot be had.
class AppendLock {
public:
    AppendLock(OpenFile& file, RetryClock& clock) : file_{file} {
        const bool inTime = retriedInTime(clock, [this] {
            outcome_ = file_.tryLock(error_);
            return outcome_ == LockOutcome::Busy;
        });
        held_ = inTime && outcome_ == LockOutcome::Held;
    }
    ~AppendLock() {
        // Closing the file would release it too; unlocking first sends an NFS client's writes
        // to the server before the next copy takes its turn.
        if (held_) {
            file_.unlock();
        }
    }
    AppendLock(const AppendLock&) = delete;
    AppendLock& operator=(const AppendLock&) = delete;

    bool held() const { return held_; }
    // The refusal of the send, when the lock refuses it.
    std::optional<AppendResult> refusal() const {
        if (outcome_ == LockOutcome::Busy) {
            return AppendResult::failed(failure::PermissionDenied);
        }
        if (outcome_ == LockOutcome::Failed) {
            return file_.failure(error_);
        }
        return std::nullopt;
    }

private:
    OpenFile& file_;
    LockOutcome outcome_ = LockOutcome::Unsupported;
    SystemError error_ = 0;
    bool held_ = false;
};

// Takes back what a write that failed part-way left at the end of the file; true when the file
// ends where it did before the send. Only a file that holds exactly what it held before plus
// what this send wrote is cut: anything another writer added, and everything before, stays.
bool cutBack(OpenFile& file, std::uint64_t end, std::size_t written) {
    const std::optional<Extent> now = file.extent();
    return now && now->end == end + written && file.truncate(end);
}

} // namespace

AppendResult appendToOpenFile(OpenFile& file, std::string_view bytes, RetryClock& clock) {
    const AppendLock lock{file, clock};
    if (std::optional<AppendResult> refused = lock.refusal()) {
        return std::move(*refused);
    }
    // Where the file ends once no other copy can append.
    std::optional<Extent> extent = file.extent();
    if (extent && !extent->regular) {
        extent.reset();
    }
    if (const SystemError error = extent ? file.reserve(*extent, bytes.size()) : 0; error != 0) {
        return file.failure(error);
    }
    std::size_t written = 0;
    SystemError error = 0;
    while (written < bytes.size() && error == 0) {
        std::size_t now = 0;
        error = file.write(bytes.substr(written), now);
        written += now;
    }
    if (error == 0) {
        return AppendResult::success();
    }
    if (written == 0 || (extent && lock.held() && cutBack(file, extent->end, written))) {
        return file.failure(error);
    }
    return file.failure(error).leavingPart(written);
}

} // namespace policy
} // namespace kestrane::signal
