// Several Windows processes appending to one file at once: every line arrives whole and
// ended by CR LF, none is lost, doubled or merged with another, and each process's lines keep
// their order. The writers are numbered_line_appender.exe, built beside this program. Wine
// writes to an append-only handle by asking for the file's size and writing at that offset,
// so there the writers keep whole lines only through the backend's lock.
#include "signal/signal_file.h"
#include "support/numbered_lines.h"
#include "support/temp_dir.h"
#include "support/windows_writers.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace kestrane::signal {
namespace {

// Few enough that the run stays short where Wine runs under an emulator, enough that the
// writers' appends overlap many times.
constexpr int processCount = 4;
constexpr int linesPerProcess = 300;

TEST(WindowsConcurrentAppend, FourProcessesLoseMergeAndReorderNothing) {
    testing::TempDir dir;
    const std::filesystem::path file = dir / "Entries.txt";
    ASSERT_TRUE(std::filesystem::exists(testing::appenderBesideThisProgram()));

    testing::WindowsWriters writers{0, processCount, linesPerProcess, file};
    ASSERT_EQ(writers.waitUntilReady(), "");
    writers.release();
    ASSERT_EQ(writers.waitForEnd(), "");

    const testing::NumberedReading reading = testing::readNumberedLines(testing::readBytes(file));
    ASSERT_EQ(reading.fault, "");
    ASSERT_EQ(reading.lines.size(), std::size_t{processCount * linesPerProcess});
    EXPECT_EQ(testing::checkEveryWriterInOrder(reading.lines, processCount, linesPerProcess), "");
}

} // namespace
} // namespace kestrane::signal
