#include "signal/signal_line.h"

#include <gtest/gtest.h>

namespace kestrane::signal {
namespace {

const SignalFields initialFields{"cxlplace", "BUY", "1", "MKT", "0", "0"};
const LocalDateTime designExample{2007, 1, 18, 16, 52};

TEST(MakeTimeStamp, PadsEveryFieldAndEndsInZero) {
    struct Row {
        LocalDateTime time;
        const char* stamp;
    };
    const Row rows[] = {
        {designExample, "2007011816520"},          {{2007, 3, 4, 9, 5}, "2007030409050"},
        {{2008, 1, 1, 0, 0}, "2008010100000"},     {{2007, 12, 31, 23, 59}, "2007123123590"},
        {{9999, 12, 31, 23, 59}, "9999123123590"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(makeTimeStamp(row.time), row.stamp);
    }
}

TEST(ComposeSignalLine, JoinsTextsVerbatim) {
    struct Row {
        const char* name;
        SignalFields fields;
        std::optional<std::string_view> tag;
        const char* line;
    };
    const Row rows[] = {
        {"initial values, tagged", initialFields, "entry",
         "cxlplace,BUY,1,MKT,0,0,2007011816520,entry"},
        {"initial values, untagged", initialFields, std::nullopt,
         "cxlplace,BUY,1,MKT,0,0,2007011816520"},
        {"empty tag keeps its separator", initialFields, "",
         "cxlplace,BUY,1,MKT,0,0,2007011816520,"},
        {"empty contracts",
         {"cxlplace", "BUY", "", "MKT", "0", "0"},
         std::nullopt,
         "cxlplace,BUY,,MKT,0,0,2007011816520"},
        {"comma is not escaped",
         {"cxlplace", "BUY", "1,5", "MKT", "0", "0"},
         std::nullopt,
         "cxlplace,BUY,1,5,MKT,0,0,2007011816520"},
        {"spaces are kept",
         {" cancel", "SELL ", " 2 ", "LMT", "1.5", "0"},
         " exit ",
         " cancel,SELL , 2 ,LMT,1.5,0,2007011816520, exit "},
        {"all empty", {}, std::nullopt, ",,,,,,2007011816520"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(composeSignalLine(row.fields, "2007011816520", row.tag), row.line) << row.name;
    }
}

} // namespace
} // namespace kestrane::signal
