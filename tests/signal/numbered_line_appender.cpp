// One of the writer processes that the Windows concurrency tests start at once:
//
//   numbered_line_appender WRITER LINES START-EVENT READY-EVENT PATH
//
// Sets the named event READY-EVENT, waits for the named event START-EVENT, then appends
// WRITER's numbered lines 0 to LINES - 1 to PATH in order through the signal library.
// Exit code 0; 1 at the first refused append; 2 for wrong arguments; 3 when an event cannot
// be used or the start never comes.
//
//   numbered_line_appender --writers FIRST COUNT LINES PATH
//
// Runs writers FIRST to FIRST + COUNT - 1 as processes of their own for a program outside
// Wine: prints "ready" once they all wait, releases them at a byte on standard input, and
// ends with 0 once they all have, or 1 after the first fault.
//
//   numbered_line_appender --once PATH
//
// Appends writer 0's line 0 to PATH; the exit code is the append's failure code, 0 for none.
#include "signal/signal_file.h"
#include "support/numbered_lines.h"
#include "support/patient_retry_clock.h"
#include "support/temp_dir.h"
#include "support/windows_handle.h"
#include "support/windows_writers.h"

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <string_view>

namespace {

// Only against a parent that died before the start; far beyond any real wait.
constexpr DWORD startTimeoutMilliseconds = 10 * 60 * 1000;

bool parseCount(const wchar_t* text, int& value) {
    wchar_t* end = nullptr;
    const long parsed = std::wcstol(text, &end, 10);
    if (end == text || *end != L'\0' || parsed < 0 || parsed > 1'000'000) {
        return false;
    }
    value = static_cast<int>(parsed);
    return true;
}

int runWriters(wchar_t** argv) {
    int first = 0;
    int count = 0;
    int lines = 0;
    if (!parseCount(argv[2], first) || !parseCount(argv[3], count) || !parseCount(argv[4], lines)) {
        return 2;
    }
    kestrane::testing::WindowsWriters writers{first, count, lines, argv[5]};
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD transferred = 0;
    char go = 0;
    std::string fault = writers.waitUntilReady();
    if (fault.empty() && (!::WriteFile(output, "ready\n", 6, &transferred, nullptr) ||
                          !::ReadFile(input, &go, 1, &transferred, nullptr) || transferred != 1)) {
        fault = "no release from standard input";
    }
    if (fault.empty()) {
        writers.release();
        fault = writers.waitForEnd();
    }
    if (!fault.empty()) {
        std::fprintf(stderr, "%s\n", fault.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 6 && std::wstring_view{argv[1]} == L"--writers") {
        return runWriters(argv);
    }
    if (argc == 3 && std::wstring_view{argv[1]} == L"--once") {
        const std::string path = kestrane::testing::utf8(std::filesystem::path{argv[2]});
        return kestrane::signal::appendSignalLine(path, kestrane::testing::numberedLine(0, 0))
            .code();
    }
    int writer = 0;
    int lines = 0;
    if (argc != 6 || !parseCount(argv[1], writer) || !parseCount(argv[2], lines)) {
        return 2;
    }
    const kestrane::testing::Handle start{::OpenEventW(SYNCHRONIZE, FALSE, argv[3])};
    const kestrane::testing::Handle ready{::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[4])};
    const std::string path = kestrane::testing::utf8(std::filesystem::path{argv[5]});
    if (!start.isOpen() || !ready.isOpen() || !::SetEvent(ready.get())) {
        return 3;
    }
    if (::WaitForSingleObject(start.get(), startTimeoutMilliseconds) != WAIT_OBJECT_0) {
        return 3;
    }
    kestrane::testing::PatientRetryClock clock;
    for (int sequence = 0; sequence < lines; ++sequence) {
        const std::string line = kestrane::testing::numberedLine(writer, sequence);
        if (!kestrane::signal::appendSignalLine(path, line, clock).succeeded()) {
            return 1;
        }
    }
    return 0;
}
