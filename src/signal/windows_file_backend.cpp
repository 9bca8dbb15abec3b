// Windows backend: the system's ANSI code page through WideCharToMultiByte; the primitives of
// the shared policy with CreateFileW, LockFileEx, WriteFile and CloseHandle. Paths arrive as
// UTF-8.
#include "file_backend.h"
#include "system/unique_handle.h"
#include "utf16/utf16.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <windows.h>

namespace kestrane::signal::backend {
namespace {

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

// Without FILE_WRITE_DATA every write goes to the end of the file, whoever else writes; readers
// and other writers may keep the file open meanwhile. FILE_READ_DATA only makes the handle
// one that AppendLock can lock; a file this user may not read, or that another program holds
// open without sharing reading, is appended to without it. On failure GetLastError tells why.
HANDLE openWidePath(const std::wstring& path) {
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (const DWORD access : {DWORD{FILE_READ_DATA | FILE_APPEND_DATA}, DWORD{FILE_APPEND_DATA}}) {
        handle = ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = ::GetLastError();
        if (handle != INVALID_HANDLE_VALUE ||
            (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
            break;
        }
    }
    return handle;
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

// One file open for appending, as the shared policy sees it. A handle opened without
// FILE_READ_DATA cannot be locked; NTFS still adds each of its writes whole at the end.
class WindowsFile final : public policy::OpenFile {
public:
    explicit WindowsFile(FileHandle file) : file_{std::move(file)} {}

    policy::LockOutcome tryLock(policy::SystemError&) override {
        if (::LockFileEx(file_.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                         region())) {
            return policy::LockOutcome::Held;
        }
        return ::GetLastError() == ERROR_LOCK_VIOLATION ? policy::LockOutcome::Busy
                                                        : policy::LockOutcome::Unsupported;
    }

    void unlock() override { ::UnlockFileEx(file_.get(), 0, 1, 0, region()); }

    // NTFS finds the room for a whole write before it copies any of it: nothing to reserve.
    std::optional<policy::Extent> extent() override {
        LARGE_INTEGER size{};
        if (!::GetFileSizeEx(file_.get(), &size)) {
            return std::nullopt;
        }
        return policy::Extent{true, static_cast<std::uint64_t>(size.QuadPart), UINT64_MAX};
    }

    policy::SystemError reserve(const policy::Extent&, std::size_t) override { return 0; }

    // Wine and network shares write what fits and report the bytes written.
    policy::SystemError write(std::string_view bytes, std::size_t& written) override {
        DWORD count = 0;
        if (!::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &count,
                         nullptr)) {
            return ::GetLastError();
        }
        if (count == 0) {
            return ERROR_HANDLE_DISK_FULL;
        }
        written = count;
        return 0;
    }

    // The append-only handle may not change the file's size, so a second handle does.
    bool truncate(std::uint64_t end) override {
        const FileHandle writable{
            ::ReOpenFile(file_.get(), FILE_WRITE_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, 0)};
        FILE_END_OF_FILE_INFO newEnd{};
        newEnd.EndOfFile.QuadPart = static_cast<LONGLONG>(end);
        return writable.isOpen() && ::SetFileInformationByHandle(writable.get(), FileEndOfFileInfo,
                                                                 &newEnd, sizeof newEnd);
    }

    policy::SystemError close() override {
        return ::CloseHandle(file_.release()) ? 0 : ::GetLastError();
    }

    AppendResult failure(policy::SystemError error) override {
        return failureFromSystemError(error);
    }

private:
    OVERLAPPED* region() {
        region_ = OVERLAPPED{};
        region_.Offset = static_cast<DWORD>(policy::appendLockByte);
        region_.OffsetHigh = static_cast<DWORD>(policy::appendLockByte >> 32);
        return &region_;
    }

    FileHandle file_;
    OVERLAPPED region_{};
};

} // namespace

AppendResult failureFromSystemError(unsigned long error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND: // with OPEN_ALWAYS only a missing part of the path gives this
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return AppendResult::failed(failure::PathNotFound);
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
        return AppendResult::failed(failure::BadFileName);
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return AppendResult::failed(failure::PathFileAccessError);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return AppendResult::failed(failure::PermissionDenied);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE:
    case errorDiskQuotaExceeded:
    case ERROR_NOT_ENOUGH_QUOTA:
        return AppendResult::failed(failure::DiskFull);
    case ERROR_TOO_MANY_OPEN_FILES:
        return AppendResult::failed(failure::TooManyFiles);
    case ERROR_NOT_READY:
        return AppendResult::failed(failure::DiskNotReady);
    default:
        return AppendResult::failedWithDetail(failure::DeviceIOError, systemMessage(error));
    }
}

bool encodeCharacter(char32_t character, std::string& bytes) {
    wchar_t units[2];
    std::size_t count = 1;
    if (character < 0x10000) {
        units[0] = static_cast<wchar_t>(character);
    } else {
        units[0] = static_cast<wchar_t>(0xD800 + ((character - 0x10000) >> 10));
        units[1] = static_cast<wchar_t>(0xDC00 + ((character - 0x10000) & 0x3FF));
        count = 2;
    }
    // The ANSI code page is set for the whole system and changes only with a restart.
    static const UINT codePage = ::GetACP();
    // An ANSI code page of UTF-8 holds every character as it is (and takes no flags).
    if (codePage == CP_UTF8) {
        bytes += utf16::toUtf8({units, count});
        return true;
    }
    // WC_NO_BEST_FIT_CHARS: a character the code page lacks is reported, never swapped for a
    // look-alike.
    char converted[8];
    BOOL usedDefault = FALSE;
    const int length =
        ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, units, static_cast<int>(count),
                              converted, sizeof converted, nullptr, &usedDefault);
    if (length == 0 || usedDefault) {
        return false;
    }
    bytes.append(converted, static_cast<std::size_t>(length));
    return true;
}

std::variant<std::unique_ptr<policy::OpenFile>, AppendResult>
openForAppending(std::string_view path, RetryClock&) {
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
    FileHandle file{openWidePath(*widePath)};
    if (!file.isOpen()) {
        return failureFromSystemError(::GetLastError());
    }
    // Devices reached by other names, such as \\.\ paths.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK) {
        return deviceFailure();
    }
    return std::make_unique<WindowsFile>(std::move(file));
}

} // namespace kestrane::signal::backend
