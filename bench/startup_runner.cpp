// Start-up of the window against baseline programs, in the same session:
//
//   startup_runner [--platform=offscreen|xcb] [--runs=N] [--warm-up=K] [--time-limit=SECONDS]
//                  SUBJECT BASELINE...
//
// Runs the programs in turn, K rounds to warm the caches (their diagnostics shown) and then N
// measured rounds (their output discarded). Each round runs every program once, and the order
// rotates from round to round, so that no program always runs on caches another has just warmed.
//
// What is timed depends on the platform, always from fork on the steady clock (CLOCK_MONOTONIC):
//   offscreen  to the end of wait4: the whole start, first paint and exit, as nothing is shown.
//   xcb        to the map of the program's window, when the X server puts it on the screen, and
//              to its first frame, when the window has been painted once: the programs close
//              their window right after its first paint, and the server handles their requests
//              in order, so the unmap that closing causes comes after the painted pixels reached
//              the screen. The runner starts an Xvfb of its own, with no window manager and no
//              other client, and watches its root window (SubstructureNotify) for the first
//              MapNotify of a window that is not override-redirect, then for that window's
//              UnmapNotify or DestroyNotify. The program runs on that server (DISPLAY,
//              QT_QPA_PLATFORM=xcb) until it exits.
// Peak memory is the child's ru_maxrss and CPU time its user plus system time, both from wait4,
// so both cover the program's whole life.
//
// Prints rows of medians on stdout, tab-separated, for scripts/bench, for each baseline:
//   row <measure> <subject> <baseline> <target> <unit> <subject> <baseline> [<subject> <baseline>]
// with the programs named by their file names. The first baseline carries the targets; further
// baselines are reported with "-" as target. A run that fails, shows no window (xcb) or outlives
// the time limit ends the measurement with exit status 1.
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
    double wallMilliseconds = 0;       // to the map (xcb) or to the exit (offscreen)
    double firstFrameMilliseconds = 0; // xcb only
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

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// An Xvfb of our own, so that nothing else maps windows on the screen we watch. Ended with the
// object.
class VirtualDisplay {
public:
    VirtualDisplay() {
        int pipeEnds[2];
        if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
            std::perror("pipe2");
            return;
        }
        server_ = ::fork();
        if (server_ < 0) {
            std::perror("fork");
            server_ = 0;
            ::close(pipeEnds[0]);
            ::close(pipeEnds[1]);
            return;
        }
        if (server_ == 0) {
            // Xvfb writes its display number to this descriptor once it accepts clients.
            const int writeEnd = ::dup(pipeEnds[1]);
            const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            const std::string fd = std::to_string(writeEnd);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
                     "-nolisten", "tcp", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(pipeEnds[1]);
        std::string number;
        char c = 0;
        while (::read(pipeEnds[0], &c, 1) == 1 && c != '\n') {
            number += c;
        }
        ::close(pipeEnds[0]);
        if (!number.empty()) {
            name_ = ":" + number;
        }
    }
    ~VirtualDisplay() {
        if (server_ > 0) {
            ::kill(server_, SIGTERM);
            ::waitpid(server_, nullptr, 0);
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // Empty when the server did not start.
    const std::string& name() const { return name_; }

private:
    pid_t server_ = 0;
    std::string name_;
};

// A client of the display that hears of every window mapped or unmapped on the root window.
class MapWatcher {
public:
    explicit MapWatcher(const std::string& display)
        : connection_{xcb_connect(display.c_str(), nullptr)} {
        if (xcb_connection_has_error(connection_.get()) != 0) {
            return;
        }
        const xcb_window_t root =
            xcb_setup_roots_iterator(xcb_get_setup(connection_.get())).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        const xcb_void_cookie_t cookie =
            xcb_change_window_attributes_checked(connection_.get(), root, XCB_CW_EVENT_MASK, &mask);
        xcb_generic_error_t* const error = xcb_request_check(connection_.get(), cookie);
        std::free(error);
        ready_ = error == nullptr;
    }

    bool ready() const { return ready_; }
    int fd() const { return xcb_get_file_descriptor(connection_.get()); }
    bool failed() const { return xcb_connection_has_error(connection_.get()) != 0; }

    struct Seen {
        bool mapped = false;   // the first top-level window that is not override-redirect
        bool unmapped = false; // that window, unmapped or destroyed
    };

    // Reads the events that have arrived and adds what they tell to `seen`: the map of a
    // program's window (not a menu or tooltip), then the unmap or end of that window.
    void take(Seen& seen) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_.get())) {
            switch (event->response_type & 0x7f) {
            case XCB_MAP_NOTIFY: {
                const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                if (!seen.mapped && map->override_redirect == 0) {
                    seen.mapped = true;
                    window_ = map->window;
                }
                break;
            }
            case XCB_UNMAP_NOTIFY:
                if (seen.mapped &&
                    reinterpret_cast<xcb_unmap_notify_event_t*>(event)->window == window_) {
                    seen.unmapped = true;
                }
                break;
            case XCB_DESTROY_NOTIFY:
                if (seen.mapped &&
                    reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window == window_) {
                    seen.unmapped = true;
                }
                break;
            default:
                break;
            }
            std::free(event);
        }
    }

