// One of the writer processes that the Windows concurrency test starts at once:
//
//   numbered_line_appender WRITER LINES START-EVENT READY-EVENT PATH
//
// Sets the named event READY-EVENT, waits for the named event START-EVENT, then appends
// WRITER's numbered lines 0 to LINES - 1 to PATH in order through the signal library.
// Exit code 0; 1 at the first refused append; 2 for wrong arguments; 3 when an event cannot
// be used or the start never comes.
#include "signal/signal_file.h"
#include "support/numbered_lines.h"
#include "support/temp_dir.h"
#include "support/windows_handle.h"

#include <cwchar>
#include <filesystem>

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

} // namespace

int wmain(int argc, wchar_t** argv) {
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
    for (int sequence = 0; sequence < lines; ++sequence) {
        const std::string line = kestrane::testing::numberedLine(writer, sequence);
        if (!kestrane::signal::appendSignalLine(path, line).succeeded()) {
            return 1;
        }
    }
    return 0;
}
