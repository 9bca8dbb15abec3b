// Times the start of Windows programs that close their window once shown (close_once_shown.cpp),
// run in turn, the order rotating from round to round: two warm-up rounds, then --runs measured
// ones. To the window shown is from before CreateProcess to the program setting the event it
// shares with the runner; to exit, to the end of the process. Prints, for the first program
// against each other one, rows for scripts/bench (medians, milliseconds):
//   row <measure> <subject> <baseline> <target> ms <subject> <baseline>
//
// Usage: startup_runner_win32 [--runs=N] SUBJECT.exe BASELINE.exe...
#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>
#include <windows.h>

namespace {

constexpr DWORD boundMs = 60000;

struct Times {
    std::vector<double> shown;
    std::vector<double> exited;
};

double millisecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

std::wstring baseName(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, L".exe") == 0) {
        name.resize(name.size() - 4);
    }
    return name;
}

// One start of the program; false, with the reason on stderr, when it fails or takes too long.
bool runOnce(const std::wstring& program, HANDLE shownEvent, Times& times) {
    ::ResetEvent(shownEvent);
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
    if (first != WAIT_OBJECT_0 || end != WAIT_OBJECT_0 || status != 0) {
        std::fwprintf(stderr, L"%ls showed no window, failed or ran longer than %lu s\n",
                      program.c_str(), boundMs / 1000);
        return false;
    }
    times.shown.push_back(shown);
    times.exited.push_back(exited);
    return true;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
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
    constexpr int warmUp = 2;
    std::vector<Times> times(programs.size());
    for (int round = 0; round < warmUp + runs; ++round) {
        for (std::size_t turn = 0; turn < programs.size(); ++turn) {
            const std::size_t which = (turn + static_cast<std::size_t>(round)) % programs.size();
            Times discarded;
            if (!runOnce(programs[which], shownEvent, round < warmUp ? discarded : times[which])) {
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
    }
    std::fwprintf(stderr, L"%d runs of each program after %d warm-up rounds\n", runs, warmUp);
    return 0;
}
