// Times the start of Windows programs that close their window once shown (close_once_shown.cpp),
// run in turn, the order rotating from round to round: two warm-up rounds, then --runs measured
// ones. To the window shown is from before CreateProcess to the program setting the event it
// shares with the runner; to exit, to the end of the process. Beside the times, the window
// messages the program handled until its window was shown, which the machine's load does not
// change. Prints, for the first program against each other one, rows for scripts/bench
// (medians, in milliseconds or messages):
//   row <measure> <subject> <baseline> <target> <unit> <subject> <baseline>
// and on stderr the spread of each program's times (lowest, quartiles, highest).
//
// Usage: startup_runner_win32 [--runs=N] SUBJECT.exe BASELINE.exe...
#include "milliseconds_since.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>
#include <windows.h>

namespace {

using kestrane::bench::millisecondsSince;

constexpr DWORD boundMs = 60000;

struct Times {
    std::vector<double> shown;
    std::vector<double> exited;
    std::vector<double> messages;
};

std::wstring baseName(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, L".exe") == 0) {
        name.resize(name.size() - 4);
    }
    return name;
}

// One start of the program; false, with the reason on stderr, when it fails or takes too long.
// `messageCount` is the memory the program leaves its count of messages in.
bool runOnce(const std::wstring& program, HANDLE shownEvent, volatile LONG* messageCount,
             Times& times) {
    ::ResetEvent(shownEvent);
    *messageCount = -1;
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    LARGE_INTEGER start{};
    ::QueryPerformanceCounter(&start);
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process)) {
        std::fwprintf(stderr, L"cannot start %ls: error %lu\n", program.c_str(), ::GetLastError());
        return false;
    }
    ::CloseHandle(process.hThread);
    const HANDLE waited[] = {shownEvent, process.hProcess};
    const DWORD first = ::WaitForMultipleObjects(2, waited, FALSE, boundMs);
    const double shown = millisecondsSince(start);
    const DWORD end = ::WaitForSingleObject(process.hProcess, boundMs);
    const double exited = millisecondsSince(start);
    DWORD status = 1;
    ::GetExitCodeProcess(process.hProcess, &status);
    if (end != WAIT_OBJECT_0) {
        ::TerminateProcess(process.hProcess, 1);
    }
    ::CloseHandle(process.hProcess);
    if (first != WAIT_OBJECT_0 || end != WAIT_OBJECT_0 || status != 0 || *messageCount < 0) {
        std::fwprintf(stderr,
                      L"%ls showed no window, failed, counted no messages or ran longer than "
                      L"%lu s\n",
                      program.c_str(), boundMs / 1000);
        return false;
    }
    times.shown.push_back(shown);
    times.exited.push_back(exited);
    times.messages.push_back(*messageCount);
    return true;
}

// The value below which `fraction` of the values lie, between the two nearest ones.
double quantile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const double place = fraction * static_cast<double>(values.size() - 1);
    const auto below = static_cast<std::size_t>(place);
    const std::size_t above = std::min(below + 1, values.size() - 1);
    return values[below] + (place - static_cast<double>(below)) * (values[above] - values[below]);
}

double median(const std::vector<double>& values) {
    return quantile(values, 0.5);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    int runs = 30;
    std::vector<std::wstring> programs;
    for (int i = 1; i < argc; ++i) {
        if (std::wcsncmp(argv[i], L"--runs=", 7) == 0) {
            runs = std::max(1, _wtoi(argv[i] + 7));
        } else {
            programs.emplace_back(argv[i]);
        }
    }
    if (programs.size() < 2) {
        std::fputs("usage: startup_runner_win32 [--runs=N] SUBJECT.exe BASELINE.exe...\n", stderr);
        return 2;
    }
    const HANDLE shownEvent =
        ::CreateEventW(nullptr, TRUE, FALSE, L"Local\\KestraneBenchWindowShown");
    // Where each program leaves its count of messages; -1 until it does.
    const HANDLE countMapping =
        ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONG),
                             L"Local\\KestraneBenchMessageCount");
    auto* messageCount = static_cast<volatile LONG*>(
        countMapping ? ::MapViewOfFile(countMapping, FILE_MAP_WRITE, 0, 0, sizeof(LONG)) : nullptr);
    if (!shownEvent || !messageCount) {
        std::fwprintf(stderr, L"cannot share an event and memory: error %lu\n", ::GetLastError());
        return 1;
    }
    constexpr int warmUp = 2;
    std::vector<Times> times(programs.size());
    for (int round = 0; round < warmUp + runs; ++round) {
        for (std::size_t turn = 0; turn < programs.size(); ++turn) {
            const std::size_t which = (turn + static_cast<std::size_t>(round)) % programs.size();
            Times discarded;
            if (!runOnce(programs[which], shownEvent, messageCount,
                         round < warmUp ? discarded : times[which])) {
                return 1;
            }
        }
    }
    const std::wstring subject = baseName(programs[0]);
    for (std::size_t other = 1; other < programs.size(); ++other) {
        const std::wstring baseline = baseName(programs[other]);
        std::wprintf(L"row\tStart-up to window shown (Wine)\t%ls\t%ls\t1.10\tms\t%.2f\t%.2f\n",
                     subject.c_str(), baseline.c_str(), median(times[0].shown),
                     median(times[other].shown));
        std::wprintf(L"row\tStart-up to exit (Wine)\t%ls\t%ls\t-\tms\t%.2f\t%.2f\n",
                     subject.c_str(), baseline.c_str(), median(times[0].exited),
                     median(times[other].exited));
        std::wprintf(L"row\tWindow messages to window shown (Wine)\t%ls\t%ls\t1.10\tmessages"
                     L"\t%.0f\t%.0f\n",
                     subject.c_str(), baseline.c_str(), median(times[0].messages),
                     median(times[other].messages));
    }
    for (std::size_t which = 0; which < programs.size(); ++which) {
        const Times& of = times[which];
        std::fwprintf(stderr,
                      L"%ls: to window shown %.2f / %.2f / %.2f / %.2f / %.2f ms (lowest, "
                      L"quartiles, highest); messages %.0f to %.0f\n",
                      baseName(programs[which]).c_str(), quantile(of.shown, 0),
                      quantile(of.shown, 0.25), median(of.shown), quantile(of.shown, 0.75),
                      quantile(of.shown, 1), quantile(of.messages, 0), quantile(of.messages, 1));
    }
    std::fwprintf(stderr, L"%d runs of each program after %d warm-up rounds\n", runs, warmUp);
    return 0;
}
