// Several Windows processes appending to one file at once: every line arrives whole and
// ended by CR LF, none is lost, doubled or merged with another, and each process's lines keep
// their order. The writers are numbered_line_appender.exe, built beside this program. Wine
// writes to an append-only handle by asking for the file's size and writing at that offset,
// so there the writers keep whole lines only through the backend's lock.
#include "signal/signal_file.h"
#include "support/numbered_lines.h"
#include "support/temp_dir.h"
#include "support/windows_handle.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>
#include <windows.h>

namespace kestrane::signal {
namespace {

using testing::Handle;

// Few enough that the run stays short where Wine runs under an emulator, enough that the
// writers' appends overlap many times.
constexpr int processCount = 4;
constexpr int linesPerProcess = 300;

// Only against a writer that hangs: far beyond any real run, and reaching it fails the test.
constexpr DWORD safetyTimeoutMilliseconds = 5 * 60 * 1000;

std::filesystem::path appenderBesideThisProgram() {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length < name.size()) {
            name.resize(length);
            break;
        }
        name.resize(name.size() * 2);
    }
    return std::filesystem::path{name}.parent_path() / L"numbered_line_appender.exe";
}

// A path as one argument of a command line; file paths cannot hold quotes, and these do not
// end in a backslash, which would escape the closing quote.
std::wstring quoted(const std::filesystem::path& path) {
    return L"\"" + path.wstring() + L"\"";
}

// A writer process; still running when the object goes away, it is ended, so that a failed
// test leaves nothing behind that holds the file.
class WriterProcess {
public:
    WriterProcess(Handle ready, Handle process)
        : ready_{std::move(ready)}, process_{std::move(process)} {}
    ~WriterProcess() {
        if (process_.isOpen() && ::WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(process_.get(), 255);
            ::WaitForSingleObject(process_.get(), INFINITE);
        }
    }
    WriterProcess(WriterProcess&&) = default;

    HANDLE ready() const { return ready_.get(); }
    HANDLE process() const { return process_.get(); }

private:
    Handle ready_;
    Handle process_;
};

TEST(WindowsConcurrentAppend, FourProcessesLoseMergeAndReorderNothing) {
    testing::TempDir dir;
    const std::filesystem::path file = dir / "Entries.txt";
    const std::filesystem::path appender = appenderBesideThisProgram();
    ASSERT_TRUE(std::filesystem::exists(appender)) << appender;

    // Named after this process, so that runs side by side do not share events.
    const std::wstring prefix = L"kestrane-concurrency-" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring startName = prefix + L"-start";
    // Manual reset: once set, it releases every writer waiting on it at the same moment.
    const Handle start{::CreateEventW(nullptr, TRUE, FALSE, startName.c_str())};
    ASSERT_TRUE(start.isOpen()) << ::GetLastError();

    std::vector<WriterProcess> writers;
    for (int writer = 0; writer < processCount; ++writer) {
        const std::wstring readyName = prefix + L"-ready-" + std::to_wstring(writer);
        Handle ready{::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str())};
        ASSERT_TRUE(ready.isOpen()) << ::GetLastError();
        std::wstring commandLine = quoted(appender) + L" " + std::to_wstring(writer) + L" " +
                                   std::to_wstring(linesPerProcess) + L" " + startName + L" " +
                                   readyName + L" " + quoted(file);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        ASSERT_TRUE(::CreateProcessW(appender.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                     0, nullptr, nullptr, &startup, &started))
            << ::GetLastError();
        const Handle thread{started.hThread};
        writers.emplace_back(std::move(ready), Handle{started.hProcess});
    }
    // Starting a process takes long next to one append: release the writers only once every
    // one of them waits, so that their appends overlap from the first line on.
    for (int writer = 0; writer < processCount; ++writer) {
        const HANDLE readyOrEnded[] = {writers[writer].ready(), writers[writer].process()};
        ASSERT_EQ(::WaitForMultipleObjects(2, readyOrEnded, FALSE, safetyTimeoutMilliseconds),
                  WAIT_OBJECT_0)
            << "writer " << writer << " ended or hung before it was ready";
    }
    ASSERT_TRUE(::SetEvent(start.get()));

    std::vector<HANDLE> processes;
    for (const WriterProcess& writer : writers) {
        processes.push_back(writer.process());
    }
    const DWORD ended = ::WaitForMultipleObjects(static_cast<DWORD>(processes.size()),
                                                 processes.data(), TRUE, safetyTimeoutMilliseconds);
    ASSERT_LT(ended, WAIT_OBJECT_0 + processes.size()) << "the writers did not all end";
    for (int writer = 0; writer < processCount; ++writer) {
        DWORD exitCode = 0;
        ASSERT_TRUE(::GetExitCodeProcess(writers[writer].process(), &exitCode));
        EXPECT_EQ(exitCode, 0u) << "writer " << writer;
    }

    const testing::NumberedReading reading = testing::readNumberedLines(testing::readBytes(file));
    ASSERT_EQ(reading.fault, "");
    ASSERT_EQ(reading.lines.size(), std::size_t{processCount * linesPerProcess});
    EXPECT_EQ(testing::checkEveryWriterInOrder(reading.lines, processCount, linesPerProcess), "");
}

} // namespace
} // namespace kestrane::signal
