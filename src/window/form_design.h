// The designed window Form1 as data: every control's name, kind, caption or initial text,
// list entries, place in twips, container and tab index. Both front ends build their window
// from this table and their tests check the live controls against it.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace kestrane::window {

enum class ControlKind { Label, ComboBox, TextBox, Frame, OptionButton, PushButton };

// Every control of the form, one identity each, in the order of the table below. The values
// are the Win32 window's control IDs as well.
enum class ControlId : int {
    Label1 = 101,
    Label2,
    Label3,
    Label4,
    Label5,
    Label6,
    Label7,
    Label8,
    cmbProc,
    cmbSide,
    txtContno,
    cmbType,
    txtLmt,
    txtAux,
    txtTimeStamp,
    cmbEntryExit,
    Label9,
    Text6,
    Frame1,
    optYes,
    optNo,
    Command1,
};

constexpr std::size_t indexOf(ControlId id) {
    return static_cast<std::size_t>(id) - static_cast<std::size_t>(ControlId::Label1);
}

inline constexpr std::size_t controlCount = indexOf(ControlId::Command1) + 1;

// Position and size in twips (1440 to the inch; 15 to a pixel at 96 DPI), from the top-left
// corner of the control's container's client area.
struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct ControlDesign {
    ControlId id;
    std::string_view name;
    ControlKind kind;
    std::string_view text = {}; // caption, or initial text of a field
    std::span<const std::string_view> listEntries = {};
    TwipsRect bounds = {};
    int tabIndex = 0;
    std::optional<ControlId> container = {}; // none: the form itself
    std::optional<ControlId> labelFor = {};  // for a label: the field it names
    bool initiallySelected = false;          // for an option button
    bool readOnly = false;                   // for a text box the program writes and never reads
};

namespace lists {
inline constexpr std::array<std::string_view, 2> procedures{"cxlplace", "cancel"};
inline constexpr std::array<std::string_view, 2> sides{"BUY", "SELL"};
inline constexpr std::array<std::string_view, 4> orderTypes{"MKT", "STP", "STPLMT", "LMT"};
inline constexpr std::array<std::string_view, 2> entryExit{"entry", "exit"};
} // namespace lists

// The longest text, in UTF-16 code units, that a text box or combo box holds. A field lays out
// its whole text again for every key, and a key's time grows with it: with a field of 4,096
// characters a key costs about 2.5 ms of CPU in the Qt window and 26 ms in Wine's edit control
// (measured with Wine under qemu-i386, so an upper bound), with one of 32,767 about 13 and 190,
// with a million about a second in Qt alone. 4,096 bytes is also the longest path Linux takes,
// and far more than any signal field needs. A paste or a key that would make a field longer is
// refused whole, never cut, so a field always holds what the line carries: the window beeps and
// shows fieldFullText under the field.
inline constexpr int longestFieldText = 4'096;
inline constexpr std::string_view fieldFullText =
    "This field holds at most 4,096 characters, so it was left as it was.";

inline constexpr std::string_view formName = "Form1";
inline constexpr std::string_view formCaption = "Kestrane Signal Simulator";
inline constexpr int formClientWidthTwips = 9345;
inline constexpr int formClientHeightTwips = 1440;

