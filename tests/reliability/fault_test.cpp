// Real faults of the file system and the process, each met by a real append in a child
// process of its own: the code the user will see, an existing file left byte for byte as it
// was, and nothing created.
#include "child_process.h"
#include "signal/append_policy.h"
#include "signal/signal_file.h"
#include "support/append_result_printer.h"
#include "support/instant_retry_clock.h"
#include "support/temp_dir.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <map>
#include <pwd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace kestrane::signal {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using namespace std::chrono_literals;

const std::string earlierLines = "cxlplace,BUY,1,MKT,0,0,2007011816520,entry\r\nearlier,line\r\n";

// The user a child appends as when a row needs one whom file permissions apply to: nobody
// when the tests run as root (root passes every permission check), else the test's own user.
struct AppendingUser {
    uid_t uid = ::getuid();
    gid_t gid = ::getgid();

    static AppendingUser unprivileged() {
        if (::geteuid() != 0) {
            return {};
        }
        const passwd* nobody = ::getpwnam("nobody");
        return nobody ? AppendingUser{nobody->pw_uid, nobody->pw_gid} : AppendingUser{65534, 65534};
    }

    // In a child: become this user for good, dropping root's supplementary groups first.
    bool become() const {
        if (::getuid() == uid && ::geteuid() == uid) {
            return true;
        }
        return ::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(uid) == 0;
    }
};

// Sets or clears one of the file's inode flags (chattr +a, +i), as root may.
bool setFileFlag(const fs::path& file, int flag, bool on) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    int flags = 0;
    const bool done =
        fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
        (flags = on ? flags | flag : flags & ~flag, ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    ::close(fd);
    return done;
}

// One fresh folder per row: searchable by anyone, holding Entries.txt with earlier lines.
struct Scene {
    TempDir dir;
    fs::path existing = dir / "Entries.txt";
    AppendingUser user;
    std::string cannotRunHere; // why a row cannot be set up on this machine, if it cannot

    explicit Scene(AppendingUser appendingUser) : user{appendingUser} {
        fs::permissions(dir.path(), fs::perms{0755});
        testing::writeBytes(existing, earlierLines);
    }
    ~Scene() {
        if (lockHolder >= 0) {
            ::close(lockHolder);
        }
        for (const auto& undo : undoOnExit) {
            undo();
        }
        // Folders a row locked must open again for the folder's removal.
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            if (entry.is_directory()) {
                std::error_code ignored;
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
            }
        }
    }

    // Takes the byte every copy of the program locks while it appends, for good, as another
    // program holding the whole file locked would.
    void holdAppendLock(const fs::path& path) {
        lockHolder = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        flock region{};
        region.l_type = F_WRLCK;
        region.l_start = static_cast<off_t>(policy::appendLockByte);
        region.l_len = 1;
        EXPECT_EQ(::fcntl(lockHolder, F_OFD_SETLK, &region), 0) << std::strerror(errno);
    }

    int lockHolder = -1;
    std::vector<std::function<void()>> undoOnExit; // what a row set up beyond the folder

    // Hands `path` to the appending user.
    void giveToUser(const fs::path& path) const {
        if (::getuid() == 0) {
            EXPECT_EQ(::chown(path.c_str(), user.uid, user.gid), 0) << path;
        }
    }

    // Every name below the folder with the bytes of every file: the whole visible state.
    std::map<std::string, std::string> snapshot() const {
        std::map<std::string, std::string> state;
        // Without root, a folder locked against search stays unopened.
        for (const auto& entry : fs::recursive_directory_iterator(
                 dir.path(), fs::directory_options::skip_permission_denied)) {
            const std::string name = entry.path().lexically_relative(dir.path()).generic_string();
            state[name] = entry.is_regular_file() ? testing::readBytes(entry.path()) : "<folder>";
        }
        return state;
    }
};

struct FaultRow {
    const char* name;
    int expectedCode;
    // Appends as AppendingUser::unprivileged() instead of the test's own user.
    bool unprivileged;
    // Sets up the fault in the folder and returns the path to append to.
    std::function<std::string(Scene&)> arrange;
    // Runs in the child, after changing user, just before the append.
    std::function<bool(const Scene&)> inChild = [](const Scene&) {
        return true;
    };
};

