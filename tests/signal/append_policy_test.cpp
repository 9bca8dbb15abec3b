// The append policy on a scripted file: what it asks of a backend, in which order, and what
// it reports, the same on every platform.
#include "signal/append_policy.h"
#include "support/append_result_printer.h"
#include "support/instant_retry_clock.h"

#include <deque>
#include <gtest/gtest.h>
#include <string>

namespace kestrane::signal::policy {
namespace {

using namespace std::chrono_literals;

// A file whose lock, writes and truncation answer as the test scripts them; its bytes follow
// what the policy writes and cuts.
class ScriptedFile final : public OpenFile {
public:
    std::string bytes = "earlier\r\n";
    int busyTries = 0;                  // the lock is refused this many times before it is had
    bool canLock = true;                // false: the file system cannot lock
    std::deque<std::size_t> writeSizes; // each write takes at most this many bytes; 0 fails
    bool canTruncate = true;
    std::string appendedByOther; // added by another writer while the write fails
    bool locked = false;

    LockOutcome tryLock(SystemError&) override {
        if (!canLock) {
            return LockOutcome::Unsupported;
        }
        if (busyTries > 0) {
            --busyTries;
            return LockOutcome::Busy;
        }
        locked = true;
        return LockOutcome::Held;
    }
    void unlock() override { locked = false; }
    std::optional<Extent> extent() override { return Extent{true, bytes.size(), bytes.size()}; }
    SystemError reserve(const Extent&, std::size_t) override { return 0; }
    SystemError write(std::string_view line, std::size_t& written) override {
        const std::size_t room = writeSizes.empty() ? line.size() : writeSizes.front();
        if (!writeSizes.empty()) {
            writeSizes.pop_front();
        }
        if (room == 0) {
            bytes += appendedByOther;
            return diskFull;
        }
        written = std::min(room, line.size());
        bytes.append(line.substr(0, written));
        return 0;
    }
    bool truncate(std::uint64_t end) override {
        if (canTruncate) {
            bytes.resize(static_cast<std::size_t>(end));
        }
        return canTruncate;
    }
    SystemError close() override { return 0; }
    AppendResult failure(SystemError error) override {
        return error == diskFull ? AppendResult::failed(failure::DiskFull)
                                 : AppendResult::failed(failure::DeviceIOError);
    }

    static constexpr SystemError diskFull = 28;
};

TEST(AppendPolicy, LockTakenByAnotherIsTriedForAboutASecond) {
    struct Row {
        const char* name;
        int busyTries;
        AppendResult expected;
        std::chrono::milliseconds paused;
    };
    const Row rows[] = {
        {"free at once", 0, AppendResult::success(), 0ms},
        {"free after three tries", 3, AppendResult::success(), 7ms},
        // 1 + 2 + 4 + 8 ms, then 16 ms pauses until a second has passed since the first refusal.
        {"held throughout", 1000, AppendResult::failed(failure::PermissionDenied), 1007ms},
    };
    for (const Row& row : rows) {
        ScriptedFile file;
        file.busyTries = row.busyTries;
        testing::InstantRetryClock clock;
        EXPECT_EQ(appendToOpenFile(file, "line\r\n", clock), row.expected) << row.name;
        EXPECT_EQ(clock.paused(), row.paused) << row.name;
        EXPECT_EQ(file.bytes, row.expected.succeeded() ? "earlier\r\nline\r\n" : "earlier\r\n")
            << row.name;
        EXPECT_FALSE(file.locked) << row.name;
    }
}

TEST(AppendPolicy, WriteThatStopsPartWayIsCutBackOnlyWhereThatIsSafe) {
    const AppendResult diskFull = AppendResult::failed(failure::DiskFull);
    struct Row {
        const char* name;
        std::deque<std::size_t> writeSizes;
        bool canLock;
        bool canTruncate;
        std::string appendedByOther;
        AppendResult expected;
        std::string bytesAfter;
    };
    const Row rows[] = {
        {"short writes continue",
         {2, 3},
         true,
         true,
         "",
         AppendResult::success(),
         "earlier\r\nline\r\n"},
        {"fails at once", {0}, true, true, "", diskFull, "earlier\r\n"},
        {"fails after part of the line", {2, 0}, true, true, "", diskFull, "earlier\r\n"},
        {"another writer appended meanwhile",
         {2, 0},
         true,
         true,
         "x",
         diskFull.leavingPart(2),
         "earlier\r\nlix"},
        {"file cannot be cut back",
         {2, 0},
         true,
         false,
         "",
         diskFull.leavingPart(2),
         "earlier\r\nli"},
        {"file system cannot lock",
         {2, 0},
         false,
         true,
         "",
         diskFull.leavingPart(2),
         "earlier\r\nli"},
    };
    for (const Row& row : rows) {
        ScriptedFile file;
        file.writeSizes = row.writeSizes;
        file.canLock = row.canLock;
        file.canTruncate = row.canTruncate;
        file.appendedByOther = row.appendedByOther;
        testing::InstantRetryClock clock;
        EXPECT_EQ(appendToOpenFile(file, "line\r\n", clock), row.expected) << row.name;
        EXPECT_EQ(file.bytes, row.bytesAfter) << row.name;
    }
}

} // namespace
} // namespace kestrane::signal::policy
