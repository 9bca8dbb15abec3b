// The design table's own consistency: what both front ends rely on.
#include "support/form_design_lookup.h"
#include "window/form_design.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>

namespace kestrane::window {
namespace {

TEST(FormDesign, FocusMovesThroughTheFieldsAndTheOptionGroupAsOneStop) {
    using enum ControlId;
    const std::vector<ControlId> expected{
        Command1,     cmbSide,      txtContno, cmbType, txtLmt, txtAux,
        txtTimeStamp, cmbEntryExit, Text6,     cmbProc, optYes,
    };
    EXPECT_EQ(focusOrder(), expected);
}

TEST(FormDesign, TheSendActionReadsTextFieldsByNameAndNothingElse) {
    using enum ControlId;
    for (const auto& [name, id] : {std::pair{"cmbProc", cmbProc},
                                   {"txtContno", txtContno},
                                   {"cmbEntryExit", cmbEntryExit},
                                   {"Text6", Text6}}) {
        EXPECT_EQ(textFieldNamed(name), id) << name;
    }
    // A misspelt name, or one of a control without a text to send, ends the program loudly.
    for (const char* name : {"cmbproc", "Label1"}) {
        EXPECT_DEATH(textFieldNamed(name), std::string{"no text box or combo box named "} + name);
    }
}

TEST(FormDesign, ControlsFitTheirContainersAndLabelsNameRealFields) {
    for (const ControlDesign& control : form1Controls) {
        int width = formClientWidthTwips;
        int height = formClientHeightTwips;
        if (control.container) {
            width = designOf(*control.container).bounds.width;
            height = designOf(*control.container).bounds.height;
        }
        EXPECT_LE(control.bounds.left + control.bounds.width, width) << control.name;
        EXPECT_LE(control.bounds.top + control.bounds.height, height) << control.name;
        EXPECT_EQ(control.bounds.left % 15 + control.bounds.width % 15, 0) << control.name;
        EXPECT_EQ(control.kind == ControlKind::Label, control.labelFor.has_value()) << control.name;
        EXPECT_EQ(findControl(control.name), &control) << "names are unique";
        EXPECT_EQ(control.listEntries.empty() || control.listEntries.front() == control.text, true)
            << control.name << " starts with its first list entry";
    }
}

} // namespace
} // namespace kestrane::window