// The lowest descriptor a new open would get: the limit that makes that open fail.
rlim_t lowestFreeDescriptor() {
    const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (probe < 0) {
        return 0;
    }
    ::close(probe);
    return static_cast<rlim_t>(probe);
}

std::vector<FaultRow> faultRows() {
    return {
        {"disk full: /dev/full", failure::DiskFull, false,
         [](Scene& scene) {
             if (::access("/dev/full", W_OK) != 0) {
                 scene.cannotRunHere = "no writable /dev/full";
             }
             return std::string{"/dev/full"};
         }},
        {"disk full: the line would pass the file size limit", failure::DiskFull, false,
         [](Scene& scene) { return testing::utf8(scene.existing); },
         [](const Scene& scene) {
             // Room for part of the line only; SIGXFSZ keeps its default action, which ends
             // the process unless the append keeps it away.
             const auto size = static_cast<rlim_t>(fs::file_size(scene.existing)) + 5;
             const rlimit limit{size, size};
             return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
         }},
        {"access denied: another user's file", failure::PathFileAccessError, true,
         [](Scene& scene) {
             if (::geteuid() != 0) {
                 scene.cannotRunHere = "only root can append as another user";
             }
             fs::permissions(scene.existing, fs::perms{0644}); // root's, readable by all
             return testing::utf8(scene.existing);
         }},
        {"access denied: new file in a folder the user may not write", failure::PathFileAccessError,
         true,
         [](Scene& scene) {
             fs::create_directory(scene.dir / "locked");
             fs::permissions(scene.dir / "locked", fs::perms{0555});
             return testing::utf8(scene.dir / "locked" / "Entries.txt");
         }},
        {"access denied: a folder the user may not search", failure::PathFileAccessError, true,
         [](Scene& scene) {
             fs::create_directory(scene.dir / "private");
             testing::writeBytes(scene.dir / "private" / "Entries.txt", earlierLines);
             fs::permissions(scene.dir / "private", fs::perms{0600});
             return testing::utf8(scene.dir / "private" / "Entries.txt");
         }},
        {"read-only file", failure::PathFileAccessError, true,
         [](Scene& scene) {
             scene.giveToUser(scene.existing);
             fs::permissions(scene.existing, fs::perms{0444});
             return testing::utf8(scene.existing);
         }},
        {"read-only file system", failure::PathFileAccessError, false,
         [](Scene& scene) {
             const fs::path mountPoint = scene.dir / "readonly";
             fs::create_directory(mountPoint);
             if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", MS_RDONLY, "size=4k") != 0) {
                 scene.cannotRunHere = "cannot mount a read-only tmpfs here (needs root)";
             }
             scene.undoOnExit.emplace_back([mountPoint] { ::umount2(mountPoint.c_str(), 0); });
             return testing::utf8(mountPoint / "Entries.txt");
         }},
        {"immutable file", failure::PathFileAccessError, false,
         [](Scene& scene) {
             if (!setFileFlag(scene.existing, FS_IMMUTABLE_FL, true)) {
                 scene.cannotRunHere = "cannot make the file immutable here (needs root)";
             }
             scene.undoOnExit.emplace_back(
                 [&scene] { setFileFlag(scene.existing, FS_IMMUTABLE_FL, false); });
             return testing::utf8(scene.existing);
         }},
        {"path names a folder", failure::PathFileAccessError, false,
         [](Scene& scene) {
             return testing::utf8(scene.dir.path());
         }},
        {"path names the file with a trailing slash", failure::PathFileAccessError, false,
         [](Scene& scene) {
             return testing::utf8(scene.existing) + "/";
         }},
        {"missing folder", failure::PathNotFound, false,
         [](Scene& scene) {
             return testing::utf8(scene.dir / "Signals" / "Entries.txt");
         }},
        {"too many open files", failure::TooManyFiles, false,
         [](Scene& scene) { return testing::utf8(scene.existing); },
         [](const Scene&) {
             rlimit limit{};
             ::getrlimit(RLIMIT_NOFILE, &limit);
             limit.rlim_cur = lowestFreeDescriptor();
             return limit.rlim_cur > 0 && ::setrlimit(RLIMIT_NOFILE, &limit) == 0;
         }},
        {"name longer than the file system allows", failure::BadFileName, false,
         [](Scene& scene) {
             return testing::utf8(scene.dir / std::string(NAME_MAX + 1, 'x'));
         }},
        {"path longer than the system allows", failure::BadFileName, false,
         [](Scene& scene) {
             std::string path = testing::utf8(scene.dir.path());
             while (path.size() <= PATH_MAX) {
                 path += "/.";
             }
             return path + "/Entries.txt";
         }},
        {"FIFO without a reader", failure::DeviceIOError, false,
         [](Scene& scene) {
             // Opening it for writing would wait for a reader for ever.
             ::mkfifo((scene.dir / "fifo").c_str(), 0666);
             return testing::utf8(scene.dir / "fifo");
         }},
        {"append lock held by another program", failure::PermissionDenied, false,
         [](Scene& scene) {
             scene.holdAppendLock(scene.existing);
             return testing::utf8(scene.existing);
         }},
        {"Windows-form path", failure::PathNotFound, false,
         [](Scene&) { return std::string{"\\Porlimax\\Signals\\Entries.txt"}; },
         [](const Scene& scene) {
             // A path taken literally would create a file of that name right here.
             return ::chdir(scene.dir.path().c_str()) == 0;
         }},
    };
}

