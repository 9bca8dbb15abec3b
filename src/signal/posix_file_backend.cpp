// POSIX backend: Windows-1252 through iconv, append with open/write/close.
#include "file_backend.h"

#include <algorithm>
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
    // One character at a time, each of which must become exactly one byte: glibc's converter
    // silently drops some characters (the Unicode tag characters, for one) instead of refusing
    // them, and a refusal names the character that caused it.
    std::string encoded;
    encoded.reserve(utf8Text.size());
    std::size_t offset = 0;
    while (offset < utf8Text.size()) {
        // A byte that cannot lead a sequence is converted alone, so that its conversion fails.
        const std::size_t lead = utf8SequenceLength(static_cast<unsigned char>(utf8Text[offset]));
        const std::size_t length =
            std::min(std::max<std::size_t>(lead, 1), utf8Text.size() - offset);
        char* in = const_cast<char*>(utf8Text.data() + offset); // iconv never writes its input
        std::size_t inLeft = length;
        char bytes[4];
        char* out = bytes;
        std::size_t outLeft = sizeof bytes;
        const bool converted =
            ::iconv(converter.get(), &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1);
        if (!converted || inLeft != 0 || sizeof bytes - outLeft != 1) {
            return cannotHoldCharacter(utf8Text, offset);
        }
        encoded += bytes[0];
        offset += length;
    }
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
