#include "send_action.h"

#include <optional>

namespace kestrane::signal {

std::string failureMessageText(const AppendResult& result) {
    if (result.code() == failure::PathNotFound) {
        return "Make sure the path you specified is correct!";
    }
    return "Error " + std::to_string(result.code()) + " (" + result.description() +
           ") in procedure Command1_Click of Form Form1";
}

void Command1_Click(SignalFormView& view, const LocalClock& clock) {
    // The steps run in this order; the stamp is shown before anything else can fail.
    const std::string timeStamp = makeTimeStamp(clock());
    view.setTimeStampText(timeStamp);

    SignalFields fields;
    fields.procedure = view.controlText("cmbProc");
    fields.side = view.controlText("cmbSide");
    fields.contracts = view.controlText("txtContno");
    fields.orderType = view.controlText("cmbType");
    fields.limitPrice = view.controlText("txtLmt");
    fields.auxPrice = view.controlText("txtAux");
    // The tag box is read only when the tag is wanted.
    std::optional<std::string> tag;
    if (view.isTagSelected()) {
        tag = view.controlText("cmbEntryExit");
    }
    const std::string signalLine = composeSignalLine(fields, timeStamp, tag);

    const std::string signalFilePath = view.controlText("Text6");
    const AppendResult result = appendSignalLine(signalFilePath, signalLine);
    if (result.succeeded()) {
        return;
    }
    const MessageIcon icon =
        result.code() == failure::PathNotFound ? MessageIcon::Exclamation : MessageIcon::None;
    view.showMessage(failureMessageText(result), icon, std::string{applicationTitle});
}

} // namespace kestrane::signal