private:
    struct Disconnect {
        void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
    };
    std::unique_ptr<xcb_connection_t, Disconnect> connection_;
    bool ready_ = false;
    xcb_window_t window_ = XCB_NONE;
};

// Starts `path`. With `quiet`, its stdout and stderr go to /dev/null; otherwise its stdout goes to
// our stderr, keeping our stdout for the rows.
pid_t start(const std::string& path, bool quiet, unsigned timeLimitSeconds) {
    const pid_t child = ::fork();
    if (child < 0) {
        std::perror("fork");
        return child;
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
    return child;
}

// Waits for the child to end; its rusage, or nothing when it failed.
std::optional<rusage> finish(const std::string& path, pid_t child) {
    int status = 0;
    rusage usage{};
    while (::wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::perror("wait4");
            return std::nullopt;
        }
    }
    if (WIFSIGNALED(status)) {
        std::fprintf(stderr, "%s: ended by signal %d%s\n", path.c_str(), WTERMSIG(status),
                     WTERMSIG(status) == SIGALRM ? " (time limit)" : "");
        return std::nullopt;
    }
    if (WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s: exit status %d\n", path.c_str(), WEXITSTATUS(status));
        return std::nullopt;
    }
    return usage;
}

Run runFrom(double wallMilliseconds, double firstFrameMilliseconds, const rusage& usage) {
    return {wallMilliseconds, firstFrameMilliseconds,
            milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime), usage.ru_maxrss};
}

// Offscreen: from fork to the end of wait4.
std::optional<Run> runToExit(const std::string& path, bool quiet, unsigned timeLimitSeconds) {
    const auto startTime = Clock::now();
    const pid_t child = start(path, quiet, timeLimitSeconds);
    if (child < 0) {
        return std::nullopt;
    }
    const std::optional<rusage> usage = finish(path, child);
    if (!usage) {
        return std::nullopt;
    }
    return runFrom(millisecondsSince(startTime), 0, *usage);
}

