// Line composition, from the clock and the window to the file: fuzzed control texts, tag
// choice and clock values go through the real send action with a window of fixed texts.
#include "fuzz_support.h"
#include "signal/send_action.h"
#include "support/fake_form_view.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fuzzer/FuzzedDataProvider.h>
#include <vector>

namespace {

using namespace kestrane;
using kestrane::fuzz::require;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::ScratchFolder folder;
    const auto file = folder.path() / "Entries.txt";
    FuzzedDataProvider input{data, size};

    testing::FakeFormView view;
    signal::SignalFields fields;
    for (std::string* field : {&fields.procedure, &fields.side, &fields.contracts,
                               &fields.orderType, &fields.limitPrice, &fields.auxPrice}) {
        *field = input.ConsumeRandomLengthString(64);
    }
    const std::string tag = input.ConsumeRandomLengthString(32);
    view.tagSelected = input.ConsumeBool();
    // Any calendar values at all; in range they must give the 13-digit stamp.
    const signal::LocalDateTime now{
        input.ConsumeBool() ? input.ConsumeIntegralInRange(1000, 9999)
                            : input.ConsumeIntegral<int>(),
        input.ConsumeIntegralInRange(1, 12), input.ConsumeIntegralInRange(1, 31),
        input.ConsumeIntegralInRange(0, 23), input.ConsumeIntegralInRange(0, 59)};

    const std::string stamp = signal::makeTimeStamp(now);
    if (now.year >= 1000 && now.year <= 9999) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%04d%02d%02d%02d%02d0", now.year, now.month,
                      now.day, now.hour, now.minute);
        require(stamp == expected, "the stamp is YYYYMMDDhhmm and a 0");
    }

    // Read back as a reader of the file would split it: the texts in order, one comma
    // between each two, nothing added or lost.
    const std::string line = signal::composeSignalLine(
        fields, stamp, view.tagSelected ? std::optional<std::string_view>{tag} : std::nullopt);
    std::vector<std::string> texts{
        fields.procedure, fields.side, fields.contracts, fields.orderType, fields.limitPrice,
        fields.auxPrice,  stamp};
    if (view.tagSelected) {
        texts.push_back(tag);
    }
    std::size_t expectedSize = texts.size() - 1;
    bool anyComma = false;
    for (const std::string& text : texts) {
        expectedSize += text.size();
        anyComma = anyComma || text.find(',') != std::string::npos;
    }
    require(line.size() == expectedSize, "the line is as long as its texts and their commas");
    require(line.starts_with(fields.procedure + ',') && line.ends_with(texts.back()),
            "the line starts with the procedure and ends with the stamp or tag");
    if (!anyComma) {
        std::vector<std::string> pieces{{}};
        for (const char c : line) {
            if (c == ',') {
                pieces.emplace_back();
            } else {
                pieces.back().push_back(c);
            }
        }
        require(pieces == texts, "split at its commas, the line gives back its texts");
    }

    // The same texts through the send action: what the file gains must be what the action
    // composed, and a message must stand for every refusal.
    view.texts = {{"cmbProc", fields.procedure},   {"cmbSide", fields.side},
                  {"txtContno", fields.contracts}, {"cmbType", fields.orderType},
                  {"txtLmt", fields.limitPrice},   {"txtAux", fields.auxPrice},
                  {"cmbEntryExit", tag},           {"Text6", file.string()}};
    fuzz::writeFile(file, fuzz::earlierLines);
    signal::Command1_Click(view, [&] { return now; });
    require(view.timeStamp == stamp, "the stamp is shown");
    require(view.tagSelected || std::ranges::count(view.calls, "read cmbEntryExit") == 0,
            "the tag box is read only when the tag is wanted");
    require(std::ranges::all_of(view.messages,
                                [](const testing::FakeFormView::Message& message) {
                                    return message.caption == signal::applicationTitle;
                                }),
            "every message carries the title");
    const std::string after = fuzz::readFile(file);

    // The plain append of the composed line must agree with the action on every count.
    const signal::AppendResult expected = fuzz::appendAndCheck(file, line);
    if (expected.succeeded()) {
        require(view.messages.empty(), "a successful send shows nothing");
        require(after == fuzz::readFile(file), "the action appends the composed line");
    } else {
        require(view.messages.size() == 1 &&
                    view.messages.front().text == signal::failureMessageText(expected),
                "a refused send shows its one message");
        require(after == fuzz::earlierLines, "a refused send leaves the file unchanged");
    }
    return 0;
}