// In ControlId order, which is also creation order: each container comes before what it holds.
inline constexpr std::array<ControlDesign, controlCount> form1Controls{{
    {.id = ControlId::Label1,
     .name = "Label1",
     .kind = ControlKind::Label,
     .text = "Procedure",
     .bounds = {120, 120, 975, 255},
     .tabIndex = 10,
     .labelFor = ControlId::cmbProc},
    {.id = ControlId::Label2,
     .name = "Label2",
     .kind = ControlKind::Label,
     .text = "Side",
     .bounds = {1200, 120, 615, 255},
     .tabIndex = 11,
     .labelFor = ControlId::cmbSide},
    {.id = ControlId::Label3,
     .name = "Label3",
     .kind = ControlKind::Label,
     .text = "Contracts",
     .bounds = {2040, 120, 855, 255},
     .tabIndex = 12,
     .labelFor = ControlId::txtContno},
    {.id = ControlId::Label4,
     .name = "Label4",
     .kind = ControlKind::Label,
     .text = "OrderType",
     .bounds = {3000, 120, 975, 255},
     .tabIndex = 13,
     .labelFor = ControlId::cmbType},
    {.id = ControlId::Label5,
     .name = "Label5",
     .kind = ControlKind::Label,
     .text = "Limit Price",
     .bounds = {4080, 120, 855, 255},
     .tabIndex = 14,
     .labelFor = ControlId::txtLmt},
    {.id = ControlId::Label6,
     .name = "Label6",
     .kind = ControlKind::Label,
     .text = "Aux Price",
     .bounds = {5040, 120, 855, 255},
     .tabIndex = 15,
     .labelFor = ControlId::txtAux},
    {.id = ControlId::Label7,
     .name = "Label7",
     .kind = ControlKind::Label,
     .text = "Time Stamp",
     .bounds = {6120, 120, 2175, 255},
     .tabIndex = 16,
     .labelFor = ControlId::txtTimeStamp},
    {.id = ControlId::Label8,
     .name = "Label8",
     .kind = ControlKind::Label,
     .text = "entry/exit",
     .bounds = {8400, 120, 855, 255},
     .tabIndex = 17,
     .labelFor = ControlId::cmbEntryExit},
    {.id = ControlId::cmbProc,
     .name = "cmbProc",
     .kind = ControlKind::ComboBox,
     .text = "cxlplace",
     .listEntries = lists::procedures,
     .bounds = {120, 360, 975, 315},
     .tabIndex = 9},
    {.id = ControlId::cmbSide,
     .name = "cmbSide",
     .kind = ControlKind::ComboBox,
     .text = "BUY",
     .listEntries = lists::sides,
     .bounds = {1200, 360, 735, 315},
     .tabIndex = 1},
    {.id = ControlId::txtContno,
     .name = "txtContno",
     .kind = ControlKind::TextBox,
     .text = "1",
     .bounds = {2040, 360, 855, 285},
     .tabIndex = 2},
    {.id = ControlId::cmbType,
     .name = "cmbType",
     .kind = ControlKind::ComboBox,
     .text = "MKT",
     .listEntries = lists::orderTypes,
     .bounds = {3000, 360, 975, 315},
     .tabIndex = 3},
    {.id = ControlId::txtLmt,
     .name = "txtLmt",
     .kind = ControlKind::TextBox,
     .text = "0",
     .bounds = {4080, 330, 855, 285},
     .tabIndex = 4},
    {.id = ControlId::txtAux,
     .name = "txtAux",
     .kind = ControlKind::TextBox,
     .text = "0",
     .bounds = {5040, 330, 975, 285},
     .tabIndex = 5},
    {.id = ControlId::txtTimeStamp,
     .name = "txtTimeStamp",
     .kind = ControlKind::TextBox,
     .text = "",
     .bounds = {6120, 360, 2175, 285},
     .tabIndex = 6,
     .readOnly = true},
    {.id = ControlId::cmbEntryExit,
     .name = "cmbEntryExit",
     .kind = ControlKind::ComboBox,
     .text = "entry",
     .listEntries = lists::entryExit,
     .bounds = {8400, 360, 855, 315},
     .tabIndex = 7},
    {.id = ControlId::Label9,
     .name = "Label9",
     .kind = ControlKind::Label,
     .text = "Signal File Location:",
     .bounds = {120, 720, 3015, 255},
     .tabIndex = 21,
     .labelFor = ControlId::Text6},
    {.id = ControlId::Text6,
     .name = "Text6",
     .kind = ControlKind::TextBox,
     .text = "C:\\Porlimax\\Signals\\Entries.txt",
     .bounds = {120, 960, 4695, 375},
     .tabIndex = 8},
    {.id = ControlId::Frame1,
     .name = "Frame1",
     .kind = ControlKind::Frame,
     .text = "Entry/Exit Tag",
     .bounds = {4920, 840, 2295, 495},
     .tabIndex = 18},
    {.id = ControlId::optYes,
     .name = "optYes",
     .kind = ControlKind::OptionButton,
     .text = "Yes",
     .bounds = {840, 240, 735, 195},
     .tabIndex = 19,
     .container = ControlId::Frame1,
     .initiallySelected = true},
    {.id = ControlId::optNo,
     .name = "optNo",
     .kind = ControlKind::OptionButton,
     .text = "No",
     .bounds = {1560, 240, 615, 195},
     .tabIndex = 20,
     .container = ControlId::Frame1},
    {.id = ControlId::Command1,
     .name = "Command1",
     .kind = ControlKind::PushButton,
     .text = "Send Out Signal",
     .bounds = {7320, 840, 1815, 495},
     .tabIndex = 0},
}};

constexpr bool rowsFollowTheirIds() {
    for (std::size_t i = 0; i < form1Controls.size(); ++i) {
        if (indexOf(form1Controls[i].id) != i) {
            return false;
        }
    }
    return true;
}
static_assert(rowsFollowTheirIds(), "form1Controls must list the controls in ControlId order");

constexpr const ControlDesign& designOf(ControlId id) {
    return form1Controls[indexOf(id)];
}

// The control of that name, or nullptr.
constexpr const ControlDesign* findControl(std::string_view name) {
    const auto found = std::ranges::find(form1Controls, name, &ControlDesign::name);
    return found == form1Controls.end() ? nullptr : &*found;
}

// The text box or combo box of that name, as the send action names the fields it reads. Any
// other name is a fault of the program, never a field without text: the program ends, naming
// it on standard error.
ControlId textFieldNamed(std::string_view name);

// Whether a control of this kind can hold the keyboard focus. Labels and frames never do.
constexpr bool takesFocus(ControlKind kind) {
    return kind != ControlKind::Label && kind != ControlKind::Frame;
}

// Every control, by ascending tab index.
std::vector<ControlId> tabIndexOrder();

// Whether the control starts a group of its own, as every control does but the option buttons
// of one container after the first: together they are one group.
bool startsGroup(ControlId id);

// Every text the control shows at start: its caption or initial text, then each list entry
// that differs from it.
std::vector<std::string_view> textsOf(ControlId id);

// Twips to pixels at `dpi` dots per inch, rounded to the nearest pixel.
constexpr int twipsToPixels(int twips, int dpi) {
    return (twips * dpi + 720) / 1440;
}

} // namespace kestrane::window
