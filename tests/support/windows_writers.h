// Writer processes for the tests in which several Windows processes append to one file at
// once: copies of numbered_line_appender.exe, each appending its own numbered lines once
// released, all at the same moment. A writer still running when the object goes away is
// ended, so that a failed test leaves nothing behind that holds the file.
#pragma once

#include "support/windows_handle.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>
#include <windows.h>

namespace kestrane::testing {

// Only against a writer that hangs: far beyond any real run, and reaching it fails the test.
inline constexpr DWORD writerSafetyTimeoutMilliseconds = 5 * 60 * 1000;

// numbered_line_appender.exe, built beside the running program.
inline std::filesystem::path appenderBesideThisProgram() {
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

class WindowsWriters {
public:
    // Starts writers `first` to `first + count - 1`, each to append `lines` lines to `file`.
    WindowsWriters(int first, int count, int lines, const std::filesystem::path& file)
        : first_{first} {
        const std::filesystem::path appender = appenderBesideThisProgram();
        // Named after this process, so that runs side by side do not share events.
        const std::wstring prefix =
            L"kestrane-writers-" + std::to_wstring(::GetCurrentProcessId()) + L"-";
        const std::wstring startName = prefix + L"start";
        // Manual reset: once set, it releases every writer waiting on it at the same moment.
        start_ = Handle{::CreateEventW(nullptr, TRUE, FALSE, startName.c_str())};
        for (int writer = first; writer < first + count && start_.isOpen(); ++writer) {
            const std::wstring readyName = prefix + L"ready-" + std::to_wstring(writer);
            Handle ready{::CreateEventW(nullptr, TRUE, FALSE, readyName.c_str())};
            // Paths cannot hold quotes, and these do not end in a backslash.
            std::wstring commandLine = L"\"" + appender.wstring() + L"\" " +
                                       std::to_wstring(writer) + L" " + std::to_wstring(lines) +
                                       L" " + startName + L" " + readyName + L" \"" +
                                       file.wstring() + L"\"";
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            PROCESS_INFORMATION started{};
            if (!ready.isOpen() ||
                !::CreateProcessW(appender.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                  nullptr, nullptr, &startup, &started)) {
                fault_ = "cannot start writer " + std::to_string(writer) + ": error " +
                         std::to_string(::GetLastError());
                return;
            }
            const Handle thread{started.hThread};
            ready_.push_back(std::move(ready));
            processes_.emplace_back(started.hProcess);
        }
    }
    ~WindowsWriters() {
        for (const Handle& process : processes_) {
            if (::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
                ::TerminateProcess(process.get(), 255);
                ::WaitForSingleObject(process.get(), INFINITE);
            }
        }
    }
    WindowsWriters(const WindowsWriters&) = delete;
    WindowsWriters& operator=(const WindowsWriters&) = delete;

    // Empty once every writer waits for the release; otherwise what went wrong. Starting a
    // process takes long next to one append, so the writers go only once all of them wait.
    std::string waitUntilReady() {
        for (std::size_t index = 0; index < processes_.size() && fault_.empty(); ++index) {
            const HANDLE readyOrEnded[] = {ready_[index].get(), processes_[index].get()};
            if (::WaitForMultipleObjects(2, readyOrEnded, FALSE, writerSafetyTimeoutMilliseconds) !=
                WAIT_OBJECT_0) {
                fault_ = "writer " + std::to_string(first_ + static_cast<int>(index)) +
                         " ended or hung before it was ready";
            }
        }
        return fault_;
    }

    void release() const { ::SetEvent(start_.get()); }

    // Empty once every writer has ended with exit code 0; otherwise what went wrong.
    std::string waitForEnd() const {
        for (std::size_t index = 0; index < processes_.size(); ++index) {
            DWORD exitCode = 0;
            const std::string writer = std::to_string(first_ + static_cast<int>(index));
            if (::WaitForSingleObject(processes_[index].get(), writerSafetyTimeoutMilliseconds) !=
                    WAIT_OBJECT_0 ||
                !::GetExitCodeProcess(processes_[index].get(), &exitCode)) {
                return "writer " + writer + " did not end";
            }
            if (exitCode != 0) {
                return "writer " + writer + " ended with exit code " + std::to_string(exitCode);
            }
        }
        return {};
    }

private:
    int first_;
    Handle start_;
    std::vector<Handle> ready_;
    std::vector<Handle> processes_;
    std::string fault_;
};

} // namespace kestrane::testing
