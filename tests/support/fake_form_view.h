// The window as the send action sees it, without a window: the texts it reads, and a record
// of every call the action makes.
#pragma once

#include "signal/send_action.h"

#include <functional>
#include <map>
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

    // The designed initial values of the fields the action reads, by name, but for the path
    // (Text6). Reading a name without a text, or not among them, throws std::out_of_range.
    std::map<std::string, std::optional<std::string>, std::less<>> texts{
        {"cmbProc", "cxlplace"},   {"cmbSide", "BUY"},      {"txtContno", "1"},
        {"cmbType", "MKT"},        {"txtLmt", "0"},         {"txtAux", "0"},
        {"cmbEntryExit", "entry"}, {"Text6", std::nullopt},
    };
    std::string timeStamp;
    bool tagSelected = true;
    // Off, the calls are not recorded (a benchmark's millions of sends).
    bool recording = true;
    mutable std::vector<std::string> calls;
    std::vector<Message> messages;

    std::optional<std::string>& text(const std::string& name) { return texts.at(name); }

    std::string controlText(std::string_view name) const override {
        record("read ", name);
        const auto found = texts.find(name);
        if (found == texts.end() || !found->second) {
            throw std::out_of_range{"no text in " + std::string{name}};
        }
        return *found->second;
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
