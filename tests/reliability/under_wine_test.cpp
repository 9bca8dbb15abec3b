// The Windows library under Wine, driven from Linux, where a test can set up what a Windows
// program cannot: writers through the POSIX library appending to the same file at once, and
// a full disk. The Windows side is numbered_line_appender.exe, started through WINE-RUN.
//
//   under_wine_tests APPENDER.exe WINE-RUN PREFIX [GoogleTest flags]
#include "child_process.h"
#include "signal/signal_file.h"
#include "support/numbered_lines.h"
#include "support/patient_retry_clock.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <iostream>
#include <optional>
#include <string>
#include <sys/mount.h>
#include <vector>

namespace kestrane::signal {
namespace {

using testing::ChildProcess;
using testing::Pipe;

constexpr int posixWriters = 2;
constexpr int windowsWriters = 2;
constexpr int linesPerWriter = 2000;

const char* appender = nullptr;
const char* wineRun = nullptr;
const char* winePrefix = nullptr;

// The path as Windows programs under Wine name it: the Unix root is drive Z.
std::string onDriveZ(const std::filesystem::path& path) {
    std::string name = "Z:" + path.string();
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
}

// The next line the Windows side printed; none at end of file.
std::optional<std::string> readLine(int fd) {
    std::string line;
    char byte = 0;
    while (::read(fd, &byte, 1) == 1) {
        if (byte == '\n') {
            return line;
        }
        line += byte;
    }
    return std::nullopt;
}

// Copies of the program on both platforms appending to one file at once: every line arrives
// whole, none is lost, and each writer's lines keep their order. Wine appends in two steps,
// the file's size and then a write there, so only the lock that both libraries take on the
// same byte keeps the Linux writers' lines out from between those steps.
TEST(MixedPlatformAppend, LinuxAndWindowsWritersLoseMergeAndReorderNothing) {
    testing::TempDir dir;
    const std::filesystem::path file = dir / "Entries.txt";
    const std::string path = testing::utf8(file);

    Pipe start;
    ASSERT_TRUE(start.isOpen());
    std::vector<ChildProcess> writers;
    for (int writer = 0; writer < posixWriters; ++writer) {
        writers.emplace_back([&, writer] {
            start.closeWrite();
            start.receiveByte();
            testing::PatientRetryClock clock;
            for (int sequence = 0; sequence < linesPerWriter; ++sequence) {
                if (!appendSignalLine(path, testing::numberedLine(writer, sequence), clock)
                         .succeeded()) {
                    return 1;
                }
            }
            return 0;
        });
    }
    // The Windows writers say "ready" on standard output once they all wait, and go at a byte
    // on standard input.
    Pipe toWindows;
    Pipe fromWindows;
    ChildProcess windows{[&] {
        ::dup2(toWindows.readEnd(), 0);
        ::dup2(fromWindows.writeEnd(), 1);
        const std::string first = std::to_string(posixWriters);
        const std::string count = std::to_string(windowsWriters);
        const std::string lines = std::to_string(linesPerWriter);
        const std::string windowsPath = onDriveZ(file);
        ::execl(wineRun, wineRun, winePrefix, appender, "--writers", first.c_str(), count.c_str(),
                lines.c_str(), windowsPath.c_str(), nullptr);
        return 127;
    }};
    fromWindows.closeWrite();
    for (auto line = readLine(fromWindows.readEnd()); line != "ready";
         line = readLine(fromWindows.readEnd())) {
        ASSERT_TRUE(line) << "the Windows writers ended before they were ready";
    }
    start.closeWrite();
    ASSERT_TRUE(toWindows.sendByte());

    for (int writer = 0; writer < posixWriters; ++writer) {
        const testing::ChildEnding ending = writers[writer].wait();
        EXPECT_TRUE(ending.exited && ending.exitCode == 0) << "writer " << writer;
    }
    const testing::ChildEnding ending = windows.wait();
    EXPECT_TRUE(ending.exited && ending.exitCode == 0) << "the Windows writers";

    const testing::NumberedReading reading = testing::readNumberedLines(testing::readBytes(file));
    ASSERT_EQ(reading.fault, "");
    constexpr int writerCount = posixWriters + windowsWriters;
    EXPECT_EQ(reading.lines.size(), std::size_t{writerCount * linesPerWriter});
    EXPECT_EQ(testing::checkEveryWriterInOrder(reading.lines, writerCount, linesPerWriter), "");
}

// The exit code of one append by the Windows library, which is its failure code.
int appendOnceUnderWine(const std::filesystem::path& file) {
    return testing::exitCodeOfChild([&] {
        const std::string windowsPath = onDriveZ(file);
        ::execl(wineRun, wineRun, winePrefix, appender, "--once", windowsPath.c_str(), nullptr);
        return 127;
    });
}

// Wine writes what fits of a line on a full disk and reports success with fewer bytes
// written: the send fails and leaves the file as it was, and the next, once there is room,
// is one whole line of its own.
TEST(WindowsFullDisk, LineThatDoesNotFitLeavesNothingBehind) {
    testing::TempDir dir;
    const std::filesystem::path mountPoint = dir / "small";
    std::filesystem::create_directory(mountPoint);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=8k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    }
    const std::filesystem::path file = mountPoint / "Entries.txt";
    const std::string before = std::string(4076, 'x') + "\r\n";
    testing::writeBytes(file, before);
    testing::writeBytes(mountPoint / "filler", std::string(4096, '\0'));

    const int full = appendOnceUnderWine(file);
    const std::string after = testing::readBytes(file);
    std::filesystem::remove(mountPoint / "filler");
    const int withRoom = appendOnceUnderWine(file);
    const std::string last = testing::readBytes(file);
    ::umount2(mountPoint.c_str(), MNT_DETACH);

    EXPECT_EQ(full, failure::DiskFull);
    EXPECT_TRUE(after == before) << "the file now ends in " << after.substr(before.size() - 2);
    EXPECT_EQ(withRoom, 0);
    EXPECT_TRUE(last == before + testing::numberedLine(0, 0) + "\r\n")
        << "the file now ends in " << last.substr(before.size() - 2);
}

} // namespace
} // namespace kestrane::signal

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc != 4) {
        std::cerr << "usage: under_wine_tests APPENDER.exe WINE-RUN PREFIX\n";
        return 2;
    }
    kestrane::signal::appender = argv[1];
    kestrane::signal::wineRun = argv[2];
    kestrane::signal::winePrefix = argv[3];
    return RUN_ALL_TESTS();
}
