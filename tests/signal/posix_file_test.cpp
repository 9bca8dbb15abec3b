// What only POSIX systems need: paths in Windows form, and the new file's permissions.
#include "signal/signal_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace kestrane::signal {
namespace {

using testing::TempDir;

class WorkingFolder {
public:
    explicit WorkingFolder(const std::filesystem::path& folder)
        : previous_{std::filesystem::current_path()} {
        std::filesystem::current_path(folder);
    }
    ~WorkingFolder() { std::filesystem::current_path(previous_); }

private:
    std::filesystem::path previous_;
};

TEST(PosixSignalFile, WindowsFormPathsCreateNoStrayFile) {
    TempDir dir;
    const WorkingFolder inside{dir.path()};
    for (const char* path :
         {"C:\\Porlimax\\Signals\\Entries.txt", "D:/x.txt", "\\Porlimax\\Signals\\Entries.txt",
          "\\\\server\\share\\Entries.txt"}) {
        EXPECT_EQ(appendSignalLine(path, "line").code(), failure::PathNotFound) << path;
    }
    EXPECT_TRUE(dir.entries().empty());
    // A letter and a colon without a separator after them is an ordinary POSIX name.
    for (const char* path : {"x:rel.txt", "c:"}) {
        EXPECT_TRUE(appendSignalLine(path, "line").succeeded()) << path;
        EXPECT_EQ(testing::readBytes(dir / path), "line\r\n");
    }
}

TEST(PosixSignalFile, NulInsideThePathIsBadFileName) {
    // Passed on as a C string, the path would be cut at the NUL and name another file.
    TempDir dir;
    const std::string nulInside = testing::utf8(dir / "a") + std::string{"\0b.txt", 6};
    EXPECT_EQ(appendSignalLine(nulInside, "line").code(), failure::BadFileName);
    EXPECT_TRUE(dir.entries().empty());
}

TEST(PosixSignalFile, FileUsedAsFolderIsPathNotFound) {
    TempDir dir;
    testing::writeBytes(dir / "plain", "x");
    EXPECT_EQ(appendSignalLine(testing::utf8(dir / "plain" / "Entries.txt"), "line").code(),
              failure::PathNotFound);
}

TEST(PosixSignalFile, NewFileFollowsTheUmask) {
    TempDir dir;
    const mode_t previous = ::umask(027);
    const AppendResult result = appendSignalLine(testing::utf8(dir / "Entries.txt"), "line");
    ::umask(previous);
    ASSERT_TRUE(result.succeeded());
    struct stat info {};
    ASSERT_EQ(::stat((dir / "Entries.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

} // namespace
} // namespace kestrane::signal
