// POSIX backend: Windows-1252 by table; the primitives of the shared policy with open, fcntl
// locks, statx, fallocate, write, ftruncate and close.
#include "file_backend.h"
#include "system/unique_handle.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <linux/fs.h>
#include <optional>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace kestrane::signal::backend {
namespace {

using policy::LockOutcome;
using policy::SystemError;

struct IconvTraits {
    using Type = iconv_t;
    static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }
    static void close(iconv_t converter) { ::iconv_close(converter); }
};
using Converter = UniqueHandle<IconvTraits>;

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
    // A last part ending in a space ends the path in white space too.
    constexpr std::string_view whiteSpace = " \t\n\v\f\r";
    return whiteSpace.find(path.front()) != std::string_view::npos ||
           whiteSpace.find(path.back()) != std::string_view::npos || path.back() == '.';
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
        for (const int raised : {SIGPIPE, SIGXFSZ}) {
            // A signal the caller had blocked already stays pending for the caller.
            if (sigismember(&pending, raised) == 1 && sigismember(&previous_, raised) == 0) {
                sigset_t only;
                sigemptyset(&only);
                sigaddset(&only, raised);
                const timespec now{};
                ::sigtimedwait(&only, nullptr, &now);
            }
        }
    }

    sigset_t previous_;
    bool mayHaveRaised_ = false;
};

// The system's text for `error` in UTF-8. It comes in the locale's encoding, which need not
// be UTF-8 (a Latin-1 locale, say); a byte that does not convert becomes U+FFFD.
std::string systemText(int error) {
    const std::string text = std::generic_category().message(error);
    if (std::all_of(text.begin(), text.end(), [](char c) { return c >= 0; })) {
        return text;
    }
    const Converter converter{::iconv_open("UTF-8", ::nl_langinfo(CODESET))};
    if (!converter.isOpen()) {
        return text;
    }
    std::string utf8;
    char* in = const_cast<char*>(text.data()); // iconv never writes its input
    std::size_t inLeft = text.size();
    while (inLeft > 0) {
        char converted[64];
        char* out = converted;
        std::size_t outLeft = sizeof converted;
        const bool stopped =
            ::iconv(converter.get(), &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1);
        utf8.append(converted, out);
        if (stopped && errno != E2BIG) {
            utf8 += "\xEF\xBF\xBD";
            ++in;
            --inLeft;
        }
    }
    return utf8;
}

AppendResult failureFromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return AppendResult::failed(failure::PathNotFound);
    case ENAMETOOLONG:
        return AppendResult::failed(failure::BadFileName);
    case EISDIR:
    case EACCES:
    case EPERM:
    case EROFS:
        return AppendResult::failed(failure::PathFileAccessError);
    case ETXTBSY:
    case EWOULDBLOCK:
        return AppendResult::failed(failure::PermissionDenied);
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return AppendResult::failed(failure::DiskFull);
    case EMFILE:
    case ENFILE:
        return AppendResult::failed(failure::TooManyFiles);
    default:
        return AppendResult::failedWithDetail(failure::DeviceIOError, systemText(error));
    }
}

// The characters of Windows-1252's bytes 0x80 to 0x9F (0 where a byte is undefined); every
// other byte is the character of the same number.
constexpr std::array<char16_t, 32> windows1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// Calls `call` again for as long as a signal interrupts it (-1 with EINTR); its last result.
template <typename Call>
auto retryingInterrupted(Call call) {
    for (;;) {
        const auto result = call();
        if (result != -1 || errno != EINTR) {
            return result;
        }
    }
}

// A file that may only grow by appending (chattr +a): what a failed write left in it cannot be
// cut back.
bool isAppendOnly(int fd) {
    int flags = 0;
    return ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_APPEND_FL) != 0;
}

// Whether the file system's free blocks surely take `size` more bytes at the end of `file`,
// with three blocks to spare for the index blocks a file system without extents may add.
bool surelyHasRoom(int fd, const policy::Extent& file, std::size_t size) {
    struct statvfs space {};
    if (::fstatvfs(fd, &space) != 0) {
        return false;
    }
    const std::uintmax_t block = space.f_frsize != 0 ? space.f_frsize : space.f_bsize;
    const std::uintmax_t past = file.end + size - file.allocated;
    const std::uintmax_t needed = (past + block - 1) / block + 3;
    // Root may also write into the blocks the file system keeps back for it.
    return (::geteuid() == 0 ? space.f_bfree : space.f_bavail) >= needed;
}

// How much a pipe surely takes at once without waiting: its free pages, counting one page for
// a first page its reader has only partly taken.
std::size_t pipeRoom(int fd) {
    const int capacity = ::fcntl(fd, F_GETPIPE_SZ);
    int queued = 0;
    const long page = ::sysconf(_SC_PAGESIZE);
    if (capacity <= 0 || page <= 0 || ::ioctl(fd, FIONREAD, &queued) != 0) {
        return 0;
    }
    const auto pageSize = static_cast<std::size_t>(page);
    const std::size_t pages = static_cast<std::size_t>(capacity) / pageSize;
    const std::size_t used =
        queued == 0 ? 0 : (static_cast<std::size_t>(queued) + pageSize - 1) / pageSize + 1;
    return used >= pages ? 0 : (pages - used) * pageSize;
}

