// POSIX backend: Windows-1252 through iconv, append with open/write/close.
#include "file_backend.h"

#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <iconv.h>
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
// odd name in the working folder.
bool isWindowsFormPath(std::string_view path) {
    const bool driveLetter =
        path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
    return driveLetter || path.starts_with("\\\\");
}

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

} // namespace

std::variant<std::string, AppendResult> encodeForSignalFile(std::string_view utf8Text) {
    Converter converter;
    if (!converter.isOpen()) {
        return failureFromErrno(errno);
    }
    // Every character takes at least one byte of UTF-8 and exactly one in the code page.
    std::string encoded(utf8Text.size(), '\0');
    char* in = const_cast<char*>(utf8Text.data()); // iconv's signature; it never writes input
    std::size_t inLeft = utf8Text.size();
    char* out = encoded.data();
    std::size_t outLeft = encoded.size();
    if (::iconv(converter.get(), &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1)) {
        return cannotHoldCharacter(utf8Text, static_cast<std::size_t>(in - utf8Text.data()));
    }
    encoded.resize(encoded.size() - outLeft);
    return encoded;
}

AppendResult appendBytes(std::string_view path, std::string_view bytes) {
    if (path.find('\0') != std::string_view::npos) {
        return AppendResult::failed(failure::BadFileName, "Bad file name or number");
    }
    if (isWindowsFormPath(path)) {
        return AppendResult::failed(failure::PathNotFound, "Path not found");
    }
    // 0666 so that the user's umask decides the new file's permissions.
    FileDescriptor file{
        ::open(std::string{path}.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666)};
    if (!file.isOpen()) {
        return failureFromErrno(errno);
    }
    // One write: O_APPEND makes the kernel place the whole buffer at the end at once, so
    // concurrent appenders never interleave inside a line. Only a short write continues.
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(file.get(), data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return failureFromErrno(errno);
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
