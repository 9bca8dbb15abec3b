// Start-up of the window against the least a Qt Widgets program does, in the same session:
//
//   startup_runner [--runs=N] [--warm-up=K] [--time-limit=SECONDS] SUBJECT BASELINE
//
// Runs the two programs alternately on the offscreen platform, K rounds to warm the caches
// (their diagnostics shown) and then N measured rounds (their output discarded). Each round runs
// both, and the order changes from round to round (subject first, then baseline first, ...), so
// neither program always runs on caches the other has just warmed. Each run is timed from fork to
// the end of wait4 on the steady clock (CLOCK_MONOTONIC); its peak memory is the child's ru_maxrss
// and its CPU time the child's user plus system time, both from wait4.
//
// Prints two rows of medians on stdout, tab-separated, for scripts/bench:
//   row <measure> <subject> <baseline> <target> <unit> <subject> <baseline> [<subject> <baseline>]
// with the programs named by their file names. A run that fails, or outlives the time limit,
// ends the measurement with exit status 1.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Run {
    double wallMilliseconds = 0;
    double cpuMilliseconds = 0;
    long peakKibibytes = 0;
};

struct Program {
    std::string path;
    std::string name;
    std::vector<Run> runs;
};

double milliseconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) * 1e3 + static_cast<double>(time.tv_usec) / 1e3;
}

// Runs `path` once and waits for it. With `quiet`, its stdout and stderr go to /dev/null;
// otherwise its stdout goes to our stderr, keeping our stdout for the rows.
std::optional<Run> runOnce(const std::string& path, bool quiet, unsigned timeLimitSeconds) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child < 0) {
        std::perror("fork");
        return std::nullopt;
    }
    if (child == 0) {
        if (quiet) {
            const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
        } else {
            ::dup2(STDERR_FILENO, STDOUT_FILENO);
        }
        // A pending alarm survives exec: a program that never closes its window is ended by it.
        ::alarm(timeLimitSeconds);
        char* const arguments[] = {const_cast<char*>(path.c_str()), nullptr};
        ::execv(path.c_str(), arguments);
        std::perror(path.c_str());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    while (::wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::perror("wait4");
            return std::nullopt;
        }
    }
    const std::chrono::duration<double, std::milli> wall = std::chrono::steady_clock::now() - start;

    if (WIFSIGNALED(status)) {
        std::fprintf(stderr, "%s: ended by signal %d%s\n", path.c_str(), WTERMSIG(status),
                     WTERMSIG(status) == SIGALRM ? " (time limit)" : "");
        return std::nullopt;
    }
    if (WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s: exit status %d\n", path.c_str(), WEXITSTATUS(status));
        return std::nullopt;
    }
    return Run{wall.count(), milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime),
               usage.ru_maxrss};
}

template <typename Field>
double medianOf(const std::vector<Run>& runs, Field Run::*field) {
    std::vector<double> values;
    for (const Run& run : runs) {
        values.push_back(static_cast<double>(run.*field));
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string fileName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool parseCount(std::string_view text, unsigned& count) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    return error == std::errc{} && end == text.data() + text.size();
}

int usage() {
    std::fputs("usage: startup_runner [--runs=N] [--warm-up=K] [--time-limit=SECONDS] SUBJECT "
               "BASELINE\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    unsigned runs = 30;
    unsigned warmUp = 2;
    unsigned timeLimitSeconds = 60;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument{argv[i]};
        bool valid = true;
        if (argument.starts_with("--runs=")) {
            valid = parseCount(argument.substr(7), runs) && runs > 0;
        } else if (argument.starts_with("--warm-up=")) {
            valid = parseCount(argument.substr(10), warmUp);
        } else if (argument.starts_with("--time-limit=")) {
            valid = parseCount(argument.substr(13), timeLimitSeconds) && timeLimitSeconds > 0;
        } else if (argument.starts_with("-")) {
            valid = false;
        } else {
            paths.emplace_back(argument);
        }
        if (!valid) {
            return usage();
        }
    }
    if (paths.size() != 2) {
        return usage();
    }

    // The measurement is of the offscreen platform, whatever display this session has.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

    Program programs[] = {{paths[0], fileName(paths[0]), {}}, {paths[1], fileName(paths[1]), {}}};
    for (unsigned round = 0; round < warmUp + runs; ++round) {
        const bool measured = round >= warmUp;
        for (unsigned turn = 0; turn < 2; ++turn) {
            Program& program = programs[(round + turn) % 2];
            const std::optional<Run> run = runOnce(program.path, measured, timeLimitSeconds);
            if (!run) {
                return 1;
            }
            if (measured) {
                program.runs.push_back(*run);
            }
        }
    }

    const Program& subject = programs[0];
    const Program& baseline = programs[1];
    std::fprintf(stderr, "%u runs each after %u warm-up rounds (medians: wall ms, CPU ms, KiB)\n",
                 runs, warmUp);
    for (const Program* program : {&subject, &baseline}) {
        std::fprintf(stderr, "  %-26s %8.2f %8.2f %8.0f\n", program->name.c_str(),
                     medianOf(program->runs, &Run::wallMilliseconds),
                     medianOf(program->runs, &Run::cpuMilliseconds),
                     medianOf(program->runs, &Run::peakKibibytes));
    }
    std::printf("row\tStart-up time\t%s\t%s\t1.25\tms\t%.2f\t%.2f\t%.2f\t%.2f\n",
                subject.name.c_str(), baseline.name.c_str(),
                medianOf(subject.runs, &Run::wallMilliseconds),
                medianOf(baseline.runs, &Run::wallMilliseconds),
                medianOf(subject.runs, &Run::cpuMilliseconds),
                medianOf(baseline.runs, &Run::cpuMilliseconds));
    std::printf("row\tStart-up peak memory\t%s\t%s\t1.15\tKiB\t%.0f\t%.0f\n", subject.name.c_str(),
                baseline.name.c_str(), medianOf(subject.runs, &Run::peakKibibytes),
                medianOf(baseline.runs, &Run::peakKibibytes));
    return 0;
}
