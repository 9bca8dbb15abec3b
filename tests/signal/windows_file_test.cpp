// What only the Windows backend does: the system's error codes, sharing, Unicode paths and
// the ANSI code page.
#include "signal/file_backend.h"
#include "signal/signal_file.h"
#include "support/append_result_printer.h"
#include "support/temp_dir.h"
#include "support/windows_handle.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace kestrane::signal {
namespace {

using backend::errorDiskQuotaExceeded;
using testing::Handle;
using testing::readBytes;
using testing::TempDir;
using testing::utf8;
using testing::writeBytes;

Handle openExisting(const std::filesystem::path& file, DWORD access, DWORD share) {
    return testing::ownFileHandle(::CreateFileW(file.c_str(), access, share, nullptr, OPEN_EXISTING,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::string unusedDrive() {
    const DWORD used = ::GetLogicalDrives();
    for (char letter = 'Q'; letter <= 'Y'; ++letter) {
        if (!(used & (1u << (letter - 'A')))) {
            return std::string{letter} + ":\\Signals\\Entries.txt";
        }
    }
    return "Q:\\Signals\\Entries.txt";
}

TEST(WindowsSignalFile, FailuresOfTheFileSystemGetTheSharedCodes) {
    TempDir dir;
    writeBytes(dir / "held.txt", "kept\r\n");
    const Handle holder = openExisting(dir / "held.txt", GENERIC_READ, 0);
    ASSERT_TRUE(holder.isOpen());
    // Another program's lock over the whole file, which a send must neither wait for nor break.
    writeBytes(dir / "locked.txt", "kept\r\n");
    const Handle locker =
        openExisting(dir / "locked.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    OVERLAPPED whole{};
    ASSERT_TRUE(::LockFileEx(locker.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole));
    const AppendResult device =
        AppendResult::failed(57, "Device I/O error: The path names a device, not a file");

    struct Row {
        const char* name;
        std::string path;
        AppendResult expected;
    };
    const Row rows[] = {
        {"missing folder", utf8(dir / "missing" / "Entries.txt"),
         AppendResult::failed(76, "Path not found")},
        {"drive that does not exist", unusedDrive(), AppendResult::failed(76, "Path not found")},
        {"folder", utf8(dir.path()), AppendResult::failed(75, "Path/File access error")},
        {"file held open without sharing", utf8(dir / "held.txt"),
         AppendResult::failed(70, "Permission denied")},
        {"file another program holds locked", utf8(dir / "locked.txt"),
         AppendResult::failed(70, "Permission denied")},
        {"name longer than any file system allows", utf8(dir / std::string(256, 'n')),
         AppendResult::failed(52, "Bad file name or number")},
        {"character no file name may hold", utf8(dir / "a<b.txt"),
         AppendResult::failed(52, "Bad file name or number")},
        {"NUL inside the path", utf8(dir / "a") + std::string{"\0b.txt", 6},
         AppendResult::failed(52, "Bad file name or number")},
        {"colon after the drive, a stream of another file", utf8(dir.path()) + "\\a:b.txt",
         AppendResult::failed(52, "Bad file name or number")},
        {"null device", "NUL", device},
        {"serial port", "COM1", device},
        {"printer port", "LPT1", device},
        {"null device in a folder", utf8(dir / "nul"), device},
        {"device name with an extension", utf8(dir / "aux.txt"), device},
        {"device name in capitals with spaces before the extension", utf8(dir / "CON  .log"),
         device},
        {"serial port with a superscript digit", "COM\u00b9", device},
        {"null device by its system name", "\\\\.\\GLOBALROOT\\Device\\Null", device},
        // Windows strips a trailing dot or space, unless the \\?\ prefix tells it not to.
        {"\\\\?\\ path whose name ends in a dot", "\\\\?\\" + utf8(dir / "Entries.txt."),
         AppendResult::failed(52, "Bad file name or number")},
        {"\\\\?\\ path whose name ends in a space", "\\\\?\\" + utf8(dir / "Entries.txt "),
         AppendResult::failed(52, "Bad file name or number")},
    };
    for (const Row& row : rows) {
        const AppendResult result = appendSignalLine(row.path, "line");
        EXPECT_EQ(result, row.expected)
            << row.name << ": " << result.code() << " " << result.description();
    }
    EXPECT_EQ(dir.entries().size(), 2u);
    EXPECT_EQ(std::filesystem::file_size(dir / "locked.txt"), 6u);
    // Only its \\?\ path removes such a name, should one have been made.
    for (const wchar_t* name : {L"Entries.txt.", L"Entries.txt "}) {
        ::DeleteFileW((L"\\\\?\\" + (dir.path() / name).wstring()).c_str());
    }
}

TEST(WindowsSignalFile, OtherUsersThatShareWritingDoNotBlockTheSend) {
    struct Row {
        const char* name;
        DWORD access;
        DWORD share;
    };
    // The second holder lets nobody else read: the send then appends without its lock. The
    // file is read back once the holder has closed it.
    const Row rows[] = {
        {"watcher reading", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE},
        {"writer sharing only writing", FILE_APPEND_DATA, FILE_SHARE_WRITE},
    };
    for (const Row& row : rows) {
        TempDir dir;
        writeBytes(dir / "Entries.txt", "first\r\n");
        {
            const Handle holder = openExisting(dir / "Entries.txt", row.access, row.share);
            ASSERT_TRUE(holder.isOpen()) << row.name;
            EXPECT_TRUE(appendSignalLine(utf8(dir / "Entries.txt"), "second").succeeded())
                << row.name;
        }
        EXPECT_EQ(readBytes(dir / "Entries.txt"), "first\r\nsecond\r\n") << row.name;
    }
}

TEST(WindowsSignalFile, UnicodePathsAreUsedAsTyped) {
    TempDir dir;
    const std::filesystem::path folder = dir.path() / std::filesystem::path{L"Сигналы"};
    std::filesystem::create_directory(folder);
    const std::filesystem::path file = folder / std::filesystem::path{L"日本 ✓.txt"};

    ASSERT_TRUE(appendSignalLine(utf8(file), "cxlplace,BUY,1,MKT,0,0,2007011816520").succeeded());
    ASSERT_TRUE(appendSignalLine("\\\\?\\" + utf8(file), "cxlplace,SELL,1").succeeded());
    EXPECT_EQ(readBytes(file), "cxlplace,BUY,1,MKT,0,0,2007011816520\r\ncxlplace,SELL,1\r\n");
}

TEST(WindowsSignalFile, CharactersTheCodePageLacksAreRefusedNotApproximated) {
    if (::GetACP() != 1252) {
        GTEST_SKIP() << "the rows are for the Western code page 1252";
    }
    TempDir dir;
    struct Row {
        const char* name;
        const char* text;
        const char* named;
    };
    // Without WC_NO_BEST_FIT_CHARS these would be written as look-alikes: A, - and "?".
    const Row rows[] = {
        {"A with macron", "\xc4\x80", "U+0100 \"\xc4\x80\""},
        {"minus sign", "\xe2\x88\x92", "U+2212 \"\xe2\x88\x92\""},
        {"hiragana", "\xe3\x81\x82", "U+3042 \"\xe3\x81\x82\""},
    };
    for (const Row& row : rows) {
        const AppendResult result =
            appendSignalLine(utf8(dir / "Entries.txt"), std::string{"cxlplace,"} + row.text);
        EXPECT_EQ(result, AppendResult::failed(failure::InvalidText,
                                               std::string{"The signal file's code page cannot "
                                                           "hold the character "} +
                                                   row.named))
            << row.name;
    }
    EXPECT_TRUE(dir.entries().empty());
}

TEST(WindowsSignalFile, SystemErrorsMapOntoTheSharedCodes) {
    struct Row {
        DWORD error;
        int code;
    };
    const Row rows[] = {
        {ERROR_PATH_NOT_FOUND, 76},       {ERROR_INVALID_DRIVE, 76},  {ERROR_BAD_NETPATH, 76},
        {ERROR_BAD_NET_NAME, 76},         {ERROR_INVALID_NAME, 52},   {ERROR_BAD_PATHNAME, 52},
        {ERROR_FILENAME_EXCED_RANGE, 52}, {ERROR_ACCESS_DENIED, 75},  {ERROR_SHARING_VIOLATION, 70},
        {ERROR_LOCK_VIOLATION, 70},       {ERROR_DISK_FULL, 61},      {ERROR_HANDLE_DISK_FULL, 61},
        {ERROR_TOO_MANY_OPEN_FILES, 67},  {ERROR_NOT_READY, 71},      {ERROR_NOT_SUPPORTED, 57},
        {ERROR_WRITE_PROTECT, 75},        {ERROR_FILE_TOO_LARGE, 61}, {ERROR_NOT_ENOUGH_QUOTA, 61},
        {errorDiskQuotaExceeded, 61},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(backend::failureFromSystemError(row.error).code(), row.code) << row.error;
    }
    EXPECT_EQ(backend::failureFromSystemError(ERROR_NOT_READY).description(), "Disk not ready");
    // Anything else carries the system's own text, without its line end.
    const std::string other = backend::failureFromSystemError(ERROR_NOT_SUPPORTED).description();
    EXPECT_TRUE(other.starts_with("Device I/O error: ")) << other;
    EXPECT_GT(other.size(), std::string_view{"Device I/O error: "}.size()) << other;
    EXPECT_EQ(other.find_first_of("\r\n"), std::string::npos) << other;
}

} // namespace
} // namespace kestrane::signal
