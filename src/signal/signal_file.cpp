#include "signal_file.h"

#include "file_backend.h"

#include <algorithm>
#include <cstdio>

namespace kestrane::signal {
namespace {

constexpr std::string_view lineEnd = "\r\n";

// One pass over the line: find_first_of would search the three characters once per byte,
// which costs as much as everything else the append does outside the system calls.
bool holdsLineBreakOrNul(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

namespace backend {

std::size_t utf8SequenceLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

AppendResult cannotHoldCharacter(std::string_view utf8Text, std::size_t offset) {
    const std::string_view rest = utf8Text.substr(offset < utf8Text.size() ? offset : 0);
    const auto lead = static_cast<unsigned char>(rest.empty() ? 0 : rest.front());
    const std::size_t length = utf8SequenceLength(lead);
    char32_t codePoint = length == 1 ? lead : lead & (0x7F >> length);
    bool valid = length != 0 && length <= rest.size();
    for (std::size_t i = 1; valid && i < length; ++i) {
        const auto next = static_cast<unsigned char>(rest[i]);
        valid = (next & 0xC0) == 0x80;
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    // Well-formed lead and continuation bytes can still spell no character: an overlong
    // form, a surrogate or a value past U+10FFFF. Quoting those would put invalid UTF-8 into
    // the message text.
    constexpr char32_t smallestOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
    valid = valid && codePoint >= smallestOfLength[length] && codePoint <= 0x10FFFF &&
            (codePoint < 0xD800 || codePoint > 0xDFFF);
    if (!valid) {
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X", lead);
        return AppendResult::failed(failure::InvalidText,
                                    "Signal text is not valid UTF-8 at byte " + std::string{byte});
    }
    char name[16];
    std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(codePoint));
    return AppendResult::failed(failure::InvalidText,
                                "The signal file's code page cannot hold the character " +
                                    std::string{name} + " \"" +
                                    std::string{rest.substr(0, length)} + "\"");
}

} // namespace backend

AppendResult appendSignalLine(std::string_view path, std::string_view line) {
    if (holdsLineBreakOrNul(line)) {
        return AppendResult::failed(failure::InvalidText,
                                    "Signal text contains a line break or NUL character");
    }
    if (path.empty()) {
        return AppendResult::failed(failure::BadFileName, "Bad file name or number");
    }
    // Signals are almost always ASCII, which the file's code page holds as it is.
    std::string bytes{line};
    if (!isAscii(line)) {
        auto encoded = backend::encodeForSignalFile(line);
        if (auto* refused = std::get_if<AppendResult>(&encoded)) {
            return std::move(*refused);
        }
        bytes = std::get<std::string>(std::move(encoded));
    }
    // Line and line end go to the system as one buffer, so no other writer's line can land
    // between them. A reader may still see the line's first bytes before its CR LF.
    bytes += lineEnd;
    return backend::appendBytes(path, bytes);
}

} // namespace kestrane::signal
