// Many processes appending to one file at once: every line arrives whole, none is lost or
// doubled, and each process's lines keep their order.
#include "child_process.h"
#include "signal/signal_file.h"
#include "support/numbered_lines.h"
#include "support/patient_retry_clock.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <vector>

namespace kestrane::signal {
namespace {

using testing::ChildProcess;
using testing::Pipe;

constexpr int processCount = 8;
constexpr int linesPerProcess = 5000;

// Appends this writer's lines in order once the start pipe reaches end of file; the exit code
// is 0, or 1 at the first refused append.
int appendNumberedLines(const std::string& path, int writer, const Pipe& start) {
    start.receiveByte();
    testing::PatientRetryClock clock;
    for (int sequence = 0; sequence < linesPerProcess; ++sequence) {
        if (!appendSignalLine(path, testing::numberedLine(writer, sequence), clock).succeeded()) {
            return 1;
        }
    }
    return 0;
}

TEST(ConcurrentAppend, EightProcessesLoseMergeAndReorderNothing) {
    testing::TempDir dir;
    const std::string path = testing::utf8(dir / "Entries.txt");

    // All children wait on one pipe; closing its writing end lets them go at the same moment.
    Pipe start;
    ASSERT_TRUE(start.isOpen());
    std::vector<ChildProcess> writers;
    for (int writer = 0; writer < processCount; ++writer) {
        writers.emplace_back([&, writer] {
            start.closeWrite();
            return appendNumberedLines(path, writer, start);
        });
        ASSERT_TRUE(writers.back().started());
    }
    start.closeWrite();
    for (int writer = 0; writer < processCount; ++writer) {
        const testing::ChildEnding ending = writers[writer].wait();
        EXPECT_TRUE(ending.exited && ending.exitCode == 0)
            << "writer " << writer << " exit " << ending.exitCode << " signal " << ending.signal;
    }

    const testing::NumberedReading reading =
        testing::readNumberedLines(testing::readBytes(dir / "Entries.txt"));
    ASSERT_EQ(reading.fault, "");
    ASSERT_EQ(reading.lines.size(), std::size_t{processCount * linesPerProcess});
    EXPECT_EQ(testing::checkEveryWriterInOrder(reading.lines, processCount, linesPerProcess), "");
}

} // namespace
} // namespace kestrane::signal
