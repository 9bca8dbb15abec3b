// POSIX backend: Windows-1252 through iconv, append with open/reserve/write/close.
#include "file_backend.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <iconv.h>
#include <pthread.h>
#include <sys/resource.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace kestrane::signal::backend {
namespace {

// The ANSI code page of Western Windows systems, where readers of the file usually live.
constexpr const char* fileCodePage = "WINDOWS-1252";

class Converter {
public:
    Converter() : handle_{::iconv_open(fileCodePage, "UTF-8")} {}
    ~Converter() {
        if (isOpen()) {
            ::iconv_close(handle_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool isOpen() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return handle_; }

private:
    iconv_t handle_;
};

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_{fd} {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int get() const { return fd_; }

    // Closes now and returns 0 or the errno of a failing close. On EINTR the descriptor is
    // already released, so it is not closed a second time.
    int close() {
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0 || errno == EINTR ? 0 : errno;
    }

private:
    int fd_;
};

// A path in Windows form names nothing here: opening it would create a stray file with that
// odd name in the working folder. Windows form is a drive letter, a colon and a separator, or
// a leading backslash (a UNC path or a path from the root of the current drive). A letter and
// a colon followed by anything else is an ordinary file name here.
bool isWindowsFormPath(std::string_view path) {
    const auto isAsciiLetter = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    };
    const bool drivePath = path.size() >= 3 && isAsciiLetter(path[0]) && path[1] == ':' &&
                           (path[2] == '\\' || path[2] == '/');
    return drivePath || path.starts_with('\\');
}

// A name with white space at either end of the path, or a last part ending in a space or a
// dot, is not the file the user means: typed or pasted with a stray blank, it would create
// a second file beside the one that a reader watches. Windows strips a name's trailing spaces
// and dots and so reaches the intended file; here such a path is refused instead.
bool hasStrayNameEnds(std::string_view path) {
    const auto isWhiteSpace = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    };
    if (isWhiteSpace(path.front()) || isWhiteSpace(path.back())) {
        return true;
    }
    const std::string_view lastPart = path.substr(path.find_last_of('/') + 1);
    return lastPart.ends_with(' ') || lastPart.ends_with('.');
}

// Keeps SIGPIPE and SIGXFSZ from killing the program while it is in scope. A FIFO whose
// reader has gone raises SIGPIPE with EPIPE, and a write past the process's size limit raises
// SIGXFSZ with EFBIG; with both blocked the call just fails, and once such a failure has been
// noted the signal it raised is taken back off this thread before the mask is restored.
class FatalFileSignalsBlocked {
public:
    FatalFileSignalsBlocked() {
        sigset_t blocked;
        sigemptyset(&blocked);
        sigaddset(&blocked, SIGPIPE);
        sigaddset(&blocked, SIGXFSZ);
        ::pthread_sigmask(SIG_BLOCK, &blocked, &previous_);
    }
    ~FatalFileSignalsBlocked() {
        if (mayHaveRaised_) {
            takeBackRaisedSignals();
        }
        ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    FatalFileSignalsBlocked(const FatalFileSignalsBlocked&) = delete;
    FatalFileSignalsBlocked& operator=(const FatalFileSignalsBlocked&) = delete;

    // Passes on the errno of a failed call, noting whether it came with one of the signals.
    int failedWith(int error) {
        mayHaveRaised_ = mayHaveRaised_ || error == EPIPE || error == EFBIG;
        return error;
    }

private:
    void takeBackRaisedSignals() const {
        sigset_t pending;
        sigemptyset(&pending);
        ::sigpending(&pending);
        for (const int signal : {SIGPIPE, SIGXFSZ}) {
            // A signal the caller had blocked already stays pending for the caller.
            if (sigismember(&pending, signal) == 1 && sigismember(&previous_, signal) == 0) {
                sigset_t only;
                sigemptyset(&only);
                sigaddset(&only, signal);
                const timespec now{};
                ::sigtimedwait(&only, nullptr, &now);
            }
        }
    }

    sigset_t previous_;
    bool mayHaveRaised_ = false;
};

AppendResult failureFromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return AppendResult::failed(failure::PathNotFound, "Path not found");
    case ENAMETOOLONG:
        return AppendResult::failed(failure::BadFileName, "Bad file name or number");
    case EISDIR:
    case EACCES:
    case EPERM:
    case EROFS:
        return AppendResult::failed(failure::PathFileAccessError, "Path/File access error");
    case ETXTBSY:
    case EWOULDBLOCK:
        return AppendResult::failed(failure::PermissionDenied, "Permission denied");
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return AppendResult::failed(failure::DiskFull, "Disk full");
    case EMFILE:
    case ENFILE:
        return AppendResult::failed(failure::TooManyFiles, "Too many files");
    default:
        return AppendResult::failed(failure::DeviceIOError,
                                    "Device I/O error: " + std::generic_category().message(error));
    }
}

