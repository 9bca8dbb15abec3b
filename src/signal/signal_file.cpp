#include "signal_file.h"

#include "file_backend.h"
#include "utf8.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>

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

// `value` in upper-case hexadecimal, with at least `digits` digits. Without printf, whose
// MinGW implementation (floating point included) would be a tenth of the Windows program.
std::string hexadecimal(char32_t value, std::size_t digits) {
    char buffer[8];
    char* const end = std::to_chars(buffer, buffer + sizeof buffer, std::uint32_t{value}, 16).ptr;
    const auto length = static_cast<std::size_t>(end - buffer);
    std::string text(length < digits ? digits - length : 0, '0');
    for (const char* digit = buffer; digit != end; ++digit) {
        text += *digit >= 'a' ? static_cast<char>(*digit - 'a' + 'A') : *digit;
    }
    return text;
}

// The refusal of the character that `rest` starts with, naming it by its code point and as
// itself, or naming the byte there when it starts no valid UTF-8 character (`character` is
// empty): quoting that would put invalid UTF-8 into the message box.
AppendResult cannotHoldCharacter(std::string_view rest,
                                 const std::optional<utf8::Character>& character) {
    if (!character) {
        return AppendResult::failed(failure::InvalidText,
                                    "Signal text is not valid UTF-8 at byte 0x" +
                                        hexadecimal(static_cast<unsigned char>(rest.front()), 2));
    }
    return AppendResult::failed(failure::InvalidText,
                                "The signal file's code page cannot hold the character U+" +
                                    hexadecimal(character->codePoint, 4) + " \"" +
                                    std::string{rest.substr(0, character->length)} + "\"");
}

// The line in the file's 8-bit code page, one character at a time: each must have bytes of
// its own there, so that a character the code page lacks is refused by name, never dropped
// or replaced by a look-alike.
std::variant<std::string, AppendResult> encodeLine(std::string_view line) {
    std::string bytes;
    bytes.reserve(line.size() + lineEnd.size());
    for (std::string_view rest = line; !rest.empty();) {
        const std::optional<utf8::Character> character = utf8::decodeFront(rest);
        if (!character || !backend::encodeCharacter(rest.substr(0, character->length), bytes)) {
            return cannotHoldCharacter(rest, character);
        }
        rest.remove_prefix(character->length);
    }
    return bytes;
}

} // namespace

AppendResult appendSignalLine(std::string_view path, std::string_view line) {
    if (holdsLineBreakOrNul(line)) {
        return AppendResult::failed(failure::InvalidText);
    }
    if (path.empty()) {
        return AppendResult::failed(failure::BadFileName);
    }
    // Signals are almost always ASCII, which every code page the file may use holds as it is.
    std::string bytes;
    if (isAscii(line)) {
        bytes.reserve(line.size() + lineEnd.size()); // one allocation, the line end included
        bytes.assign(line);
    } else {
        auto encoded = encodeLine(line);
        if (auto* refused = std::get_if<AppendResult>(&encoded)) {
            return std::move(*refused);
        }
        bytes = std::get<std::string>(std::move(encoded));
    }
    // Line and line end go to the system as one buffer, so no other writer's line can land
    // between them. A reader may still see the line's first bytes before its CR LF.
    bytes += lineEnd;
    // A path that holds a NUL would end there for the system and name another file.
    if (path.find('\0') != std::string_view::npos) {
        return AppendResult::failed(failure::BadFileName);
    }
    return backend::appendBytes(path, bytes);
}

} // namespace kestrane::signal
