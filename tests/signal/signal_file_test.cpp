// Appending on any platform: what reaches the file, what is refused, and what is left alone.
#include "signal/signal_file.h"
#include "support/append_result_printer.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <string>

namespace kestrane::signal {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::utf8;
using testing::writeBytes;

class SignalFileTest : public ::testing::Test {
protected:
    TempDir dir;
    std::filesystem::path file = dir / "Entries.txt";
};

TEST_F(SignalFileTest, NewFileHoldsExactlyTheLineAndCrLf) {
    ASSERT_TRUE(
        appendSignalLine(utf8(file), "cxlplace,BUY,1,MKT,0,0,2007011816520,entry").succeeded());
    EXPECT_EQ(readBytes(file), "cxlplace,BUY,1,MKT,0,0,2007011816520,entry\r\n");
}

TEST_F(SignalFileTest, LinesFollowInTheOrderOfTheCalls) {
    ASSERT_TRUE(appendSignalLine(utf8(file), "first").succeeded());
    ASSERT_TRUE(appendSignalLine(utf8(file), "second").succeeded());
    ASSERT_TRUE(appendSignalLine(utf8(file), "").succeeded());
    EXPECT_EQ(readBytes(file), "first\r\nsecond\r\n\r\n");
}

TEST_F(SignalFileTest, ExistingBytesAreKeptAndTheLineFollowsThem) {
    // Arbitrary bytes, a lone LF and a last line without its line end stay exactly as they are.
    const std::string earlier{"old,line\r\nunix line\n\xff\x01\x00 tail without end", 36};
    writeBytes(file, earlier);
    ASSERT_TRUE(appendSignalLine(utf8(file), "new").succeeded());
    EXPECT_EQ(readBytes(file), earlier + "new\r\n");
}

TEST_F(SignalFileTest, MissingFolderIsPathNotFoundAndCreatesNothing) {
    for (const auto& path : {dir / "missing" / "Entries.txt", dir / "a" / "b" / "c.txt"}) {
        const AppendResult result = appendSignalLine(utf8(path), "line");
        EXPECT_EQ(result.code(), failure::PathNotFound) << path;
        EXPECT_EQ(result.description(), "Path not found");
    }
    EXPECT_TRUE(dir.entries().empty());
}

TEST_F(SignalFileTest, RefusedLinesWriteNothing) {
    writeBytes(file, "kept\r\n");
    struct Row {
        const char* name;
        std::string line;
        std::string description;
    };
    const std::string lineBreak = "Signal text contains a line break or NUL character";
    const Row rows[] = {
        {"LF would split the signal", "cxlplace,BUY\n,1", lineBreak},
        {"CR would split the signal", "cxlplace,BUY,1\r", lineBreak},
        {"CR LF at the end", "cxlplace\r\n", lineBreak},
        {"NUL", std::string{"cxl\0place", 9}, lineBreak},
        // What Python's str.splitlines and other readers also end a line at.
        {"VT", "1\v5", lineBreak},
        {"FF", "1\f5", lineBreak},
        {"FS GS RS", "1\x1c\x1d\x1e", lineBreak},
        {"NEL", "1\xc2\x85", lineBreak},
        {"line separator", "1\xe2\x80\xa8", lineBreak},
        {"paragraph separator", "1\xe2\x80\xa9", lineBreak},
        {"BEL", "1\a5", "Signal text contains the control character U+0007"},
        {"DEL", "1\x7f", "Signal text contains the control character U+007F"},
        {"first C1 control", "1\xc2\x80", "Signal text contains the control character U+0080"},
        {"C1 control", "1\xc2\x81", "Signal text contains the control character U+0081"},
        {"last C1 control", "1\xc2\x9f", "Signal text contains the control character U+009F"},
        {"Greek omega", "cxlplace,\xce\xa9",
         "The signal file's code page cannot hold the character U+03A9 \"\xce\xa9\""},
        {"emoji", "\xf0\x9f\x98\x80",
         "The signal file's code page cannot hold the character "
         "U+1F600 \"\xf0\x9f\x98\x80\""},
        {"tag character, which a converter may drop without a word",
         "a\xf3\xa0\x80\xa0"
         "b",
         "The signal file's code page cannot hold the character U+E0020 \"\xf3\xa0\x80\xa0\""},
        // Quoted, these would reverse or reorder the rest of the message.
        {"right-to-left override", "1\xe2\x80\xae",
         "The signal file's code page cannot hold the character U+202E"},
        {"zero width space", "1\xe2\x80\x8b",
         "The signal file's code page cannot hold the character U+200B"},
        {"right-to-left mark", "1\xe2\x80\x8f",
         "The signal file's code page cannot hold the character U+200F"},
        {"left-to-right embedding", "1\xe2\x80\xaa",
         "The signal file's code page cannot hold the character U+202A"},
        {"right-to-left isolate", "1\xe2\x81\xa7",
         "The signal file's code page cannot hold the character U+2067"},
        {"last code point", "\xf4\x8f\xbf\xbf",
         "The signal file's code page cannot hold the character U+10FFFF \"\xf4\x8f\xbf\xbf\""},
        {"Hebrew letter, quoted between left-to-right marks", "\xd7\x90",
         "The signal file's code page cannot hold the character U+05D0 "
         "\"\xe2\x80\x8e\xd7\x90\xe2\x80\x8e\""},
        {"broken UTF-8", "abc\xc3", "Signal text is not valid UTF-8 at byte 0xC3"},
        {"lead byte before an ASCII character", "a\xc3(",
         "Signal text is not valid UTF-8 at byte 0xC3"},
        {"stray continuation byte", "a\x80", "Signal text is not valid UTF-8 at byte 0x80"},
        // Well-formed bytes that spell no character must not be quoted back as one.
        {"overlong NUL", "a\xe0\x80\x80", "Signal text is not valid UTF-8 at byte 0xE0"},
        // Half a surrogate pair, as a window's UTF-16 holds it after a paste of broken text.
        {"lone surrogate", "1\xed\xa0\x80",
         "The signal file's code page cannot hold the character U+D800"},
        {"lone low surrogate", "\xed\xbf\xbf",
         "The signal file's code page cannot hold the character U+DFFF"},
        {"past U+10FFFF", "\xf4\x90\x80\x80", "Signal text is not valid UTF-8 at byte 0xF4"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(appendSignalLine(utf8(file), row.line),
                  AppendResult::failed(failure::InvalidText, row.description))
            << row.name;
    }
    // A line that ends inside a character, though the bytes after it in memory complete it.
    EXPECT_EQ(
        appendSignalLine(utf8(file), std::string_view{"abc\xc3\xa9", 4}),
        AppendResult::failed(failure::InvalidText, "Signal text is not valid UTF-8 at byte 0xC3"));
    EXPECT_EQ(readBytes(file), "kept\r\n");
}

TEST_F(SignalFileTest, WesternTextIsWrittenInTheWindowsCodePage) {
    struct Row {
        const char* name;
        std::string line;
        std::string bytes;
    };
    const Row rows[] = {
        // One byte each in Windows-1252.
        {"e acute, euro sign, u umlaut and the pound sign",
         "caf\xc3\xa9,\xe2\x82\xac,\xc3\xbc,\xc2\xa3", "caf\xe9,\x80,\xfc,\xa3\r\n"},
        {"every character Windows-1252 has from 0x80 to 0x9F",
         "\xe2\x82\xac\xe2\x80\x9a\xc6\x92\xe2\x80\x9e\xe2\x80\xa6\xe2\x80\xa0\xe2\x80\xa1\xcb\x86"
         "\xe2\x80\xb0\xc5\xa0\xe2\x80\xb9\xc5\x92\xc5\xbd\xe2\x80\x98\xe2\x80\x99\xe2\x80\x9c"
         "\xe2\x80\x9d\xe2\x80\xa2\xe2\x80\x93\xe2\x80\x94\xcb\x9c\xe2\x84\xa2\xc5\xa1\xe2\x80\xba"
         "\xc5\x93\xc5\xbe\xc5\xb8",
         "\x80\x82\x83\x84\x85\x86\x87\x88\x89\x8a\x8b\x8c\x8e\x91\x92\x93\x94\x95\x96\x97\x98\x99"
         "\x9a\x9b\x9c\x9e\x9f\r\n"},
        // Printable, the no-break space and the soft hyphen among them: byte for byte.
        {"every character from U+00A0 to U+00FF",
         "\xc2\xa0\xc2\xa1\xc2\xa2\xc2\xa3\xc2\xa4\xc2\xa5\xc2\xa6\xc2\xa7\xc2\xa8\xc2\xa9\xc2\xaa"
         "\xc2\xab\xc2\xac\xc2\xad\xc2\xae\xc2\xaf\xc2\xb0\xc2\xb1\xc2\xb2\xc2\xb3\xc2\xb4\xc2\xb5"
         "\xc2\xb6\xc2\xb7\xc2\xb8\xc2\xb9\xc2\xba\xc2\xbb\xc2\xbc\xc2\xbd\xc2\xbe\xc2\xbf\xc3\x80"
         "\xc3\x81\xc3\x82\xc3\x83\xc3\x84\xc3\x85\xc3\x86\xc3\x87\xc3\x88\xc3\x89\xc3\x8a\xc3\x8b"
         "\xc3\x8c\xc3\x8d\xc3\x8e\xc3\x8f\xc3\x90\xc3\x91\xc3\x92\xc3\x93\xc3\x94\xc3\x95\xc3\x96"
         "\xc3\x97\xc3\x98\xc3\x99\xc3\x9a\xc3\x9b\xc3\x9c\xc3\x9d\xc3\x9e\xc3\x9f\xc3\xa0\xc3\xa1"
         "\xc3\xa2\xc3\xa3\xc3\xa4\xc3\xa5\xc3\xa6\xc3\xa7\xc3\xa8\xc3\xa9\xc3\xaa\xc3\xab\xc3\xac"
         "\xc3\xad\xc3\xae\xc3\xaf\xc3\xb0\xc3\xb1\xc3\xb2\xc3\xb3\xc3\xb4\xc3\xb5\xc3\xb6\xc3\xb7"
         "\xc3\xb8\xc3\xb9\xc3\xba\xc3\xbb\xc3\xbc\xc3\xbd\xc3\xbe\xc3\xbf",
         "\xa0\xa1\xa2\xa3\xa4\xa5\xa6\xa7\xa8\xa9\xaa\xab\xac\xad\xae\xaf\xb0\xb1\xb2\xb3\xb4\xb5"
         "\xb6\xb7\xb8\xb9\xba\xbb\xbc\xbd\xbe\xbf\xc0\xc1\xc2\xc3\xc4\xc5\xc6\xc7\xc8\xc9\xca\xcb"
         "\xcc\xcd\xce\xcf\xd0\xd1\xd2\xd3\xd4\xd5\xd6\xd7\xd8\xd9\xda\xdb\xdc\xdd\xde\xdf\xe0\xe1"
         "\xe2\xe3\xe4\xe5\xe6\xe7\xe8\xe9\xea\xeb\xec\xed\xee\xef\xf0\xf1\xf2\xf3\xf4\xf5\xf6\xf7"
         "\xf8\xf9\xfa\xfb\xfc\xfd\xfe\xff"
         "\r\n"},
    };
    for (const Row& row : rows) {
        std::filesystem::remove(file);
        EXPECT_EQ(appendSignalLine(utf8(file), row.line), AppendResult::success()) << row.name;
        EXPECT_EQ(readBytes(file), row.bytes) << row.name;
    }
}

TEST_F(SignalFileTest, TabAndSpaceAreKeptAsTyped) {
    ASSERT_TRUE(appendSignalLine(utf8(file), "cxlplace, \tBUY ~").succeeded());
    EXPECT_EQ(readBytes(file), "cxlplace, \tBUY ~\r\n");
}

TEST_F(SignalFileTest, EmptyPathIsBadFileName) {
    EXPECT_EQ(appendSignalLine("", "line"),
              AppendResult::failed(failure::BadFileName, "Bad file name or number"));
}

} // namespace
} // namespace kestrane::signal
