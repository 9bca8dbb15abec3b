// The outcome of one append to the signal file: success, or a failure code with a description.
// Failures are values; only the send action turns one into what the user sees.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace kestrane::signal {

// Failure codes, the same numbers on every platform. Readers of the result test only
// PathNotFound by number; every other code is shown with its description.
namespace failure {
inline constexpr int InvalidText = 5; // a control or unencodable character in the line
inline constexpr int BadFileName = 52;
inline constexpr int PathNotFound = 76;
inline constexpr int PathFileAccessError = 75;
inline constexpr int PermissionDenied = 70;
inline constexpr int DiskFull = 61;
inline constexpr int TooManyFiles = 67;
inline constexpr int DiskNotReady = 71;
inline constexpr int DeviceIOError = 57;

// Every code, as src/signal/failure_codes.tsv lists them.
inline constexpr int all[] = {InvalidText,         BadFileName,      PathNotFound,
                              PathFileAccessError, PermissionDenied, DiskFull,
                              TooManyFiles,        DiskNotReady,     DeviceIOError};
} // namespace failure

// The standard description of a failure code; empty for a number that is none of them.
constexpr std::string_view failureDescription(int code) {
    switch (code) {
    case failure::InvalidText:
        return "Signal text contains a line break or NUL character";
    case failure::BadFileName:
        return "Bad file name or number";
    case failure::PathNotFound:
        return "Path not found";
    case failure::PathFileAccessError:
        return "Path/File access error";
    case failure::PermissionDenied:
        return "Permission denied";
    case failure::DiskFull:
        return "Disk full";
    case failure::TooManyFiles:
        return "Too many files";
    case failure::DiskNotReady:
        return "Disk not ready";
    case failure::DeviceIOError:
        return "Device I/O error";
    default:
        return {};
    }
}

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
