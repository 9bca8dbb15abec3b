// POSIX backend: Windows-1252 through iconv, append with open/lock/reserve/write/unlock/close.
#include "file_backend.h"
#include "unique_handle.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
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
#include <thread>
#include <unistd.h>
#include <utility>

namespace kestrane::signal::backend {
namespace {

// The ANSI code page of Western Windows systems, where readers of the file usually live.
constexpr const char* fileCodePage = "WINDOWS-1252";

struct IconvTraits {
    using Type = iconv_t;
    static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }
    static void close(iconv_t converter) { ::iconv_close(converter); }
};
using Converter = UniqueHandle<IconvTraits>;

struct FileDescriptorTraits {
    using Type = int;
    static int invalid() { return -1; }
    static void close(int fd) { ::close(fd); }
};
using FileDescriptor = UniqueHandle<FileDescriptorTraits>;

// Closes `file` now and returns 0 or the errno of a failing close. On EINTR the descriptor is
// already released, so it is not closed a second time.
int closeNow(FileDescriptor& file) {
    return ::close(file.release()) == 0 || errno == EINTR ? 0 : errno;
}

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

// The failure code of an errno value.
int failureCodeOf(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return failure::PathNotFound;
    case ENAMETOOLONG:
        return failure::BadFileName;
    case EISDIR:
    case EACCES:
    case EPERM:
    case EROFS:
        return failure::PathFileAccessError;
    case ETXTBSY:
    case EWOULDBLOCK:
        return failure::PermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return failure::DiskFull;
    case EMFILE:
    case ENFILE:
        return failure::TooManyFiles;
    default:
        return failure::DeviceIOError;
    }
}

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
    const int code = failureCodeOf(error);
    if (code == failure::DeviceIOError) {
        return AppendResult::failedWithDetail(code, systemText(error));
    }
    return AppendResult::failed(code);
}

// Calls `tryOnce` until it no longer asks to be tried again (returns false), pausing 1, 2, 4,
// 8 and then 16 ms between tries; false when it still asks about a second after its first
// refusal. Another copy's append lock, a lease being broken and a pipe a reader is emptying
// are each let go within moments: tried again, never waited on without a bound.
template <typename TryOnce>
bool retriedInTime(TryOnce tryOnce) {
    using namespace std::chrono_literals;
    std::optional<std::chrono::steady_clock::time_point> deadline; // from the first refusal
    auto pause = 1ms;
    while (tryOnce()) {
        const auto now = std::chrono::steady_clock::now();
        if (!deadline) {
            deadline = now + 1s;
        } else if (now >= *deadline) {
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, 16ms);
    }
    return true;
}

// The byte that every copy of the program, on Linux and on Windows, locks while it appends:
// one far past any real end of the file, so that the lock keeps no reader and no other writer
// out of the file's bytes.
constexpr off_t appendLockByte = off_t{1} << 62;
static_assert(sizeof(off_t) >= 8, "the append lock's byte needs 64-bit file offsets");

// An exclusive lock on appendLockByte, held for one append, so that copies of the program
// take turns: on this machine, on other machines sharing the file over NFS or SMB (where
// O_APPEND alone does not keep writers apart, and taking and dropping the lock is where the
// client learns the file's true size and sends its writes), and with copies of the Windows
// program under Wine or on a Samba share, which find the end and write there in two steps.
// Open file description locks first, so that threads of one process take turns too; classic
// POSIX locks on kernels without them. Another copy holds the byte only for one write, so a
// taken byte is tried again (retriedInTime); a byte still taken then is held by another
// program, and the send gives up. A file system that cannot lock at all gets the append
// without the lock.
class AppendLock {
public:
    explicit AppendLock(int fd) : fd_{fd} {
        if (!retriedInTime([this] { return byteTaken(); })) {
            error_ = EWOULDBLOCK;
        }
    }
    ~AppendLock() {
        // Closing the file would release it too; unlocking first sends an NFS client's
        // writes to the server before the next copy takes its turn.
        if (held_) {
            flock region = byteRegion(F_UNLCK);
            ::fcntl(fd_, command_, &region);
        }
    }
    AppendLock(const AppendLock&) = delete;
    AppendLock& operator=(const AppendLock&) = delete;

