// The outcome of one append to the signal file: success, or a failure code with a description.
// Failures are values; only the send action turns one into what the user sees. Readers of a
// result test only failure::PathNotFound by number; every other code is shown with its
// description.
#pragma once

#include "signal/failure_codes.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace kestrane::signal {

class AppendResult {
public:
    static AppendResult success() { return AppendResult{}; }
    // The failure with its standard description.
    static AppendResult failed(int code) {
        return AppendResult{code, std::string{failureDescription(code)}};
    }
    // The standard description followed by what the system said, such as its own error text.
    static AppendResult failedWithDetail(int code, std::string_view detail) {
        return AppendResult{code,
                            std::string{failureDescription(code)} + ": " + std::string{detail}};
    }
    // The failure with a description of its own, such as one naming the refused character.
    static AppendResult failed(int code, std::string description) {
        return AppendResult{code, std::move(description)};
    }

    // This failure, saying that the first `written` bytes of the line stay in the file all the
    // same: the user must take neither the file for untouched nor the next line for whole.
    AppendResult leavingPart(std::size_t written) const {
        return AppendResult{code_, description_ + ": the first " + std::to_string(written) +
                                       " bytes of the line stay in the file"};
    }

    bool succeeded() const { return code_ == 0; }
    int code() const { return code_; }
    const std::string& description() const { return description_; }

    friend bool operator==(const AppendResult&, const AppendResult&) = default;

private:
    AppendResult() = default;
    AppendResult(int code, std::string description)
        : code_{code}, description_{std::move(description)} {}

    int code_ = 0;
    std::string description_;
};

} // namespace kestrane::signal
