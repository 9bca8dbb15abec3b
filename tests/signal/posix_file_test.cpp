// What only POSIX systems need: paths in Windows form or with stray blanks, and the new file's
// permissions.
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

TEST(PosixSignalFile, PathsThatNameNoIntendedFileCreateNoStrayFile) {
    TempDir dir;
    const WorkingFolder inside{dir.path()};
    std::filesystem::create_directory(dir / "in");
    struct Row {
        const char* path;
        int code;
    };
    const Row rows[] = {
        {"C:\\Porlimax\\Signals\\Entries.txt", failure::PathNotFound},
        {"D:/x.txt", failure::PathNotFound},
        {"\\Porlimax\\Signals\\Entries.txt", failure::PathNotFound},
        {"\\\\server\\share\\Entries.txt", failure::PathNotFound},
        // White space at either end, or a last part ending in a space or a dot.
        {"in/sig.txt ", failure::BadFileName},
        {" in/sig.txt", failure::BadFileName},
        {"\tin/sig.txt", failure::BadFileName},
        {"in/sig.txt\t", failure::BadFileName},
        {"in/sig.txt.", failure::BadFileName},
        // Half a surrogate pair, as a window's UTF-16 holds it after a paste of broken text.
        {"in/sig\xed\xa0\x80.txt", failure::BadFileName},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(appendSignalLine(row.path, "line").code(), row.code) << row.path;
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"in"});
    // Spaces inside a path are ordinary.
    EXPECT_TRUE(appendSignalLine("in/my sig .txt", "line").succeeded());
    EXPECT_EQ(testing::readBytes(dir / "in" / "my sig .txt"), "line\r\n");
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