class FaultTable : public ::testing::TestWithParam<FaultRow> {};

TEST_P(FaultTable, EachFaultIsReportedAndLeavesEverythingAsItWas) {
    const FaultRow& row = GetParam();
    Scene scene{row.unprivileged ? AppendingUser::unprivileged() : AppendingUser{}};
    const std::string path = row.arrange(scene);
    if (!scene.cannotRunHere.empty()) {
        GTEST_SKIP() << scene.cannotRunHere;
    }
    const auto before = scene.snapshot();

    // Exit codes above any failure code tell a broken child apart from a result.
    constexpr int couldNotArrange = 200;
    const int code = testing::exitCodeOfChild([&] {
        if (!scene.user.become() || !row.inChild(scene)) {
            return couldNotArrange;
        }
        // Never destroyed: the child ends with _exit, and UBSan's check of a virtual call
        // needs a file descriptor, of which the "too many open files" row leaves none.
        static testing::InstantRetryClock clock;
        return appendSignalLine(path, "cxlplace,SELL,2,LMT,101.5,0,2007011816530,exit", clock)
            .code();
    });

    EXPECT_EQ(code, row.expectedCode)
        << (code == couldNotArrange ? "the child could not change user or set its limit" : "");
    EXPECT_EQ(scene.snapshot(), before);
    EXPECT_EQ(testing::readBytes(scene.existing), earlierLines);
}

INSTANTIATE_TEST_SUITE_P(Rows, FaultTable, ::testing::ValuesIn(faultRows()),
                         [](const ::testing::TestParamInfo<FaultRow>& row) {
                             std::string name;
                             for (const char c : std::string_view{row.param.name}) {
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });

// Takes every byte the file system that holds `file` has left: reserved where it can
// reserve, written where it cannot.
void fillUp(const fs::path& file) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    off_t end = 0;
    for (off_t chunk = off_t{1} << 30; chunk > 0; chunk /= 2) {
        while (::fallocate(fd, 0, end, chunk) == 0) {
            end += chunk;
        }
    }
    const std::string zeros(65536, '\0');
    for (std::size_t chunk = zeros.size(); chunk > 0; chunk /= 2) {
        while (::pwrite(fd, zeros.data(), chunk, end) == static_cast<ssize_t>(chunk)) {
            end += static_cast<off_t>(chunk);
        }
    }
    ::close(fd);
}