// True when `size` bytes written at `end` stay inside the page that already holds the file's
// last bytes. Such a write is all or nothing: the page's block is already the file's, and the
// kernel copies a write page by page, failing before the first page or not at all.
bool fitsInLastPage(off_t end, std::size_t size) {
    static const auto pageSize = static_cast<std::uintmax_t>(::sysconf(_SC_PAGESIZE));
    const std::uintmax_t usedOfLastPage = static_cast<std::uintmax_t>(end) % pageSize;
    return usedOfLastPage != 0 && usedOfLastPage + size <= pageSize;
}

// Makes sure a regular file can take `size` more bytes before any of them is written, so that
// a full disk or the size limit fails the send with the file as it was, instead of leaving
// part of a line for the next line to run into. Returns 0 or the errno that refuses the bytes.
// The room is reserved at the current end of the file: should another process append in
// between, the write may reach past the reservation, and is then no worse off than without it.
int reserveRoomAtEnd(int fd, std::size_t size) {
    // Where the file ends; a FIFO or socket has no end (ESPIPE) and nothing to reserve, and
    // its write reports for itself. lseek costs a third of what fstat does here.
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end < 0) {
        return 0;
    }
    if (rlimit limit{}; ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
                        static_cast<std::uintmax_t>(end) + size > limit.rlim_cur) {
        return EFBIG;
    }
    if (fitsInLastPage(end, size)) {
        return 0; // most lines: reserving would cost more than the whole append
    }
#ifdef FALLOC_FL_KEEP_SIZE
    int result = 0;
    do {
        result = ::fallocate(fd, FALLOC_FL_KEEP_SIZE, end, static_cast<off_t>(size));
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        return 0;
    }
    // Only a lack of room refuses the send; a file system that cannot reserve (EOPNOTSUPP), a
    // device (ENODEV) or a file that may only grow by appending (EPERM) gets the write as it is.
    return errno == ENOSPC || errno == EDQUOT || errno == EFBIG ? errno : 0;
#else
    return 0; // no way to reserve without changing the file's size: the write as it is
#endif
}

} // namespace

bool encodeCharacter(std::string_view utf8Character, std::string& bytes) {
    // Opened once per thread: opening a converter costs more than a whole line's conversion.
    thread_local Converter converter;
    if (!converter.isOpen()) {
        return false;
    }
    ::iconv(converter.get(), nullptr, nullptr, nullptr, nullptr); // back to the initial state
    char* in = const_cast<char*>(utf8Character.data());           // iconv never writes its input
    std::size_t inLeft = utf8Character.size();
    char converted[4];
    char* out = converted;
    std::size_t outLeft = sizeof converted;
    // glibc's converter drops some characters (the Unicode tag characters, for one) without an
    // error instead of refusing them: only exactly one byte out counts as held.
    if (::iconv(converter.get(), &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) ||
        inLeft != 0 || sizeof converted - outLeft != 1) {
        return false;
    }
    bytes += converted[0];
    return true;
}

AppendResult appendBytes(std::string_view path, std::string_view bytes) {
    if (path.find('\0') != std::string_view::npos) {
        return AppendResult::failed(failure::BadFileName, "Bad file name or number");
    }
    if (hasStrayNameEnds(path)) {
        return AppendResult::failed(failure::BadFileName, "Bad file name or number");
    }
    if (isWindowsFormPath(path)) {
        return AppendResult::failed(failure::PathNotFound, "Path not found");
    }
    // 0666 so that the user's umask decides the new file's permissions. O_NONBLOCK keeps a
    // FIFO without a reader from blocking the open (and the window) for ever; it changes
    // nothing for a regular file.
    FileDescriptor file{::open(std::string{path}.c_str(),
                               O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666)};
    if (!file.isOpen()) {
        return failureFromErrno(errno);
    }
    FatalFileSignalsBlocked signalsBlocked;
    if (const int error = reserveRoomAtEnd(file.get(), bytes.size()); error != 0) {
        return failureFromErrno(signalsBlocked.failedWith(error));
    }
    // One write: O_APPEND makes the kernel place the whole buffer at the end at once, so
    // concurrent appenders never write into each other's lines. A short write, which the
    // reservation leaves only to file systems that cannot reserve, continues with the rest:
    // that may land after another process's line, but stopping would leave a fragment for
    // the next line to run into for certain.
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(file.get(), data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return failureFromErrno(signalsBlocked.failedWith(errno));
        }
        if (written == 0) {
            return failureFromErrno(EIO);
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    if (const int error = file.close(); error != 0) {
        return failureFromErrno(error);
    }
    return AppendResult::success();
}

} // namespace kestrane::signal::backend