// The most an unprivileged process may enlarge a pipe to, in bytes; 0 where the system does
// not say.
std::size_t largestPipe() {
    const FileDescriptor limit{::open("/proc/sys/fs/pipe-max-size", O_RDONLY | O_CLOEXEC)};
    char text[24] = {};
    if (!limit.isOpen() || ::read(limit.get(), text, sizeof text - 1) <= 0) {
        return 0;
    }
    std::size_t bytes = 0;
    std::from_chars(text, text + sizeof text, bytes);
    return bytes;
}

// Enlarges the pipe to hold at least `size` bytes at once, as far as the system lets it; what
// the pipe may hold at most afterwards.
std::size_t enlargePipeFor(int fd, std::size_t size) {
    const int capacity = ::fcntl(fd, F_GETPIPE_SZ);
    if (capacity > 0 && static_cast<std::size_t>(capacity) >= size) {
        return static_cast<std::size_t>(capacity);
    }
    const std::size_t largest = largestPipe();
    if ((largest != 0 && size > largest) || size > INT_MAX) {
        return largest;
    }
    const int enlarged = ::fcntl(fd, F_SETPIPE_SZ, static_cast<int>(size));
    return static_cast<std::size_t>(std::max({enlarged, capacity, 0}));
}

// One file open for appending, as the shared policy sees it. A FIFO takes a line whole or not
// at all, since a pipe cannot be cut back: up to PIPE_BUF bytes the kernel writes whole or
// refuses, more are written only once the pipe has room for all of them, and a reader that is
// behind gets about a second to catch up. A line longer than the pipe holds enlarges it first.
class PosixFile final : public policy::OpenFile {
public:
    PosixFile(FileDescriptor file, RetryClock& clock) : file_{std::move(file)}, clock_{clock} {}

    // Open file description locks first, so that threads of one process take turns too;
    // classic POSIX locks on kernels without them.
    LockOutcome tryLock(SystemError& error) override {
        for (;;) {
            flock region = byteRegion(F_WRLCK);
            if (::fcntl(fd(), command_, &region) == 0) {
                return LockOutcome::Held;
            }
            const int refusal = errno;
            if (refusal == EINVAL && command_ == F_OFD_SETLK) {
                command_ = F_SETLK; // a kernel older than open file description locks
                continue;
            }
            if (refusal == ENOLCK || refusal == EINVAL || refusal == EOPNOTSUPP) {
                return LockOutcome::Unsupported;
            }
            if (refusal == EAGAIN || refusal == EACCES || refusal == EINTR) {
                return LockOutcome::Busy;
            }
            error = static_cast<SystemError>(refusal);
            return LockOutcome::Failed;
        }
    }

    void unlock() override {
        flock region = byteRegion(F_UNLCK);
        ::fcntl(fd(), command_, &region);
    }

    // Asked of the server itself where the file lives on a network share, since the Linux SMB
    // client places an O_APPEND write at the size it has cached.
    std::optional<policy::Extent> extent() override {
        struct statx info {};
        if (::statx(fd(), "", AT_EMPTY_PATH | AT_STATX_FORCE_SYNC,
                    STATX_TYPE | STATX_SIZE | STATX_BLOCKS, &info) == 0) {
            pipe_ = S_ISFIFO(info.stx_mode);
            return policy::Extent{S_ISREG(info.stx_mode), info.stx_size,
                                  std::uint64_t{info.stx_blocks} * 512};
        }
        struct stat status {};
        if (::fstat(fd(), &status) == 0) { // a kernel or sandbox without statx
            pipe_ = S_ISFIFO(status.st_mode);
            return policy::Extent{S_ISREG(status.st_mode),
                                  static_cast<std::uint64_t>(status.st_size),
                                  static_cast<std::uint64_t>(status.st_blocks) * 512};
        }
        return std::nullopt;
    }

    // Bytes within what the file system has already given the file need no room; only a line
    // that reaches past that is reserved, about one line in a block's worth. A file system
    // that cannot reserve gets the write as it is, to be cut back if it fails, except an
    // append-only file, which gets only a line the free blocks surely hold.
    SystemError reserve(const policy::Extent& file, std::size_t size) override {
        const std::uint64_t newEnd = file.end + size;
        if (rlimit limit{}; ::getrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                            limit.rlim_cur != RLIM_INFINITY && newEnd > limit.rlim_cur) {
            return signalsBlocked_.failedWith(EFBIG);
        }
        if (newEnd <= file.allocated) {
            return 0; // most lines: reserving would cost more than the whole append
        }
        const int reserved = retryingInterrupted([&] {
            return ::fallocate(fd(), FALLOC_FL_KEEP_SIZE, static_cast<off_t>(file.end),
                               static_cast<off_t>(size));
        });
        if (reserved == 0) {
            return 0;
        }
        // A file system that cannot reserve (EOPNOTSUPP) or a device (ENODEV) is no refusal.
        if (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) {
            return signalsBlocked_.failedWith(errno);
        }
        return isAppendOnly(fd()) && !surelyHasRoom(fd(), file, size) ? ENOSPC : 0;
    }