// A full file system on which the file ends just before one of its blocks does: the line
// fits only in part.
struct FullDiskRow {
    const char* name;
    const char* format; // a command formatting the image named after it; none for tmpfs
    std::size_t fileSize;
    // Room is reserved, or the line refused, before any byte is written: a reader following
    // the file never sees even a passing fragment (on ext3, the line is written and cut back).
    bool neverWritten = true;
    bool appendOnly = false;  // chattr +a: what a failed write leaves cannot be cut back
    std::size_t leftFree = 0; // bytes of the file system left free: a file of that size removed
};

// Watches a file as a follower such as tail -f does: told of every write and cut-back.
class Follower {
public:
    explicit Follower(const fs::path& file) : inotify_{::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)} {
        ::inotify_add_watch(inotify_, file.c_str(), IN_MODIFY);
    }
    ~Follower() { ::close(inotify_); }
    Follower(const Follower&) = delete;
    Follower& operator=(const Follower&) = delete;

    bool toldOfAChange() const {
        char events[4096];
        return ::read(inotify_, events, sizeof events) > 0;
    }

private:
    int inotify_;
};

class FullDisk : public ::testing::TestWithParam<FullDiskRow> {};

// The send fails and leaves the file as it was, so the next send, once there is room, is one
// whole line of its own.
TEST_P(FullDisk, LineThatDoesNotFitLeavesNothingBehind) {
    const FullDiskRow& row = GetParam();
    TempDir dir;
    const fs::path mountPoint = dir / "small";
    fs::create_directory(mountPoint);
    if (row.format == nullptr) {
        if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=8k") != 0) {
            GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): "
                         << std::strerror(errno);
        }
    } else {
        const fs::path image = dir / "disk.img";
        testing::writeBytes(image, "");
        fs::resize_file(image, 300 << 20); // sparse; XFS needs 300 MiB
        const std::string quiet = " >/dev/null 2>&1";
        if (std::system((row.format + (" " + image.string()) + quiet).c_str()) != 0 ||
            std::system(
                ("mount -o loop " + image.string() + " " + mountPoint.string() + quiet).c_str()) !=
                0) {
            GTEST_SKIP() << "cannot format and mount " << row.name << " here (needs root)";
        }
    }
    const std::string before = std::string(row.fileSize - 2, 'x') + "\r\n";
    testing::writeBytes(mountPoint / "Entries.txt", before);
    if (row.appendOnly && !setFileFlag(mountPoint / "Entries.txt", FS_APPEND_FL, true)) {
        ::umount2(mountPoint.c_str(), MNT_DETACH);
        GTEST_SKIP() << "cannot make the file append-only here";
    }
    if (row.leftFree > 0) {
        testing::writeBytes(mountPoint / "spare", std::string(row.leftFree, 's'));
    }
    fillUp(mountPoint / "filler");
    if (row.leftFree > 0) {
        fs::remove(mountPoint / "spare");
        ::sync(); // the journal lets the freed blocks go only once it commits
    }
    const std::string path = testing::utf8(mountPoint / "Entries.txt");
    const Follower follower{mountPoint / "Entries.txt"};

    const AppendResult full = appendSignalLine(path, "cxlplace,BUY,1,MKT,0,0,2007011816520");
    const std::string after = testing::readBytes(mountPoint / "Entries.txt");
    const bool followerToldOfAChange = follower.toldOfAChange();
    fs::remove(mountPoint / "filler");
    const AppendResult withRoom = appendSignalLine(path, "cxlplace,SELL,1,MKT,0,0,2007011816530");
    const std::string last = testing::readBytes(mountPoint / "Entries.txt");
    setFileFlag(mountPoint / "Entries.txt", FS_APPEND_FL, false);
    ::umount2(mountPoint.c_str(), MNT_DETACH);

    EXPECT_EQ(full, AppendResult::failed(failure::DiskFull, "Disk full"));
    EXPECT_TRUE(after == before) << "the file now ends in " << after.substr(before.size() - 2);
    if (row.neverWritten) {
        EXPECT_FALSE(followerToldOfAChange) << "the line was written and cut back";
    }
    EXPECT_TRUE(withRoom.succeeded());
    EXPECT_TRUE(last == before + "cxlplace,SELL,1,MKT,0,0,2007011816530\r\n")
        << "the file now ends in " << last.substr(before.size() - 2);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FullDisk,
    ::testing::Values(FullDiskRow{"tmpfs", nullptr, 4078},
                      FullDiskRow{"ext3_1KiB_blocks", "mkfs.ext3 -q -F -b 1024", 4092, false},
                      FullDiskRow{"XFS_1KiB_blocks", "mkfs.xfs -q -f -b size=1024", 1020},
                      // ext3 can neither reserve room nor cut back an append-only file.
                      FullDiskRow{"ext3_append_only", "mkfs.ext3 -q -F -b 1024", 4092, true, true},
                      // The line's block is the first beyond the twelve an inode points to
                      // itself: with it comes an index block, and one block is left.
                      FullDiskRow{"ext3_append_only_first_indirect_block",
                                  "mkfs.ext3 -q -F -b 1024", 12286, true, true, 1024}),
    [](const ::testing::TestParamInfo<FullDiskRow>& row) { return std::string{row.param.name}; });

