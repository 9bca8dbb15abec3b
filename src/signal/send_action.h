// The "Send Out Signal" action and what it needs from the window.
//
//   SignalFormView  the window as the action sees it: the texts of the controls it reads, the
//                   time stamp box, the tag option, and a modal message box.
//   Command1_Click  stamp from the clock, show the stamp, read the fields, compose the line,
//                   append it to the file named in Text6; report a failure in a message box.
#pragma once

#include "clock.h"
#include "signal_file.h"
#include "signal_line.h"

#include <string>
#include <string_view>

namespace kestrane::signal {

// The caption of every message box the action shows.
inline constexpr std::string_view applicationTitle = "Kestrane_Simulator";

enum class MessageIcon { None, Exclamation };

// What the send action needs from the window. Texts are UTF-8.
class SignalFormView {
public:
    virtual ~SignalFormView() = default;

    // The current text of the field that the window's design names `name` ("cmbProc",
    // "Text6", ...); for a combo box, the text of its edit field. A name that no field has is
    // a fault of the program, which never reads as an empty text.
    virtual std::string controlText(std::string_view name) const = 0;
    virtual void setTimeStampText(const std::string& text) = 0;
    // True when optYes is the selected button of the Entry/Exit Tag group.
    virtual bool isTagSelected() const = 0;
    // A modal message box with one OK button; returns when the user has dismissed it.
    virtual void showMessage(const std::string& text, MessageIcon icon,
                             const std::string& caption) = 0;
};

// The text the action shows for a failed append.
std::string failureMessageText(const AppendResult& result);

// One send, start to finish, including any message box.
void Command1_Click(SignalFormView& view, const LocalClock& clock = readLocalClock);

} // namespace kestrane::signal
