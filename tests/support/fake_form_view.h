// The window as the send action sees it, without a window: the texts it reads, and a record
// of every call the action makes.
#pragma once

#include "signal/send_action.h"

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kestrane::testing {

class FakeFormView : public signal::SignalFormView {
public:
    struct Message {
        std::string text;
        signal::MessageIcon icon;
        std::string caption;
    };

    // The designed initial values of the fields the action reads, but for the path (Text6).
    // Reading a control without a text throws std::out_of_range.
    std::array<std::optional<std::string>, signal::textControlCount> texts{
        "cxlplace", "BUY", "1", "MKT", "0", "0", "entry", std::nullopt,
    };
    std::string timeStamp;
    bool tagSelected = true;
    // Off, the calls are not recorded (a benchmark's millions of sends).
    bool recording = true;
    mutable std::vector<std::string> calls;
    std::vector<Message> messages;

    std::optional<std::string>& text(signal::TextControl control) {
        return texts[static_cast<std::size_t>(control)];
    }

    std::string controlText(signal::TextControl control) const override {
        record("read ", signal::nameOf(control));
        const std::optional<std::string>& found = texts[static_cast<std::size_t>(control)];
        if (!found) {
            throw std::out_of_range{"no text in " + std::string{signal::nameOf(control)}};
        }
        return *found;
    }
    void setTimeStampText(const std::string& text) override {
        record("stamp ", text);
        timeStamp = text;
    }
    bool isTagSelected() const override {
        record("tag?");
        return tagSelected;
    }
    void showMessage(const std::string& text, signal::MessageIcon icon,
                     const std::string& caption) override {
        record("message");
        messages.push_back({text, icon, caption});
    }

private:
    void record(std::string_view call, std::string_view subject = {}) const {
        if (recording) {
            calls.push_back(std::string{call} + std::string{subject});
        }
    }
};

} // namespace kestrane::testing
