// An appender killed with SIGKILL at random moments: the file holds only whole lines, and no
// earlier line is ever touched. The one exception is the kernel's: a write that a fatal signal
// interrupts ends at a page of the file, so the line it was writing may stop there, cut short.
#include "child_process.h"
#include "signal/signal_file.h"
#include "support/numbered_lines.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <random>
#include <unistd.h>

namespace kestrane::signal {
namespace {

using testing::ChildProcess;
using testing::Pipe;

constexpr int killRounds = 6;
// After reporting ready the child keeps appending up to this many more lines, far more than
// can pass before the kill arrives; the bound only keeps a child that outlives its parent
// from filling the disk.
constexpr int linesAfterReady = 1'000'000;

TEST(KilledAppender, LeavesOnlyWholeLinesAndEarlierLinesUnchanged) {
    testing::TempDir dir;
    const auto file = dir / "Entries.txt";
    const std::string path = testing::utf8(file);
    // Lines written by someone else before this program ran.
    testing::writeBytes(file, "earlier,signal\r\nsecond,signal\r\n");
    std::string before = testing::readBytes(file);

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random{seed};
    std::uniform_int_distribution<int> readyAfter{1, 3000};

    for (int round = 0; round < killRounds; ++round) {
        // Each round writes as its own writer, so its lines are told apart from the others'.
        const int writer = round + 1;
        const int linesBeforeReady = readyAfter(random);
        Pipe ready;
        ASSERT_TRUE(ready.isOpen());
        ChildProcess appender{[&] {
            ready.closeRead();
            for (int sequence = 0; sequence < linesBeforeReady + linesAfterReady; ++sequence) {
                if (!appendSignalLine(path, testing::numberedLine(writer, sequence)).succeeded()) {
                    return 1;
                }
                if (sequence + 1 == linesBeforeReady) {
                    ready.sendByte();
                }
            }
            return 0;
        }};
        ASSERT_TRUE(appender.started());
        ready.closeWrite();
        // The child is still appending when the byte arrives; the kill lands wherever the
        // child happens to be by then, most likely inside one of its system calls.
        ASSERT_TRUE(ready.receiveByte()) << "round " << round << ": appender ended early";
        appender.kill(SIGKILL);
        const testing::ChildEnding ending = appender.wait();
        ASSERT_EQ(ending.signal, SIGKILL) << "round " << round;

        const std::string after = testing::readBytes(file);
        ASSERT_EQ(after.substr(0, before.size()), before) << "round " << round;
        // Whole lines, then at most the start of the writer's next line, and only where the
        // file ends at a page boundary: that is where Linux stops a write once SIGKILL is
        // pending, and nothing in user space can finish it.
        const std::string_view added = std::string_view{after}.substr(before.size());
        const std::size_t lastEnd = added.rfind("\r\n");
        const std::size_t wholeSize = lastEnd == std::string_view::npos ? 0 : lastEnd + 2;
        const testing::NumberedReading reading =
            testing::readNumberedLines(added.substr(0, wholeSize));
        ASSERT_EQ(reading.fault, "") << "round " << round;
        ASSERT_GE(reading.lines.size(), std::size_t(linesBeforeReady)) << "round " << round;
        for (std::size_t i = 0; i < reading.lines.size(); ++i) {
            ASSERT_EQ(reading.lines[i], (testing::NumberedLine{writer, static_cast<int>(i)}))
                << "round " << round;
        }
        const std::string_view cut = added.substr(wholeSize);
        if (!cut.empty()) {
            const auto pageSize = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
            EXPECT_EQ(after.size() % pageSize, 0u)
                << "round " << round << ": a line cut away from a page boundary: " << cut;
            const std::string next =
                testing::numberedLine(writer, static_cast<int>(reading.lines.size())) + "\r\n";
            ASSERT_TRUE(next.starts_with(cut))
                << "round " << round << ": bytes after the last line end that do not begin the "
                << "writer's next line: " << cut.substr(0, 80);
        }
        before = after;
    }
}

} // namespace
} // namespace kestrane::signal
