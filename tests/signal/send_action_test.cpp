// The send action against a recording view: what it reads, writes and shows, and that the stamp
// comes first.
#include "signal/send_action.h"
#include "support/fake_form_view.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace kestrane::signal {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::utf8;

const LocalClock fixedClock = [] {
    return LocalDateTime{2007, 1, 18, 16, 52};
};

class SendActionTest : public ::testing::Test {
protected:
    SendActionTest() { view.text("Text6") = utf8(file); }

    TempDir dir;
    std::filesystem::path file = dir / "Entries.txt";
    testing::FakeFormView view;
};

TEST_F(SendActionTest, ShowsTheStampFirstThenAppends) {
    Command1_Click(view, fixedClock);

    EXPECT_EQ(view.calls.front(), "stamp 2007011816520");
    EXPECT_EQ(readBytes(file), "cxlplace,BUY,1,MKT,0,0,2007011816520,entry\r\n");
}

TEST_F(SendActionTest, UnselectedTagLeavesTheTagBoxUnread) {
    view.tagSelected = false;
    view.text("cmbEntryExit").reset(); // reading it would throw

    Command1_Click(view, fixedClock);

    EXPECT_EQ(std::ranges::count(view.calls, "read cmbEntryExit"), 0);
    EXPECT_EQ(readBytes(file), "cxlplace,BUY,1,MKT,0,0,2007011816520\r\n");
    EXPECT_TRUE(view.messages.empty());
}

TEST_F(SendActionTest, EverySendReadsTheWindowAfresh) {
    Command1_Click(view, fixedClock);
    view.text("cmbSide") = "SELL";
    view.text("cmbEntryExit") = "";
    Command1_Click(view, [] { return LocalDateTime{2007, 1, 18, 16, 53}; });

    EXPECT_EQ(readBytes(file), "cxlplace,BUY,1,MKT,0,0,2007011816520,entry\r\n"
                               "cxlplace,SELL,1,MKT,0,0,2007011816530,\r\n");
    EXPECT_EQ(view.timeStamp, "2007011816530");
}

TEST_F(SendActionTest, MissingFolderShowsTheExclamationAfterTheStamp) {
    view.text("Text6") = utf8(dir / "missing" / "Entries.txt");

    Command1_Click(view, fixedClock);

    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(view.messages[0].text, "Make sure the path you specified is correct!");
    EXPECT_EQ(view.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(view.messages[0].caption, "Kestrane_Simulator");
    EXPECT_EQ(view.calls.front(), "stamp 2007011816520");
    EXPECT_EQ(view.calls.back(), "message");
    EXPECT_TRUE(dir.entries().empty());
}

TEST_F(SendActionTest, OtherFailuresShowTheGenericTextWithoutIcon) {
    struct Row {
        const char* name;
        std::string path;
        std::string lineField;
        std::string text;
    };
    const Row rows[] = {
        {"folder as path", utf8(dir.path()), "1",
         "Error 75 (Path/File access error) in procedure Command1_Click of Form Form1"},
        {"pasted line break", utf8(file), "1\r\n2",
         "Error 5 (Signal text contains a line break or NUL character) in procedure "
         "Command1_Click of Form Form1"},
    };
    for (const Row& row : rows) {
        view.messages.clear();
        view.text("Text6") = row.path;
        view.text("txtContno") = row.lineField;

        Command1_Click(view, fixedClock);

        ASSERT_EQ(view.messages.size(), 1u) << row.name;
        EXPECT_EQ(view.messages[0].text, row.text) << row.name;
        EXPECT_EQ(view.messages[0].icon, MessageIcon::None) << row.name;
        EXPECT_EQ(view.messages[0].caption, "Kestrane_Simulator") << row.name;
    }
    EXPECT_TRUE(dir.entries().empty());
}

TEST_F(SendActionTest, SendAfterAFailureRunsAgainFromTheStart) {
    view.text("Text6") = utf8(dir / "missing" / "Entries.txt");
    Command1_Click(view, fixedClock);
    view.calls.clear();
    view.text("Text6") = utf8(file);

    Command1_Click(view, fixedClock);

    EXPECT_EQ(view.calls.front(), "stamp 2007011816520");
    EXPECT_EQ(view.messages.size(), 1u);
    EXPECT_EQ(readBytes(file), "cxlplace,BUY,1,MKT,0,0,2007011816520,entry\r\n");
}

} // namespace
} // namespace kestrane::signal
