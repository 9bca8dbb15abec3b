// Windows backend: the system's ANSI code page through WideCharToMultiByte, append with
// CreateFileW / WriteFile / CloseHandle, the write under a lock shared by every sender.
// Paths and texts arrive as UTF-8.
#include "file_backend.h"
#include "unique_handle.h"
#include "utf16/utf16.h"
#include "windows_errors.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <windows.h>

namespace kestrane::signal::backend {
namespace {

struct FileHandleTraits {
    using Type = HANDLE;
    static HANDLE invalid() { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE handle) { ::CloseHandle(handle); }
};
using FileHandle = UniqueHandle<FileHandleTraits>;

// Closes `file` now; false, with the reason in GetLastError, when the system reports a failure.
bool closeNow(FileHandle& file) {
    return ::CloseHandle(file.release()) != FALSE;
}

// An exclusive lock on byte 2^62, held while a line is written, so that copies of the program
// sending at once write one after the other; tried again for about a second, then the send
// gives up. README.md ("Windows program") tells why and what it leaves to NTFS.
class AppendLock {
public:
    explicit AppendLock(HANDLE file) : file_{file} {
        const ULONGLONG deadline = ::GetTickCount64() + retryMilliseconds;
        DWORD pause = 1;
        for (;;) {
            if (::LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                             region())) {
                held_ = true;
                return;
            }
            if (::GetLastError() != ERROR_LOCK_VIOLATION) {
                return;
            }
            if (::GetTickCount64() >= deadline) {
                lockedByOthers_ = true;
                return;
            }
            ::Sleep(pause);
            pause = std::min<DWORD>(pause * 2, 16);
        }
    }
    ~AppendLock() {
        // Closing the handle would release it too, but possibly only some time later.
        if (held_) {
            ::UnlockFileEx(file_, 0, 1, 0, region());
        }
    }
    AppendLock(const AppendLock&) = delete;
    AppendLock& operator=(const AppendLock&) = delete;

    bool held() const { return held_; }
    // Whether someone else held the byte for the whole of the retries.
    bool lockedByOthers() const { return lockedByOthers_; }

private:
    static constexpr ULONGLONG retryMilliseconds = 1000;

    OVERLAPPED* region() {
        region_ = OVERLAPPED{};
        region_.OffsetHigh = 0x40000000; // byte 2^62
        return &region_;
    }

    HANDLE file_;
    OVERLAPPED region_{};
    bool held_ = false;
    bool lockedByOthers_ = false;
};

// Takes back what a write that stopped part-way left at the end of the file, so that the next
// line does not run into a fragment. NTFS allocates a write's room before copying it, so
// there a full disk fails the write whole; Wine and network shares write what fits and report
// the bytes written. Under the append lock no other copy appends, and only a file that holds
// exactly what it held before plus the bytes this send wrote is cut: anything another writer
// added, and everything before the send, stays. The append-only handle may not change the
// file's size, so a second handle to the same file does.
void cutBack(HANDLE file, LARGE_INTEGER end, DWORD written) {
    LARGE_INTEGER now{};
    if (!::GetFileSizeEx(file, &now) || now.QuadPart != end.QuadPart + written) {
        return;
    }
    const FileHandle writable{
        ::ReOpenFile(file, FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, 0)};
    FILE_END_OF_FILE_INFO newEnd{};
    newEnd.EndOfFile = end;
    if (writable.isOpen()) {
        ::SetFileInformationByHandle(writable.get(), FileEndOfFileInfo, &newEnd, sizeof newEnd);
    }
}

// The system's own text for an error code, without its line end.
std::string systemMessage(DWORD error) {
    wchar_t message[512];
    DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, error, 0, message, 512, nullptr);
    while (length > 0 && (message[length - 1] == L'\r' || message[length - 1] == L'\n' ||
                          message[length - 1] == L' ' || message[length - 1] == L'.')) {
        --length;
    }
    if (length == 0) {
        return "system error " + std::to_string(error);
    }
    return utf16::toUtf8({message, length});
}

