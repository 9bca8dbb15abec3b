// How close a send comes to the bare system calls. Four benchmarks in one run, their
// repetitions interleaved at random so that a busy moment of the machine hurts all alike:
//
//   RawAppend          open(O_APPEND|O_CREAT), one write, close of the line's bytes: the floor
//   RawLockedAppend    the same with the calls the library adds, made by hand: an exclusive
//                      lock on byte 2^62 taken after the open and dropped before the close, so
//                      that every copy on either platform takes its turn; statx of the file's
//                      end and allocated room (refreshed from the server on a share), getrlimit,
//                      fallocate(KEEP_SIZE) of the line's bytes at the end when they reach past
//                      what the file system has allocated, SIGPIPE and SIGXFSZ blocked around it
//   AppendSignalLine   the library's append of the same line to the same folder
//   Command1Click      the whole send: clock, stamp, reading a headless view, line, append
//
// Google Benchmark's report goes to stderr. stdout gets one row per ratio, tab-separated,
// for scripts/bench to put into its table (medians; wall-clock time, then CPU time):
//   row <measure> <subject> <baseline> <target> <unit> <subject> <baseline> <subject> <baseline>
//
// Usage: append_benchmark [--folder=PATH] [Google Benchmark flags]
// The folder defaults to a new one under the temporary folder, removed at the end.
#include "signal/send_action.h"
#include "signal/signal_file.h"
#include "support/fake_form_view.h"

#include <benchmark/benchmark.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <map>
#include <pthread.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace {

using namespace kestrane::signal;
namespace fs = std::filesystem;

const std::string signalLine = "cxlplace,BUY,1,MKT,0,0,2007011816520,entry";

fs::path benchFolder;

// A fresh, empty file for every repetition, so every repetition appends to a file that
// grew from nothing in the same way.
std::string freshFile(const char* name) {
    const fs::path file = benchFolder / name;
    std::error_code ignored;
    fs::remove(file, ignored);
    return file.string();
}

void RawAppend(benchmark::State& state) {
    const std::string path = freshFile("raw.txt");
    const std::string bytes = signalLine + "\r\n";
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()) ||
            ::close(fd) != 0) {
            state.SkipWithError("raw append failed");
            return;
        }
    }
}

void RawLockedAppend(benchmark::State& state) {
    const std::string path = freshFile("locked.txt");
    const std::string bytes = signalLine + "\r\n";
    sigset_t fatal;
    sigemptyset(&fatal);
    sigaddset(&fatal, SIGPIPE);
    sigaddset(&fatal, SIGXFSZ);
    flock lock{};
    lock.l_start = off_t{1} << 62;
    lock.l_len = 1;
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        sigset_t previous;
        ::pthread_sigmask(SIG_BLOCK, &fatal, &previous);
        lock.l_type = F_WRLCK;
        struct statx file {};
        rlimit limit{};
        const bool written = fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &lock) == 0 &&
                             ::statx(fd, "", AT_EMPTY_PATH | AT_STATX_FORCE_SYNC,
                                     STATX_TYPE | STATX_SIZE | STATX_BLOCKS, &file) == 0 &&
                             ::getrlimit(RLIMIT_FSIZE, &limit) == 0 &&
                             (file.stx_size + bytes.size() <= file.stx_blocks * 512 ||
                              ::fallocate(fd, FALLOC_FL_KEEP_SIZE, off_t(file.stx_size),
                                          off_t(bytes.size())) == 0) &&
                             ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
        lock.l_type = F_UNLCK;
        const bool unlocked = written && ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
        if (!unlocked || ::close(fd) != 0) {
            ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
            state.SkipWithError("locked raw append failed");
            return;
        }
        ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
}

void AppendSignalLine(benchmark::State& state) {
    const std::string path = freshFile("append.txt");
    for (auto _ : state) {
        if (!appendSignalLine(path, signalLine).succeeded()) {
            state.SkipWithError("appendSignalLine failed");
            return;
        }
    }
}

void Command1Click(benchmark::State& state) {
    kestrane::testing::FakeFormView view;
    view.text("Text6") = freshFile("send.txt");
    view.recording = false;
    const LocalClock fixedClock = [] {
        return LocalDateTime{2007, 1, 18, 16, 52};
    };
    for (auto _ : state) {
        Command1_Click(view, fixedClock);
    }
    if (!view.messages.empty()) {
        state.SkipWithError("Command1_Click showed a message");
    }
}

BENCHMARK(RawAppend);
BENCHMARK(RawLockedAppend);
BENCHMARK(AppendSignalLine);
BENCHMARK(Command1Click);

// Prints the usual report and keeps the median real time of each benchmark.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    struct Median {
        double wallNanoseconds = 0;
        double cpuNanoseconds = 0;
    };
    std::map<std::string, Median> medians;

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" &&
                !run.error_occurred) {
                const double scale = nanosecondsPer(run.time_unit);
                medians[run.run_name.function_name] = {run.GetAdjustedRealTime() * scale,
                                                       run.GetAdjustedCPUTime() * scale};
            }
        }
    }

private:
    static double nanosecondsPer(benchmark::TimeUnit unit) {
        switch (unit) {
        case benchmark::kSecond:
            return 1e9;
        case benchmark::kMillisecond:
            return 1e6;
        case benchmark::kMicrosecond:
            return 1e3;
        case benchmark::kNanosecond:
            break;
        }
        return 1;
    }
};

class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "kestrane-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

} // namespace

int main(int argc, char** argv) {
    // Our one flag comes out before Google Benchmark reads the rest.
    std::vector<char*> arguments;
    std::string folderArgument;
    for (int i = 0; i < argc; ++i) {
        const std::string_view argument{argv[i]};
        if (argument.starts_with("--folder=")) {
            folderArgument = argument.substr(9);
            continue;
        }
        arguments.push_back(argv[i]);
    }
    int count = static_cast<int>(arguments.size());
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) {
        return 2;
    }

    ScratchFolder scratch;
    benchFolder = folderArgument.empty() ? scratch.path() : fs::path{folderArgument};
    if (benchFolder.empty() || !fs::is_directory(benchFolder)) {
        std::cerr << "no folder to append in\n";
        return 2;
    }

    MedianReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto& medians = reporter.medians;
    const auto row = [&](const char* measure, const char* subject, const char* baseline,
                         const char* target) {
        if (!medians.contains(subject) || !medians.contains(baseline)) {
            return false;
        }
        const auto& of = medians.at(subject);
        const auto& against = medians.at(baseline);
        std::printf("row\t%s\t%s\t%s\t%s\tns\t%.0f\t%.0f\t%.0f\t%.0f\n", measure, subject, baseline,
                    target, of.wallNanoseconds, against.wallNanoseconds, of.cpuNanoseconds,
                    against.cpuNanoseconds);
        return true;
    };
    const bool append = row("Append", "AppendSignalLine", "RawAppend", "1.15");
    const bool sameCalls = row("Append", "AppendSignalLine", "RawLockedAppend", "1.10");
    const bool send = row("Send", "Command1Click", "AppendSignalLine", "1.3");
    return append && sameCalls && send ? 0 : 1;
}
