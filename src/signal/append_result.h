// The outcome of one append to the signal file: success, or a failure code with a description.
// Failures are values; only the send action turns one into what the user sees.
#pragma once

#include <string>
#include <utility>

namespace kestrane::signal {

// Failure codes, the same numbers on every platform. Readers of the result test only
// PathNotFound by number; every other code is shown with its description.
namespace failure {
inline constexpr int InvalidText = 5; // a line break, NUL or unencodable character in the line
inline constexpr int BadFileName = 52;
inline constexpr int PathNotFound = 76;
inline constexpr int PathFileAccessError = 75;
inline constexpr int PermissionDenied = 70;
inline constexpr int DiskFull = 61;
inline constexpr int TooManyFiles = 67;
inline constexpr int DiskNotReady = 71;
inline constexpr int DeviceIOError = 57;
} // namespace failure

class AppendResult {
public:
    static AppendResult success() { return AppendResult{}; }
    static AppendResult failed(int code, std::string description) {
        return AppendResult{code, std::move(description)};
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