HANDLE openWithAccess(const std::wstring& path, DWORD access) {
    return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Without FILE_WRITE_DATA every write goes to the end of the file, whoever else writes; readers
// and other writers may keep the file open meanwhile. FILE_READ_DATA only makes the handle
// one that AppendLock can lock; a file this user may not read, or that another program holds
// open without sharing reading, is appended to without it. On failure GetLastError tells why.
HANDLE openForAppending(const std::wstring& path) {
    const HANDLE handle = openWithAccess(path, FILE_READ_DATA | FILE_APPEND_DATA);
    if (handle != INVALID_HANDLE_VALUE) {
        return handle;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) {
        return handle;
    }
    return openWithAccess(path, FILE_APPEND_DATA);
}

// Whether a part of the path is longer than any Windows file system allows a name to be.
// Some systems report such a name as a missing folder instead of a bad name.
bool holdsOverlongName(std::wstring_view path) {
    constexpr std::size_t longestName = 255; // UTF-16 units
    std::size_t nameLength = 0;
    for (const wchar_t unit : path) {
        nameLength = unit == L'\\' || unit == L'/' ? 0 : nameLength + 1;
        if (nameLength > longestName) {
            return true;
        }
    }
    return false;
}

// Whether a name part holds a colon, which outside the drive (C:) names an alternate data
// stream of another file on NTFS, never the file that the path seems to name.
bool holdsColonAfterDrive(std::wstring_view path) {
    if (path.starts_with(L"\\\\?\\") || path.starts_with(L"\\\\.\\")) {
        path.remove_prefix(4);
    }
    if (path.size() >= 2 && path[1] == L':' &&
        ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'))) {
        path.remove_prefix(2);
    }
    return path.find(L':') != std::wstring_view::npos;
}

// Whether a \\?\ path's last name part ends in a space or a dot. Windows strips those from
// other paths, so such a name would make a second file beside the one the user means.
bool keepsTrailingDotOrSpace(std::wstring_view path) {
    return path.starts_with(L"\\\\?\\") && (path.ends_with(L'.') || path.ends_with(L' '));
}

// Whether the last name part is one that Windows turns into a device in every folder: CON,
// PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9 (also with the digits ¹ ² ³), CONIN$ and CONOUT$,
// in any case, with trailing spaces and (up to Windows 10) any extension. Such a path is
// never opened: opening a port can already signal the device.
bool namesReservedDevice(std::wstring_view path) {
    std::wstring_view name = path.substr(path.find_last_of(L"\\/") + 1);
    name = name.substr(0, name.find(L'.'));
    while (!name.empty() && name.back() == L' ') {
        name.remove_suffix(1);
    }
    std::wstring upper{name};
    for (wchar_t& unit : upper) {
        if (unit >= L'a' && unit <= L'z') {
            unit = static_cast<wchar_t>(unit - L'a' + L'A');
        }
    }
    if (upper == L"CON" || upper == L"PRN" || upper == L"AUX" || upper == L"NUL" ||
        upper == L"CONIN$" || upper == L"CONOUT$") {
        return true;
    }
    if (upper.size() != 4 || !(upper.starts_with(L"COM") || upper.starts_with(L"LPT"))) {
        return false;
    }
    const wchar_t digit = upper[3];
    return (digit >= L'0' && digit <= L'9') || digit == L'\u00b9' || digit == L'\u00b2' ||
           digit == L'\u00b3';
}

// The failure for a path that reaches a device (a port, the console, the null device, a pipe)
// rather than a file on a disk: a line written there would reach no file.
AppendResult deviceFailure() {
    return AppendResult::failedWithDetail(failure::DeviceIOError,
                                          "The path names a device, not a file");
}

// The failure code of a Windows system error code.
int failureCodeOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND: // with OPEN_ALWAYS only a missing part of the path gives this
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return failure::PathNotFound;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return failure::BadFileName;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return failure::PathFileAccessError;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return failure::PermissionDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE:
    case errorDiskQuotaExceeded:
    case ERROR_NOT_ENOUGH_QUOTA:
        return failure::DiskFull;
    case ERROR_TOO_MANY_OPEN_FILES:
        return failure::TooManyFiles;
    case ERROR_NOT_READY:
        return failure::DiskNotReady;
    default:
        return failure::DeviceIOError;
    }
}

} // namespace

AppendResult failureFromSystemError(unsigned long error) {
    const int code = failureCodeOf(error);
    if (code == failure::DeviceIOError) {
        return AppendResult::failedWithDetail(code, systemMessage(error));
    }
    return AppendResult::failed(code);
}

bool encodeCharacter(std::string_view utf8Character, std::string& bytes) {
    const std::optional<std::wstring> wide = utf16::toWideStrict(utf8Character);
    if (!wide || wide->empty()) {
        return false;
    }
    // An ANSI code page of UTF-8 holds every character as it is (and takes no flags).
    if (::GetACP() == CP_UTF8) {
        bytes += utf8Character;
        return true;
    }
    // WC_NO_BEST_FIT_CHARS: a character the code page lacks is reported, never swapped for a
    // look-alike.
    char converted[8];
    BOOL usedDefault = FALSE;
    const int length = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide->data(),
                                             static_cast<int>(wide->size()), converted,
                                             sizeof converted, nullptr, &usedDefault);
    if (length == 0 || usedDefault) {
        return false;
    }
    bytes.append(converted, static_cast<std::size_t>(length));
    return true;
}

AppendResult appendBytes(std::string_view path, std::string_view bytes) {
    const std::optional<std::wstring> widePath = utf16::toWideStrict(path);
    if (!widePath) {
        return failureFromSystemError(ERROR_INVALID_NAME);
    }
    if (holdsOverlongName(*widePath)) {
        return failureFromSystemError(ERROR_FILENAME_EXCED_RANGE);
    }
    if (holdsColonAfterDrive(*widePath) || keepsTrailingDotOrSpace(*widePath)) {
        return failureFromSystemError(ERROR_INVALID_NAME);
    }
    if (namesReservedDevice(*widePath)) {
        return deviceFailure();
    }
    FileHandle file{openForAppending(*widePath)};
    if (!file.isOpen()) {
        return failureFromSystemError(::GetLastError());
    }
    // Devices reached by other names, such as \\.\ paths.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
        return deviceFailure();
    }
    // One write of line and line end, so a reader never sees half a line.
    const auto size = static_cast<DWORD>(bytes.size());
    {
        const AppendLock lock{file.get()};
        if (lock.lockedByOthers()) {
            return failureFromSystemError(ERROR_LOCK_VIOLATION);
        }
        // Where the file ends once no other copy can append.
        LARGE_INTEGER end{};
        const bool endKnown = lock.held() && ::GetFileSizeEx(file.get(), &end);
        DWORD written = 0;
        const bool wrote = ::WriteFile(file.get(), bytes.data(), size, &written, nullptr);
        const DWORD error = wrote ? ERROR_HANDLE_DISK_FULL : ::GetLastError();
        if (!wrote || written != size) {
            if (endKnown && written > 0) {
                cutBack(file.get(), end, written);
            }
            return failureFromSystemError(error);
        }
    }
    if (!closeNow(file)) {
        return failureFromSystemError(::GetLastError());
    }
    return AppendResult::success();
}

} // namespace kestrane::signal::backend