    bool held() const { return held_; }
    // 0, or the errno that refuses the send: EWOULDBLOCK when others held the byte throughout.
    int error() const { return error_; }

private:
    // Takes the byte if it can; true when another holds it and it is worth another try.
    bool byteTaken() {
        for (;;) {
            flock region = byteRegion(F_WRLCK);
            if (::fcntl(fd_, command_, &region) == 0) {
                held_ = true;
                return false;
            }
            const int error = errno;
            if (error == EINVAL && command_ == F_OFD_SETLK) {
                command_ = F_SETLK; // a kernel older than open file description locks
                continue;
            }
            if (error == ENOLCK || error == EINVAL || error == EOPNOTSUPP) {
                return false; // this file system cannot lock
            }
            if (error != EAGAIN && error != EACCES && error != EINTR) {
                error_ = error;
                return false;
            }
            return true;
        }
    }

    static flock byteRegion(short type) {
        flock region{};
        region.l_type = type;
        region.l_whence = SEEK_SET;
        region.l_start = appendLockByte;
        region.l_len = 1;
        return region;
    }

    int fd_;
    int command_ = F_OFD_SETLK;
    bool held_ = false;
    int error_ = 0;
};

// What the file system reports about the file: where it ends and how many bytes it has given
// the file. Asked of the server itself where the file lives on a network share, since the
// Linux SMB client places an O_APPEND write at the size it has cached.
struct FileExtent {
    bool regular = false;
    bool pipe = false;
    off_t end = 0;
    std::uintmax_t allocated = 0;
};

std::optional<FileExtent> fileExtent(int fd) {
    struct statx info {};
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_FORCE_SYNC, STATX_TYPE | STATX_SIZE | STATX_BLOCKS,
                &info) == 0) {
        return FileExtent{S_ISREG(info.stx_mode), S_ISFIFO(info.stx_mode),
                          static_cast<off_t>(info.stx_size), std::uintmax_t{info.stx_blocks} * 512};
    }
    struct stat status {};
    if (::fstat(fd, &status) == 0) { // a kernel or sandbox without statx
        return FileExtent{S_ISREG(status.st_mode), S_ISFIFO(status.st_mode), status.st_size,
                          static_cast<std::uintmax_t>(status.st_blocks) * 512};
    }
    return std::nullopt;
}

// A file that may only grow by appending (chattr +a): what a failed write left in it cannot be
// cut back.
bool isAppendOnly(int fd) {
    int flags = 0;
    return ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_APPEND_FL) != 0;
}

// Whether the file system's free blocks surely take `size` more bytes at the end of `file`,
// with three blocks to spare for the index blocks a file system without extents may add.
bool surelyHasRoom(int fd, const FileExtent& file, std::size_t size) {
    struct statvfs space {};
    if (::fstatvfs(fd, &space) != 0) {
        return false;
    }
    const std::uintmax_t block = space.f_frsize != 0 ? space.f_frsize : space.f_bsize;
    const std::uintmax_t past = static_cast<std::uintmax_t>(file.end) + size - file.allocated;
    const std::uintmax_t needed = (past + block - 1) / block + 3;
    // Root may also write into the blocks the file system keeps back for it.
    return (::geteuid() == 0 ? space.f_bfree : space.f_bavail) >= needed;
}

// Makes sure a regular file can take `size` more bytes at its end before any of them is
// written, so that a full disk or the size limit fails the send with nothing written. Returns
// 0 or the errno that refuses the bytes. Bytes that stay within what the file system has
// already given the file need no room (whatever its block size); only a line that reaches
// past that is reserved, about one line in a block's worth. A file system that cannot
// reserve gets the write as it is, and a failed write is taken back (cutBack); where that is
// impossible, in an append-only file, the line is written only where the free blocks surely
// hold it.
int reserveRoomAtEnd(int fd, const FileExtent& file, std::size_t size) {
    const std::uintmax_t newEnd = static_cast<std::uintmax_t>(file.end) + size;
    if (rlimit limit{}; ::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
                        newEnd > limit.rlim_cur) {
        return EFBIG;
    }
    if (newEnd <= file.allocated) {
        return 0; // most lines: reserving would cost more than the whole append
    }
    int result = 0;
    do {
        result = ::fallocate(fd, FALLOC_FL_KEEP_SIZE, file.end, static_cast<off_t>(size));
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        return 0;
    }
    // Only a lack of room refuses the send; a file system that cannot reserve (EOPNOTSUPP) or
    // a device (ENODEV) gets the write as it is.
    if (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) {
        return errno;
    }
    return isAppendOnly(fd) && !surelyHasRoom(fd, file, size) ? ENOSPC : 0;
}

