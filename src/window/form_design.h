// The designed window Form1 as data: every control's name, kind, caption or initial text,
// list entries, place in twips, container and tab index. Both front ends build their window
// from this table and their tests check the live controls against it.
#pragma once

#include <array>
#include <span>
#include <string_view>
#include <vector>

namespace kestrane::window {

enum class ControlKind { Label, ComboBox, TextBox, Frame, OptionButton, PushButton };

// Position and size in twips (1440 to the inch; 15 to a pixel at 96 DPI), from the top-left
// corner of the control's container's client area.
struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct ControlDesign {
    std::string_view name;
    ControlKind kind;
    std::string_view text; // caption, or initial text of a field
    std::span<const std::string_view> listEntries;
    TwipsRect bounds;
    int tabIndex;
    std::string_view container = {}; // empty: the form itself
    std::string_view labelFor = {};  // for a label: the field it names
    bool initiallySelected = false;  // for an option button
    bool readOnly = false;           // for a text box the program writes and never reads
};

namespace lists {
inline constexpr std::array<std::string_view, 2> procedures{"cxlplace", "cancel"};
inline constexpr std::array<std::string_view, 2> sides{"BUY", "SELL"};
inline constexpr std::array<std::string_view, 4> orderTypes{"MKT", "STP", "STPLMT", "LMT"};
inline constexpr std::array<std::string_view, 2> entryExit{"entry", "exit"};
} // namespace lists

inline constexpr std::string_view formName = "Form1";
inline constexpr std::string_view formCaption = "Kestrane Signal Simulator";
inline constexpr int formClientWidthTwips = 9345;
inline constexpr int formClientHeightTwips = 1440;

using enum ControlKind;

// In creation order: each container comes before what it holds.
inline constexpr std::array<ControlDesign, 22> form1Controls{{
    {"Label1", Label, "Procedure", {}, {120, 120, 975, 255}, 10, {}, "cmbProc"},
    {"Label2", Label, "Side", {}, {1200, 120, 615, 255}, 11, {}, "cmbSide"},
    {"Label3", Label, "Contracts", {}, {2040, 120, 855, 255}, 12, {}, "txtContno"},
    {"Label4", Label, "OrderType", {}, {3000, 120, 975, 255}, 13, {}, "cmbType"},
    {"Label5", Label, "Limit Price", {}, {4080, 120, 855, 255}, 14, {}, "txtLmt"},
    {"Label6", Label, "Aux Price", {}, {5040, 120, 855, 255}, 15, {}, "txtAux"},
    {"Label7", Label, "Time Stamp", {}, {6120, 120, 2175, 255}, 16, {}, "txtTimeStamp"},
    {"Label8", Label, "entry/exit", {}, {8400, 120, 855, 255}, 17, {}, "cmbEntryExit"},
    {"cmbProc", ComboBox, "cxlplace", lists::procedures, {120, 360, 975, 315}, 9},
    {"cmbSide", ComboBox, "BUY", lists::sides, {1200, 360, 735, 315}, 1},
    {"txtContno", TextBox, "1", {}, {2040, 360, 855, 285}, 2},
    {"cmbType", ComboBox, "MKT", lists::orderTypes, {3000, 360, 975, 315}, 3},
    {"txtLmt", TextBox, "0", {}, {4080, 330, 855, 285}, 4},
    {"txtAux", TextBox, "0", {}, {5040, 330, 975, 285}, 5},
    {"txtTimeStamp", TextBox, "", {}, {6120, 360, 2175, 285}, 6, {}, {}, false, true},
    {"cmbEntryExit", ComboBox, "entry", lists::entryExit, {8400, 360, 855, 315}, 7},
    {"Label9", Label, "Signal File Location:", {}, {120, 720, 3015, 255}, 21, {}, "Text6"},
    {"Text6", TextBox, "C:\\Porlimax\\Signals\\Entries.txt", {}, {120, 960, 4695, 375}, 8},
    {"Frame1", Frame, "Entry/Exit Tag", {}, {4920, 840, 2295, 495}, 18},
    {"optYes", OptionButton, "Yes", {}, {840, 240, 735, 195}, 19, "Frame1", {}, true},
    {"optNo", OptionButton, "No", {}, {1560, 240, 615, 195}, 20, "Frame1"},
    {"Command1", PushButton, "Send Out Signal", {}, {7320, 840, 1815, 495}, 0},
}};

// The control of that name, or nullptr.
const ControlDesign* findControl(std::string_view name);

// Whether a control of this kind can hold the keyboard focus. Labels and frames never do.
constexpr bool takesFocus(ControlKind kind) {
    return kind != Label && kind != Frame;
}

// The focus order: controls that take the focus, by ascending tab index. The option buttons
// of one container appear as one stop, under the name of the first of them.
std::vector<std::string_view> tabOrder();

// Twips to pixels at `dpi` dots per inch, rounded to the nearest pixel.
constexpr int twipsToPixels(int twips, int dpi) {
    return (twips * dpi + 720) / 1440;
}

} // namespace kestrane::window