// The counterparts of the rows above: the same user and folder append when nothing is wrong,
// so a row fails for its fault and not for the way the child was set up; and a limit stops
// only a line that passes it.
TEST(FaultsOnAppend, AppendsBesideTheFaultsGo) {
    struct Row {
        const char* name;
        bool unprivileged;
        rlim_t fileSizeLimit; // 0: none set
    };
    const std::string line = "new,line";
    const Row rows[] = {
        {"unprivileged user appends to its own file", true, 0},
        {"line that ends at the file size limit", false, earlierLines.size() + line.size() + 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Scene scene{row.unprivileged ? AppendingUser::unprivileged() : AppendingUser{}};
        scene.giveToUser(scene.existing);
        const std::string path = testing::utf8(scene.existing);
        const int code = testing::exitCodeOfChild([&] {
            const rlimit limit{row.fileSizeLimit, row.fileSizeLimit};
            if (!scene.user.become() ||
                (row.fileSizeLimit != 0 && ::setrlimit(RLIMIT_FSIZE, &limit) != 0)) {
                return 200;
            }
            return appendSignalLine(path, line).code();
        });
        EXPECT_EQ(code, 0);
        EXPECT_EQ(testing::readBytes(scene.existing), earlierLines + "new,line\r\n");
    }
}

// The largest pipe the system lets a process make, in bytes; 0 where it does not say.
std::size_t largestPipe() {
    std::ifstream limit{"/proc/sys/fs/pipe-max-size"};
    std::size_t bytes = 0;
    limit >> bytes;
    return bytes;
}

// A FIFO whose reader is waiting for the next line (as `cat` is) or behind: a line goes whole
// or not at all, so the reader never gets part of one with the next line glued on. A line
// longer than the pipe holds goes whole once the pipe is enlarged for it.
TEST(FaultsOnAppend, PipeTakesWholeLinesOrNothing) {
    const std::string pipeFull =
        "Device I/O error: The pipe is full: its reader has not taken what came before";
    struct Row {
        const char* name;
        std::size_t queued;    // the bytes of a line sent before, waiting in the pipe
        std::size_t taken;     // of which the reader has taken these
        std::size_t lineBytes; // the line's length with its line end
        std::string expected;  // the failure's description; empty for success
        std::chrono::milliseconds paused;
    };
    const Row rows[] = {
        {"line that fits", 0, 0, 60002, "", 0ms},
        {"line behind one the reader has not taken", 60002, 0, 10002, pipeFull, 1007ms},
        {"line behind one the reader has taken", 60002, 60002, 10002, "", 0ms},
        // The reader's partly taken first page still fills a page of the pipe.
        {"line the pipe holds only beside a partly taken page", 8392, 4000, 57344, pipeFull,
         1007ms},
        {"line longer than the pipe", 0, 0, 100002, "", 0ms},
        {"line as long as the largest pipe", 0, 0, 1048576, "", 0ms},
        {"line longer than the largest pipe", 0, 0, 1048578,
         "Device I/O error: The line is too long for the pipe: 1048578 bytes with its line end, "
         "and the system lets the pipe hold 1048576",
         0ms},
    };
    if (largestPipe() != 1048576) {
        GTEST_SKIP() << "the rows expect the system's default largest pipe, 1 MiB";
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const fs::path fifo = dir / "fifo";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(reader, 0);
        ASSERT_EQ(::fcntl(reader, F_SETPIPE_SZ, 65536), 65536);
        testing::InstantRetryClock clock;
        std::string received(2 << 20, '\0');
        if (row.queued > 0) {
            ASSERT_TRUE(
                appendSignalLine(testing::utf8(fifo), std::string(row.queued - 2, 'a'), clock)
                    .succeeded());
            ASSERT_EQ(::read(reader, received.data(), row.taken), static_cast<ssize_t>(row.taken));
        }
        const AppendResult result =
            appendSignalLine(testing::utf8(fifo), std::string(row.lineBytes - 2, 'b'), clock);
        std::size_t got = 0;
        for (ssize_t now = 0; (now = ::read(reader, received.data() + got, 65536)) > 0;) {
            got += static_cast<std::size_t>(now);
        }
        ::close(reader);

        EXPECT_EQ(result, row.expected.empty()
                              ? AppendResult::success()
                              : AppendResult::failed(failure::DeviceIOError, row.expected));
        EXPECT_EQ(clock.paused(), row.paused) << "a reader that is behind gets about a second";
        const std::size_t lineGot = got - (row.queued - row.taken);
        EXPECT_EQ(lineGot, row.expected.empty() ? row.lineBytes : 0);
    }
}

// Another program's read lease (as an NFSv4 delegation or a Samba oplock is) is broken by the
// append, which waits for the holder to let go instead of failing at once.
TEST(FaultsOnAppend, ReadLeaseIsWaitedOutAsTheLockIs) {
    Scene scene{AppendingUser{}};
    testing::Pipe ready;
    testing::ChildProcess holder{[&] {
        sigset_t leaseBreak;
        sigemptyset(&leaseBreak);
        sigaddset(&leaseBreak, SIGIO);
        ::sigprocmask(SIG_BLOCK, &leaseBreak, nullptr);
        const int fd = ::open(scene.existing.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::fcntl(fd, F_SETLEASE, F_RDLCK) != 0) {
            return 1;
        }
        ready.sendByte();
        const timespec bound{10, 0};
        ::sigtimedwait(&leaseBreak, nullptr, &bound);
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        return 0;
    }};
    ready.closeWrite();
    if (!ready.receiveByte()) {
        GTEST_SKIP() << "leases cannot be taken here";
    }
    EXPECT_TRUE(appendSignalLine(testing::utf8(scene.existing), "new,line").succeeded());
    EXPECT_EQ(testing::readBytes(scene.existing), earlierLines + "new,line\r\n");
}

// The system's own text in a failure comes in the locale's encoding; the message box gets it
// in UTF-8 whatever that encoding is.
TEST(FaultsOnAppend, SystemTextOfALatin1LocaleReachesTheMessageInUtf8) {
    TempDir dir;
    ::mkfifo((dir / "fifo").c_str(), 0600);
    const std::string locale = "de_DE.ISO-8859-1";
    const std::string make = "localedef -i de_DE -f ISO-8859-1 " + (dir / locale).string();
    if (std::system((make + " >/dev/null 2>&1").c_str()) != 0) {
        GTEST_SKIP() << "cannot make a Latin-1 locale here (localedef)";
    }
    constexpr int noSuchLocale = 2;
    const int code = testing::exitCodeOfChild([&] {
        ::setenv("LOCPATH", dir.path().c_str(), 1);
        if (std::setlocale(LC_ALL, locale.c_str()) == nullptr) {
            return noSuchLocale;
        }
        const AppendResult result = appendSignalLine(testing::utf8(dir / "fifo"), "line");
        return result.description() ==
                       "Device I/O error: Kein passendes Ger\xc3\xa4t bzw. keine passende "
                       "Adresse gefunden"
                   ? 0
                   : 1;
    });
    if (code == noSuchLocale) {
        GTEST_SKIP() << "the Latin-1 locale made here does not load";
    }
    EXPECT_EQ(code, 0);
}

} // namespace
} // namespace kestrane::signal
