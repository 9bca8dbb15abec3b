// What one append hands to the kernel, seen from inside the process: this program is linked
// with -Wl,--wrap=write and --wrap=close, so every write and close call of the signal library
// passes through __wrap_write and __wrap_close below, which record writes and can make either
// fail the way a kernel would.
#include "signal/signal_file.h"
#include "support/append_result_printer.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <deque>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" ssize_t __real_write(int fd, const void* data, size_t size);
extern "C" ssize_t __wrap_write(int fd, const void* data, size_t size);
extern "C" int __real_close(int fd);
extern "C" int __wrap_close(int fd);

namespace kestrane::signal {
namespace {

struct WriteCall {
    int fd = -1;
    std::string bytes; // what the caller handed over
    int statusFlags = 0;
};

// What the next write call does instead of reaching the kernel unchanged.
struct Injection {
    int error = 0;             // fail with this errno, writing nothing
    std::size_t shortTo = 0;   // or hand only this many bytes to the kernel
    bool writeNothing = false; // or return 0
    int signal = 0;            // raised on this thread with the failure, as the kernel does
};

// Records the write calls made while it exists; at most one at a time.
class WriteRecorder {
public:
    WriteRecorder() { active = this; }
    ~WriteRecorder() { active = nullptr; }
    WriteRecorder(const WriteRecorder&) = delete;
    WriteRecorder& operator=(const WriteRecorder&) = delete;

    std::vector<WriteCall> calls;
    std::deque<Injection> injections;
    int closeError = 0; // the errno with which closing the written file fails, after closing it

    static inline WriteRecorder* active = nullptr;

    ssize_t write(int fd, const void* data, size_t size) {
        calls.push_back(
            {fd, std::string{static_cast<const char*>(data), size}, ::fcntl(fd, F_GETFL)});
        if (injections.empty()) {
            return __real_write(fd, data, size);
        }
        const Injection next = injections.front();
        injections.pop_front();
        if (next.signal != 0) {
            ::pthread_kill(::pthread_self(), next.signal);
        }
        if (next.error != 0) {
            errno = next.error;
            return -1;
        }
        if (next.writeNothing) {
            return 0;
        }
        return __real_write(fd, data, std::min(size, next.shortTo));
    }

    int close(int fd) {
        const int result = __real_close(fd);
        if (closeError == 0 || calls.empty() || fd != calls.front().fd) {
            return result;
        }
        errno = closeError;
        return -1;
    }
};

bool isOpenDescriptor(int fd) {
    return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

TEST(SingleWrite, LineAndCrLfReachTheKernelInOneAppendingWrite) {
    struct Row {
        const char* name;
        std::string line;
        std::string bytes;
    };
    const Row rows[] = {
        {"signal", "cxlplace,BUY,1,MKT,0,0,2007011816520,entry",
         "cxlplace,BUY,1,MKT,0,0,2007011816520,entry\r\n"},
        {"empty line", "", "\r\n"},
        {"Western text", "caf\xc3\xa9,\xe2\x82\xac", "caf\xe9,\x80\r\n"},
        {"long line", std::string(100'000, 'x'), std::string(100'000, 'x') + "\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testing::TempDir dir;
        WriteRecorder recorder;
        ASSERT_TRUE(appendSignalLine(testing::utf8(dir / "Entries.txt"), row.line).succeeded());

        ASSERT_EQ(recorder.calls.size(), 1u);
        const WriteCall& call = recorder.calls.front();
        EXPECT_EQ(call.bytes, row.bytes);
        // Only O_APPEND makes the kernel put the whole buffer at the end in one step.
        EXPECT_EQ(call.statusFlags & (O_APPEND | O_ACCMODE), O_APPEND | O_WRONLY);
        EXPECT_FALSE(isOpenDescriptor(call.fd)) << "the file stays open after the append";
        EXPECT_EQ(testing::readBytes(dir / "Entries.txt"), row.bytes);
    }
}

TEST(SingleWrite, FailingWritesAreReportedAndInterruptionsRetried) {
    const std::string earlier = "earlier,line\r\n";
    const std::string line = "cxlplace,SELL,2,LMT,101.5,0,2007011816530,exit";
    struct Row {
        const char* name;
        std::vector<Injection> injections;
        int closeError;
        AppendResult expected;
        std::string fileAfter;
    };
    const AppendResult diskFull = AppendResult::failed(failure::DiskFull, "Disk full");
    const AppendResult ioError =
        AppendResult::failed(failure::DeviceIOError, "Device I/O error: Input/output error");
    const Row rows[] = {
        {"interrupted before writing",
         {{.error = EINTR}},
         0,
         AppendResult::success(),
         earlier + line + "\r\n"},
        {"short write", {{.shortTo = 9}}, 0, AppendResult::success(), earlier + line + "\r\n"},
        {"no space", {{.error = ENOSPC}}, 0, diskFull, earlier},
        {"no space after part of the line",
         {{.shortTo = 9}, {.error = ENOSPC}},
         0,
         diskFull,
         earlier},
        {"quota exceeded", {{.error = EDQUOT}}, 0, diskFull, earlier},
        {"file too large", {{.error = EFBIG, .signal = SIGXFSZ}}, 0, diskFull, earlier},
        {"device error", {{.error = EIO}}, 0, ioError, earlier},
        {"reader of a FIFO gone",
         {{.error = EPIPE, .signal = SIGPIPE}},
         0,
         AppendResult::failed(failure::DeviceIOError, "Device I/O error: Broken pipe"),
         earlier},
        {"nothing written", {{.writeNothing = true}}, 0, ioError, earlier},
        // How NFS reports a write-back error: the line may not have reached the server.
        {"close fails", {}, EIO, ioError, earlier + line + "\r\n"},
        {"close interrupted, which releases the file all the same",
         {},
         EINTR,
         AppendResult::success(),
         earlier + line + "\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        testing::TempDir dir;
        testing::writeBytes(dir / "Entries.txt", earlier);
        WriteRecorder recorder;
        recorder.injections.assign(row.injections.begin(), row.injections.end());
        recorder.closeError = row.closeError;

        EXPECT_EQ(appendSignalLine(testing::utf8(dir / "Entries.txt"), line), row.expected);
        EXPECT_EQ(testing::readBytes(dir / "Entries.txt"), row.fileAfter);
        ASSERT_FALSE(recorder.calls.empty());
        EXPECT_FALSE(isOpenDescriptor(recorder.calls.front().fd));
    }
}

} // namespace
} // namespace kestrane::signal

extern "C" ssize_t __wrap_write(int fd, const void* data, size_t size) {
    using kestrane::signal::WriteRecorder;
    if (WriteRecorder::active == nullptr) {
        return __real_write(fd, data, size);
    }
    return WriteRecorder::active->write(fd, data, size);
}

extern "C" int __wrap_close(int fd) {
    using kestrane::signal::WriteRecorder;
    if (WriteRecorder::active == nullptr) {
        return __real_close(fd);
    }
    return WriteRecorder::active->close(fd);
}