// xcb: from fork to the map of the program's window and to its unmap after the first frame; the
// program then runs to its end.
std::optional<Run> runToMap(MapWatcher& watcher, const std::string& path, bool quiet,
                            unsigned timeLimitSeconds) {
    MapWatcher::Seen seen;
    watcher.take(seen); // nothing before this run counts
    seen = {};
    const auto startTime = Clock::now();
    const pid_t child = start(path, quiet, timeLimitSeconds);
    if (child < 0) {
        return std::nullopt;
    }
    const int exited = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    std::optional<double> toMap;
    std::optional<double> toFirstFrame;
    bool running = exited >= 0;
    while (running) {
        pollfd waiting[] = {{watcher.fd(), POLLIN, 0}, {exited, POLLIN, 0}};
        if (::poll(waiting, 2, -1) < 0 && errno != EINTR) {
            std::perror("poll");
            break;
        }
        const double now = millisecondsSince(startTime);
        watcher.take(seen);
        if (seen.mapped && !toMap) {
            toMap = now;
        }
        if (seen.unmapped && !toFirstFrame) {
            toFirstFrame = now;
        }
        running = (waiting[1].revents & POLLIN) == 0 && !watcher.failed();
    }
    if (exited >= 0) {
        ::close(exited);
    }
    const std::optional<rusage> usage = finish(path, child);
    if (!usage) {
        return std::nullopt;
    }
    if (!toMap || !toFirstFrame) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(),
                     toMap ? "did not close its window" : "mapped no window");
        return std::nullopt;
    }
    return runFrom(*toMap, *toFirstFrame, *usage);
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
    std::fputs("usage: startup_runner [--platform=offscreen|xcb] [--runs=N] [--warm-up=K] "
               "[--time-limit=SECONDS] SUBJECT BASELINE...\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    unsigned runs = 30;
    unsigned warmUp = 2;
    unsigned timeLimitSeconds = 60;
    std::string platform = "offscreen";
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
        } else if (argument.starts_with("--platform=")) {
            platform = argument.substr(11);
            valid = platform == "offscreen" || platform == "xcb";
        } else if (argument.starts_with("-")) {
            valid = false;
        } else {
            paths.emplace_back(argument);
        }
        if (!valid) {
            return usage();
        }
    }
    if (paths.size() < 2) {
        return usage();
    }

    const bool onX = platform == "xcb";
    std::optional<VirtualDisplay> display;
    std::optional<MapWatcher> watcher;
    if (onX) {
        display.emplace();
        if (display->name().empty()) {
            std::fputs("startup_runner: Xvfb did not start\n", stderr);
            return 1;
        }
        watcher.emplace(display->name());
        if (!watcher->ready()) {
            std::fprintf(stderr, "startup_runner: cannot watch display %s\n",
                         display->name().c_str());
            return 1;
        }
        ::setenv("DISPLAY", display->name().c_str(), 1);
    }
    ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);

    std::vector<Program> programs;
    for (const std::string& path : paths) {
        programs.push_back({path, fileName(path), {}});
    }
    const std::size_t count = programs.size();
    for (unsigned round = 0; round < warmUp + runs; ++round) {
        const bool measured = round >= warmUp;
        for (std::size_t turn = 0; turn < count; ++turn) {
            Program& program = programs[(round + turn) % count];
            const std::optional<Run> run =
                onX ? runToMap(*watcher, program.path, measured, timeLimitSeconds)
                    : runToExit(program.path, measured, timeLimitSeconds);
            if (!run) {
                return 1;
            }
            if (measured) {
                program.runs.push_back(*run);
            }
        }
    }

    std::fprintf(stderr, "%s: %u runs each after %u warm-up rounds (medians)\n", platform.c_str(),
                 runs, warmUp);
    std::fprintf(stderr, "  %-28s %10s %12s %8s %9s\n", "", onX ? "to map" : "to exit",
                 onX ? "first frame" : "", "CPU", "peak");
    for (const Program& program : programs) {
        std::fprintf(stderr, "  %-28s %7.2f ms", program.name.c_str(),
                     medianOf(program.runs, &Run::wallMilliseconds));
        if (onX) {
            std::fprintf(stderr, " %9.2f ms", medianOf(program.runs, &Run::firstFrameMilliseconds));
        } else {
            std::fprintf(stderr, " %12s", "");
        }
        std::fprintf(stderr, " %5.2f ms %5.0f KiB\n", medianOf(program.runs, &Run::cpuMilliseconds),
                     medianOf(program.runs, &Run::peakKibibytes));
    }

    // One row per measure and baseline; the CPU time (of the whole run) goes with each time.
    const Program& subject = programs[0];
    const auto timeRow = [&](const std::string& measure, const Program& baseline, bool targeted,
                             double Run::*field) {
        std::printf("row\t%s\t%s\t%s\t%s\tms\t%.2f\t%.2f\t%.2f\t%.2f\n", measure.c_str(),
                    subject.name.c_str(), baseline.name.c_str(), targeted ? "1.05" : "-",
                    medianOf(subject.runs, field), medianOf(baseline.runs, field),
                    medianOf(subject.runs, &Run::cpuMilliseconds),
                    medianOf(baseline.runs, &Run::cpuMilliseconds));
    };
    for (std::size_t i = 1; i < count; ++i) {
        const Program& baseline = programs[i];
        const bool targeted = i == 1;
        if (onX) {
            timeRow("Start-up to map (xcb)", baseline, targeted, &Run::wallMilliseconds);
            timeRow("Start-up to first frame (xcb)", baseline, targeted,
                    &Run::firstFrameMilliseconds);
        } else {
            timeRow("Start-up to exit (" + platform + ")", baseline, targeted,
                    &Run::wallMilliseconds);
        }
        std::printf("row\tStart-up peak memory (%s)\t%s\t%s\t%s\tKiB\t%.0f\t%.0f\n",
                    platform.c_str(), subject.name.c_str(), baseline.name.c_str(),
                    targeted ? "1.02" : "-", medianOf(subject.runs, &Run::peakKibibytes),
                    medianOf(baseline.runs, &Run::peakKibibytes));
    }
    return 0;
}