// Takes back what a write that failed part-way left at the end of the file, so that the next
// line does not run into a fragment; true when the file ends where it did before the send.
// Under the append lock no other copy appends, and only a file that holds exactly what it held
// before plus the bytes this send wrote is cut: anything another writer added, and everything
// before the send, stays.
bool cutBack(int fd, off_t end, std::size_t written) {
    const std::optional<FileExtent> now = fileExtent(fd);
    if (!now || now->end != end + static_cast<off_t>(written)) {
        return false;
    }
    int result = 0;
    do {
        result = ::ftruncate(fd, end);
    } while (result != 0 && errno == EINTR);
    return result == 0;
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

// Writes `bytes` into a pipe whole, or nothing of them: a pipe cannot be cut back. The kernel
// writes up to PIPE_BUF bytes whole or refuses them; more are written only once the pipe has
// room for all of them. A reader that is behind gets about a second to catch up. Returns 0 or
// the errno of the failure, with what went into the pipe all the same in `written`.
int writeWholeToPipe(int fd, std::string_view bytes, std::size_t& written) {
    int error = 0;
    const bool inTime = retriedInTime([&] {
        const std::size_t left = bytes.size() - written;
        if (left > PIPE_BUF && pipeRoom(fd) < left) {
            return true;
        }
        const ssize_t result = ::write(fd, bytes.data() + written, left);
        if (result > 0) {
            written += static_cast<std::size_t>(result);
            return written < bytes.size(); // another writer took the room meanwhile
        }
        if (result < 0 && (errno == EAGAIN || errno == EINTR)) {
            return true;
        }
        error = result == 0 ? EIO : errno;
        return false;
    });
    return inTime ? error : EAGAIN;
}

// The failure of a line that did not go into a pipe.
AppendResult pipeFailure(int error, std::size_t written) {
    const AppendResult failed =
        error == EAGAIN ? AppendResult::failedWithDetail(
                              failure::DeviceIOError,
                              "The pipe is full: its reader has not taken what came before")
                        : failureFromErrno(error);
    return written == 0 ? failed : failed.leavingPart(written);
}

// Appends `bytes` to the open file `fd` under the append lock, writing nothing or the whole
// line, or saying what it left behind.
AppendResult appendLocked(int fd, std::string_view bytes, FatalFileSignalsBlocked& signalsBlocked) {
    const AppendLock lock{fd};
    if (lock.error() != 0) {
        return failureFromErrno(lock.error());
    }
    // Where the file ends once no other copy can append. A pipe takes the line whole or not
    // at all; a device has no end to keep and nothing to reserve, and its write reports for
    // itself.
    std::optional<FileExtent> extent = fileExtent(fd);
    if (extent && extent->pipe) {
        std::size_t written = 0;
        const int error = writeWholeToPipe(fd, bytes, written);
        if (error != 0) {
            return pipeFailure(signalsBlocked.failedWith(error), written);
        }
        return AppendResult::success();
    }
    if (extent && !extent->regular) {
        extent.reset();
    }
    if (extent) {
        if (const int error = reserveRoomAtEnd(fd, *extent, bytes.size()); error != 0) {
            return failureFromErrno(signalsBlocked.failedWith(error));
        }
    }
    // One write: O_APPEND makes the kernel place the whole buffer at the end at once, so
    // even writers that take no lock never write into this line on this machine. A short
    // write continues with the rest; one that then fails is taken back, under the lock.
    std::size_t written = 0;
    int error = 0;
    while (written < bytes.size()) {
        const ssize_t result = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (result > 0) {
            written += static_cast<std::size_t>(result);
        } else if (result == 0 || errno != EINTR) {
            error = result == 0 ? EIO : signalsBlocked.failedWith(errno);
            break;
        }
    }
    if (error != 0) {
        if (written == 0 || (extent && lock.held() && cutBack(fd, extent->end, written))) {
            return failureFromErrno(error);
        }
        return failureFromErrno(error).leavingPart(written);
    }
    return AppendResult::success();
}

} // namespace

bool encodeCharacter(std::string_view utf8Character, std::string& bytes) {
    // Opened once per thread: opening a converter costs more than a whole line's conversion.
    thread_local const Converter converter{::iconv_open(fileCodePage, "UTF-8")};
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
    const bool openedInTime = retriedInTime([&] {
        file = FileDescriptor{
            ::open(pathText.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666)};
        openError = file.isOpen() ? 0 : errno;
        return openError == EWOULDBLOCK || openError == EINTR;
    });
    if (!file.isOpen()) {
        return failureFromErrno(openedInTime ? openError : EWOULDBLOCK);
    }
    FatalFileSignalsBlocked signalsBlocked;
    if (AppendResult result = appendLocked(file.get(), bytes, signalsBlocked);
        !result.succeeded()) {
        return result;
    }
    if (const int error = closeNow(file); error != 0) {
        return failureFromErrno(error);
    }
    return AppendResult::success();
}

} // namespace kestrane::signal::backend
