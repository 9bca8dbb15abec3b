#include "utf8.h"

namespace kestrane::signal::utf8 {
std::optional<Character> decodeFront(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    const auto lead = static_cast<unsigned char>(text.front());
    // The length of the sequence that the lead byte starts; 0 for a byte that starts none.
    const std::size_t length = lead < 0x80   ? 1
                               : lead < 0xC2 ? 0
                               : lead < 0xE0 ? 2
                               : lead < 0xF0 ? 3
                               : lead < 0xF5 ? 4
                                             : 0;
    if (length == 0 || length > text.size()) {
        return std::nullopt;
    }
    char32_t codePoint = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) {
            return std::nullopt;
        }
        codePoint = (codePoint << 6) | (next & 0x3F);
    }
    // Well-formed lead and continuation bytes can still spell no character.
    constexpr char32_t smallestOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
    if (codePoint < smallestOfLength[length] || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        return std::nullopt;
    }
    return Character{codePoint, length};
}

bool isValid(std::string_view text) {
    while (!text.empty()) {
        const std::optional<Character> character = decodeFront(text);
        if (!character) {
            return false;
        }
        text.remove_prefix(character->length);
    }
    return true;
}

std::optional<char32_t> decodeSurrogate(std::string_view text) {
    if (text.size() < 3) {
        return std::nullopt;
    }
    const auto lead = static_cast<unsigned char>(text[0]);
    const auto second = static_cast<unsigned char>(text[1]);
    const auto third = static_cast<unsigned char>(text[2]);
    if (lead != 0xED || second < 0xA0 || second > 0xBF || (third & 0xC0) != 0x80) {
        return std::nullopt;
    }
    return char32_t{0xD000} | static_cast<char32_t>((second & 0x3F) << 6) | (third & 0x3F);
}

} // namespace kestrane::signal::utf8
