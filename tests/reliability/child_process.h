// Child processes for tests that need a process of their own: many appenders at once, an
// appender killed mid-loop, a lowered limit or another user.
#pragma once

#include <cerrno>
#include <csignal>
#include <exception>
#include <fcntl.h>
#include <functional>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace kestrane::testing {

// How a child ended: its exit code, or the signal that killed it.
struct ChildEnding {
    bool exited = false;
    int exitCode = -1;
    int signal = 0;
};

// A forked child that runs `body` and exits with its result. The child never returns into
// the test framework; a child still running when the object goes away is killed and reaped.
class ChildProcess {
public:
    // Exit code of a child whose body threw.
    static constexpr int bodyThrew = 125;

    explicit ChildProcess(const std::function<int()>& body) : pid_{::fork()} {
        if (pid_ != 0) {
            return;
        }
        int code = bodyThrew;
        try {
            code = body();
        } catch (...) {
        }
        ::_exit(code);
    }
    ~ChildProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            wait();
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ChildProcess(ChildProcess&& other) noexcept : pid_{std::exchange(other.pid_, -1)} {}

    bool started() const { return pid_ > 0; }

    void kill(int signal) const {
        if (pid_ > 0) {
            ::kill(pid_, signal);
        }
    }

    // Waits for the child to end; once only.
    ChildEnding wait() {
        ChildEnding ending;
        int status = 0;
        pid_t reaped = -1;
        do {
            reaped = ::waitpid(pid_, &status, 0);
        } while (reaped < 0 && errno == EINTR);
        pid_ = -1;
        if (reaped < 0) {
            return ending;
        }
        if (WIFEXITED(status)) {
            ending.exited = true;
            ending.exitCode = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            ending.signal = WTERMSIG(status);
        }
        return ending;
    }

private:
    pid_t pid_;
};

// Runs `body` in a child and returns its exit code, or -1 when it did not exit normally.
inline int exitCodeOfChild(const std::function<int()>& body) {
    ChildProcess child{body};
    if (!child.started()) {
        return -1;
    }
    const ChildEnding ending = child.wait();
    return ending.exited ? ending.exitCode : -1;
}

// A pipe for telling a child when to start or the parent that a child is ready. Reading end
// of file means every writer has closed its end, which is how a start signal reaches many
// children at once and how the parent notices a child that died early.
class Pipe {
public:
    Pipe() {
        int ends[2] = {-1, -1};
        if (::pipe2(ends, O_CLOEXEC) == 0) {
            read_ = ends[0];
            write_ = ends[1];
        }
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    bool isOpen() const { return read_ >= 0 && write_ >= 0; }
    int readEnd() const { return read_; }
    int writeEnd() const { return write_; }

    void closeRead() { closeEnd(read_); }
    void closeWrite() { closeEnd(write_); }

    bool sendByte() const {
        const char byte = 1;
        return ::write(write_, &byte, 1) == 1;
    }
    // True when a byte arrived, false at end of file.
    bool receiveByte() const {
        char byte = 0;
        ssize_t got = -1;
        do {
            got = ::read(read_, &byte, 1);
        } while (got < 0 && errno == EINTR);
        return got == 1;
    }

private:
    static void closeEnd(int& fd) {
        if (fd >= 0) {
            ::close(std::exchange(fd, -1));
        }
    }

    int read_ = -1;
    int write_ = -1;
};

} // namespace kestrane::testing
