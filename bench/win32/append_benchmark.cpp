// The Windows append under Wine against the same calls made by hand, in one process, their
// repetitions interleaved at random so that a busy moment of the machine hurts both alike:
//
//   LockedAppendByHand  CreateFileW (FILE_READ_DATA | FILE_APPEND_DATA, sharing reading and
//                       writing), GetFileType, LockFileEx of byte 2^62, GetFileSizeEx,
//                       WriteFile of the line and CR LF, UnlockFileEx, CloseHandle
//   AppendSignalLine    the library's append of the same line to the same folder
//
// Each repetition appends --appends times to a fresh file. Prints one row for scripts/bench
// (medians of the repetitions' time per append, nanoseconds):
//   row Append (Wine) AppendSignalLine LockedAppendByHand 1.10 ns <subject> <baseline>
//
// Usage: append_benchmark_win32 [--repetitions=N] [--appends=N]
#include "../count_option.h"
#include "signal/signal_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include <windows.h>

namespace {

const std::string signalLine = "cxlplace,BUY,1,MKT,0,0,2007011816520,entry";

bool appendByHand(const std::wstring& path, const std::string& bytes) {
    const HANDLE file = ::CreateFileW(path.c_str(), FILE_READ_DATA | FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    OVERLAPPED region{};
    region.OffsetHigh = 1u << 30; // byte 2^62
    LARGE_INTEGER size{};
    DWORD written = 0;
    const bool appended =
        ::GetFileType(file) == FILE_TYPE_DISK &&
        ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &region) &&
        ::GetFileSizeEx(file, &size) &&
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
    const bool unlocked = appended && ::UnlockFileEx(file, 0, 1, 0, &region);
    return ::CloseHandle(file) && unlocked;
}

double nanosecondsSince(const LARGE_INTEGER& start, int appends) {
    LARGE_INTEGER now{};
    LARGE_INTEGER frequency{};
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return 1e9 * static_cast<double>(now.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart) / appends;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    const int repetitions = static_cast<int>(
        std::max(1L, kestrane::bench::countOption(argc, argv, "--repetitions=", 100)));
    const int appends =
        static_cast<int>(std::max(1L, kestrane::bench::countOption(argc, argv, "--appends=", 50)));
    wchar_t temporary[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, temporary);
    const std::wstring folder = std::wstring{temporary} + L"kestrane-append-bench-" +
                                std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring byHandPath = folder + L"\\by-hand.txt";
    const std::wstring libraryWide = folder + L"\\append.txt";
    // The folder from GetTempPathW is ASCII here (the prefix's user's Temp folder).
    const std::string libraryPath{libraryWide.begin(), libraryWide.end()};
    const std::string bytes = signalLine + "\r\n";

    std::vector<double> library;
    std::vector<double> byHand;
    std::mt19937 order{25};
    bool failed = false;
    for (int repetition = 0; repetition < repetitions && !failed; ++repetition) {
        const bool libraryFirst = order() % 2 == 0;
        for (int turn = 0; turn < 2 && !failed; ++turn) {
            const bool isLibrary = (turn == 0) == libraryFirst;
            ::DeleteFileW((isLibrary ? libraryWide : byHandPath).c_str());
            LARGE_INTEGER start{};
            ::QueryPerformanceCounter(&start);
            for (int i = 0; i < appends && !failed; ++i) {
                failed =
                    isLibrary
                        ? !kestrane::signal::appendSignalLine(libraryPath, signalLine).succeeded()
                        : !appendByHand(byHandPath, bytes);
            }
            (isLibrary ? library : byHand).push_back(nanosecondsSince(start, appends));
        }
    }
    ::DeleteFileW(libraryWide.c_str());
    ::DeleteFileW(byHandPath.c_str());
    ::RemoveDirectoryW(folder.c_str());
    if (failed) {
        std::fputs("an append failed\n", stderr);
        return 1;
    }
    std::printf("row\tAppend (Wine)\tAppendSignalLine\tLockedAppendByHand\t1.10\tns\t%.0f\t%.0f\n",
                median(library), median(byHand));
    std::fprintf(stderr, "%d repetitions of %d appends each, interleaved at random\n", repetitions,
                 appends);
    return 0;
}
