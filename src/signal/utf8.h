// UTF-8, the encoding of every text the core receives: what the user typed or pasted, so
// possibly not valid UTF-8 at all.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace kestrane::signal::utf8 {

struct Character {
    char32_t codePoint = 0;
    std::size_t length = 0; // in bytes, 1 to 4
};

// The character that `text` starts with, or nothing when its first bytes are not a valid
// UTF-8 character: a stray continuation byte, a truncated sequence, an overlong form, a
// surrogate or a value past U+10FFFF.
std::optional<Character> decodeFront(std::string_view text);

// Whether all of `text` is valid UTF-8.
bool isValid(std::string_view text);

// The surrogate code point (U+D800 to U+DFFF) that `text` starts with in the three bytes UTF-8
// would give it, or nothing. Not valid UTF-8, but what a window's UTF-16 to UTF-8 conversion
// writes for half a surrogate pair, so that the text can be refused naming it.
std::optional<char32_t> decodeSurrogate(std::string_view text);

} // namespace kestrane::signal::utf8