    SystemError write(std::string_view bytes, std::size_t& written) override {
        if (pipe_) {
            return writeWholeToPipe(bytes, written);
        }
        const ssize_t result =
            retryingInterrupted([&] { return ::write(fd(), bytes.data(), bytes.size()); });
        if (result <= 0) {
            return result == 0 ? EIO : signalsBlocked_.failedWith(errno);
        }
        written = static_cast<std::size_t>(result);
        return 0;
    }

    bool truncate(std::uint64_t end) override {
        return retryingInterrupted([&] { return ::ftruncate(fd(), static_cast<off_t>(end)); }) == 0;
    }

    // On EINTR the descriptor is already released, so it is not closed a second time.
    SystemError close() override {
        return ::close(file_.release()) == 0 || errno == EINTR ? 0 : errno;
    }

    AppendResult failure(SystemError error) override {
        if (pipe_ && error == EMSGSIZE) {
            return AppendResult::failedWithDetail(failure::DeviceIOError, tooLongForPipe_);
        }
        if (pipe_ && error == EAGAIN) {
            return AppendResult::failedWithDetail(
                failure::DeviceIOError,
                "The pipe is full: its reader has not taken what came before");
        }
        return failureFromErrno(static_cast<int>(error));
    }

private:
    int fd() const { return file_.get(); }

    static flock byteRegion(short type) {
        static_assert(sizeof(off_t) >= 8, "the append lock's byte needs 64-bit file offsets");
        flock region{};
        region.l_type = type;
        region.l_whence = SEEK_SET;
        region.l_start = static_cast<off_t>(policy::appendLockByte);
        region.l_len = 1;
        return region;
    }

    SystemError writeWholeToPipe(std::string_view bytes, std::size_t& written) {
        if (bytes.size() > PIPE_BUF) {
            const std::size_t holds = enlargePipeFor(fd(), bytes.size());
            if (holds < bytes.size()) { // no wait makes room for it
                tooLongForPipe_ =
                    "The line is too long for the pipe: " + std::to_string(bytes.size()) +
                    " bytes with its line end, and the system lets the pipe hold " +
                    std::to_string(holds);
                return EMSGSIZE;
            }
        }
        int error = 0;
        const bool inTime = policy::retriedInTime(clock_, [&] {
            const std::size_t left = bytes.size() - written;
            if (left > PIPE_BUF && pipeRoom(fd()) < left) {
                return true;
            }
            const ssize_t result = ::write(fd(), bytes.data() + written, left);
            if (result > 0) {
                written += static_cast<std::size_t>(result);
                return written < bytes.size(); // another writer took the room meanwhile
            }
            if (result < 0 && (errno == EAGAIN || errno == EINTR)) {
                return true;
            }
            error = result == 0 ? EIO : signalsBlocked_.failedWith(errno);
            return false;
        });
        return inTime ? static_cast<SystemError>(error) : EAGAIN;
    }

    FileDescriptor file_;
    FatalFileSignalsBlocked signalsBlocked_;
    RetryClock& clock_;
    int command_ = F_OFD_SETLK;
    bool pipe_ = false;
    std::string tooLongForPipe_; // why a line is too long for the pipe
};

} // namespace

bool encodeCharacter(char32_t character, std::string& bytes) {
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) {
        bytes += static_cast<char>(character);
        return true;
    }
    const auto* found = std::find(windows1252High.begin(), windows1252High.end(), character);
    if (character > 0xFFFF || found == windows1252High.end()) {
        return false;
    }
    bytes += static_cast<char>(0x80 + (found - windows1252High.begin()));
    return true;
}

std::variant<std::unique_ptr<policy::OpenFile>, AppendResult>
openForAppending(std::string_view path, RetryClock& clock) {
    if (hasStrayNameEnds(path)) {
        return AppendResult::failed(failure::BadFileName);
    }
    if (isWindowsFormPath(path)) {
        return AppendResult::failed(failure::PathNotFound);
    }
    // 0666 so that the user's umask decides the new file's permissions. O_NONBLOCK keeps a
    // FIFO without a reader from blocking the open (and the window) for ever. For a regular
    // file it turns a lease another program holds (an NFSv4 delegation or a Samba oplock among
    // them) into a refusal while the lease is broken: tried again, as the append lock is.
    const std::string pathText{path};
    FileDescriptor file;
    int openError = 0;
    const bool openedInTime = policy::retriedInTime(clock, [&] {
        file = FileDescriptor{
            ::open(pathText.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666)};
        openError = file.isOpen() ? 0 : errno;
        return openError == EWOULDBLOCK || openError == EINTR;
    });
    if (!file.isOpen()) {
        return failureFromErrno(openedInTime ? openError : EWOULDBLOCK);
    }
    return std::make_unique<PosixFile>(std::move(file), clock);
}

} // namespace kestrane::signal::backend
