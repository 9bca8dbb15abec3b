#include "signal_file.h"

#include "file_backend.h"
#include "utf8.h"

#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace kestrane::signal {
namespace {

constexpr std::string_view lineEnd = "\r\n";

// Characters that a common line reader ends a line at (Python's str.splitlines, for one): in
// a line they would reach the reader as several signals.
bool isLineBreak(char32_t c) {
    return c == '\n' || c == '\r' || c == 0x0B || c == 0x0C || (c >= 0x1C && c <= 0x1E) ||
           c == 0x85 || c == 0x2028 || c == 0x2029;
}

// The characters no line may hold: the line breaks, and every other C0 control, DEL and C1
// control, which are invisible in the window and mean nothing in a signal. TAB is white space
// like a space to every reader.
bool isRefusedInALine(char32_t c) {
    return (c < 0x20 && c != '\t') || (c >= 0x7F && c < 0xA0) || isLineBreak(c);
}

// `value` in upper-case hexadecimal, with at least `digits` digits. Without printf, whose
// MinGW implementation (floating point included) would be a tenth of the Windows program.
std::string hexadecimal(char32_t value, std::size_t digits) {
    std::string text;
    for (; value != 0 || text.size() < digits; value >>= 4) {
        text.insert(text.begin(), "0123456789ABCDEF"[value & 0xF]);
    }
    return text;
}

// U+XXXX, the name by which a refusal shows a character.
std::string codePointName(char32_t c) {
    return "U+" + hexadecimal(c, 4);
}

AppendResult controlCharacterRefused(char32_t c) {
    if (c == 0 || isLineBreak(c)) {
        return AppendResult::failed(failure::InvalidText);
    }
    return AppendResult::failed(failure::InvalidText,
                                "Signal text contains the control character " + codePointName(c));
}

// Characters that would change how the rest of a message reads if it quoted them: bidi
// controls, which reverse or reorder the text after them, and invisible format characters.
bool changesTheTextAround(char32_t c) {
    return c == 0xAD || c == 0x034F || c == 0x061C || (c >= 0x115F && c <= 0x1160) ||
           (c >= 0x17B4 && c <= 0x17B5) || (c >= 0x180B && c <= 0x180F) ||
           (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2060 && c <= 0x206F) || c == 0x3164 || (c >= 0xFE00 && c <= 0xFE0F) ||
           c == 0xFEFF || c == 0xFFA0 || (c >= 0xFFF0 && c <= 0xFFFB) ||
           (c >= 0x1BCA0 && c <= 0x1BCA3) || (c >= 0x1D173 && c <= 0x1D17A);
}

// Letters of right-to-left scripts, which would pull the quotes and parenthesis after them
// into their own direction; quoted between left-to-right marks they stay in place.
bool isRightToLeft(char32_t c) {
    return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) ||
           (c >= 0xFE70 && c <= 0xFEFC) || (c >= 0x10800 && c <= 0x10FFF) ||
           (c >= 0x1E800 && c <= 0x1EFFF);
}

// The refusal of the character that `rest` starts with, naming it by its code point and as
// itself, or naming the byte there when it starts no valid UTF-8 character (`character` is
// empty) and no lone surrogate: quoting that would put invalid UTF-8 into the message box.
AppendResult cannotHoldCharacter(std::string_view rest,
                                 const std::optional<utf8::Character>& character) {
    const std::string_view cannotHold = "The signal file's code page cannot hold the character ";
    // Half a surrogate pair, named but not quoted: it is no character a message box can show.
    if (const std::optional<char32_t> surrogate = utf8::decodeSurrogate(rest)) {
        return AppendResult::failed(failure::InvalidText,
                                    std::string{cannotHold} + codePointName(*surrogate));
    }
    if (!character) {
        return AppendResult::failed(failure::InvalidText,
                                    "Signal text is not valid UTF-8 at byte 0x" +
                                        hexadecimal(static_cast<unsigned char>(rest.front()), 2));
    }
    const std::string refusal = std::string{cannotHold} + codePointName(character->codePoint);
    if (changesTheTextAround(character->codePoint)) {
        return AppendResult::failed(failure::InvalidText, refusal);
    }
    const std::string_view leftToRightMark = "\xE2\x80\x8E";
    const std::string mark{isRightToLeft(character->codePoint) ? leftToRightMark : ""};
    return AppendResult::failed(failure::InvalidText,
                                refusal + " \"" + mark +
                                    std::string{rest.substr(0, character->length)} + mark + "\"");
}

// The line in the file's 8-bit code page, one character at a time, or the refusal of the first
// character it may not hold: each must have bytes of its own there, so that a character the
// code page lacks is refused by name, never dropped or replaced by a look-alike.
std::variant<std::string, AppendResult> encodeLine(std::string_view line) {
    std::string bytes;
    bytes.reserve(line.size() + lineEnd.size()); // one allocation, the line end included
    for (std::string_view rest = line; !rest.empty();) {
        // Signals are almost always ASCII, which every code page the file may use holds as it
        // is: its bytes need no decoding.
        if (const auto byte = static_cast<unsigned char>(rest.front()); byte < 0x80) {
            if (isRefusedInALine(byte)) {
                return controlCharacterRefused(byte);
            }
            bytes += static_cast<char>(byte);
            rest.remove_prefix(1);
            continue;
        }
        const std::optional<utf8::Character> character = utf8::decodeFront(rest);
        if (character && isRefusedInALine(character->codePoint)) {
            return controlCharacterRefused(character->codePoint);
        }
        if (!character || !backend::encodeCharacter(character->codePoint, bytes)) {
            return cannotHoldCharacter(rest, character);
        }
        rest.remove_prefix(character->length);
    }
    return bytes;
}

} // namespace

AppendResult appendSignalLine(std::string_view path, std::string_view line) {
    return appendSignalLine(path, line, steadyRetryClock());
}

AppendResult appendSignalLine(std::string_view path, std::string_view line, RetryClock& clock) {
    auto encoded = encodeLine(line);
    if (auto* refused = std::get_if<AppendResult>(&encoded)) {
        return std::move(*refused);
    }
    // What the path must be on every platform, the backend judging the rest: text the system
    // takes up to its end. A path that holds a NUL would end there for the system and name
    // another file. One that is not UTF-8, as half a surrogate pair from a window's UTF-16 is
    // not (see utf8::decodeSurrogate), names no file the user can see: a file system that takes
    // any bytes would make one nobody asked for.
    if (path.empty() || path.find('\0') != std::string_view::npos || !utf8::isValid(path)) {
        return AppendResult::failed(failure::BadFileName);
    }
    // Line and line end go to the system as one buffer, so no other writer's line can land
    // between them.
    std::string bytes = std::get<std::string>(std::move(encoded));
    bytes += lineEnd;

    auto opened = backend::openForAppending(path, clock);
    if (auto* refused = std::get_if<AppendResult>(&opened)) {
        return std::move(*refused);
    }
    policy::OpenFile& file = *std::get<std::unique_ptr<policy::OpenFile>>(opened);
    if (AppendResult result = policy::appendToOpenFile(file, bytes, clock); !result.succeeded()) {
        return result;
    }
    // A close can fail where every write succeeded: NFS reports a failed write-back there.
    if (const policy::SystemError error = file.close(); error != 0) {
        return file.failure(error);
    }
    return AppendResult::success();
}

} // namespace kestrane::signal
