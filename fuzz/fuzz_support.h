// What the fuzz targets share: a Windows-1252 table of their own, kept apart from the
// library's converter so that the two can disagree, a scratch folder, and the check that a
// property holds.
#pragma once

#include "signal/signal_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iconv.h>
#include <iterator>
#include <optional>
#include <stdlib.h>
#include <string>
#include <string_view>
#include <system_error>

namespace kestrane::fuzz {

// Stops the run with a report when a property does not hold; libFuzzer saves the input.
inline void require(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "property violated: %s\n", property);
        std::abort();
    }
}

// The characters Windows-1252 puts at bytes 0x80 to 0x9F; 0 where the byte is undefined.
// Every other byte is the code point of the same number.
inline constexpr std::array<char32_t, 32> windows1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// The byte of `codePoint` in Windows-1252 as glibc's iconv converts it, an oracle independent
// of the library's own table. The converter drops some characters (the Unicode tag characters)
// without an error, so only exactly one byte out counts.
inline std::optional<char> windows1252Byte(char32_t codePoint) {
    static const iconv_t converter = ::iconv_open("WINDOWS-1252", "UTF-32LE");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    char in[4] = {static_cast<char>(codePoint & 0xFF), static_cast<char>((codePoint >> 8) & 0xFF),
                  static_cast<char>((codePoint >> 16) & 0xFF), static_cast<char>(codePoint >> 24)};
    char out[4];
    char* inNext = in;
    char* outNext = out;
    std::size_t inLeft = sizeof in;
    std::size_t outLeft = sizeof out;
    ::iconv(converter, nullptr, nullptr, nullptr, nullptr);
    if (::iconv(converter, &inNext, &inLeft, &outNext, &outLeft) == static_cast<std::size_t>(-1) ||
        inLeft != 0 || sizeof out - outLeft != 1) {
        return std::nullopt;
    }
    return out[0];
}

inline void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The next Unicode scalar value of strict UTF-8 at the front of `text`, consumed; nullopt for
// an ill-formed sequence (overlong, surrogate, beyond U+10FFFF, truncated, stray byte).
inline std::optional<char32_t> takeScalar(std::string_view& text) {
    const auto byte = [&](std::size_t i) {
        return static_cast<unsigned char>(text[i]);
    };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t smallest = 0;
    if (lead < 0x80) {
        text.remove_prefix(1);
        return lead;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, smallest = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() < length) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return std::nullopt;
        }
        value = (value << 6) | (byte(i) & 0x3F);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return std::nullopt;
    }
    text.remove_prefix(length);
    return value;
}

// `utf8` in Windows-1252, or nullopt when it is not strict UTF-8 or holds a character the
// code page lacks.
inline std::optional<std::string> toWindows1252(std::string_view utf8) {
    std::string bytes;
    while (!utf8.empty()) {
        const auto scalar = takeScalar(utf8);
        if (!scalar) {
            return std::nullopt;
        }
        const auto byte = windows1252Byte(*scalar);
        if (!byte) {
            return std::nullopt;
        }
        bytes += *byte;
    }
    return bytes;
}

// Windows-1252 bytes back as UTF-8; nullopt at an undefined byte.
inline std::optional<std::string> fromWindows1252(std::string_view bytes) {
    std::string utf8;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const char32_t codePoint =
            byte >= 0x80 && byte < 0xA0 ? windows1252High[byte - 0x80] : char32_t{byte};
        if (codePoint == 0 && byte != 0) {
            return std::nullopt;
        }
        appendUtf8(utf8, codePoint);
    }
    return utf8;
}

inline bool isStrictUtf8(std::string_view text) {
    while (!text.empty()) {
        if (!takeScalar(text)) {
            return false;
        }
    }
    return true;
}

// A C0 control other than TAB, or DEL: refused before anything else about the line.
inline bool holdsAsciiControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && byte != '\t') || byte == 0x7F;
    });
}

inline std::string readFile(const std::filesystem::path& file) {
    std::ifstream in{file, std::ios::binary};
    return {std::istreambuf_iterator<char>{in}, std::istreambuf_iterator<char>{}};
}

// Writes a new file in place of any old one. Removing first instead of truncating keeps
// ext4 from flushing the file to disk at every close, which would slow a run a hundredfold.
inline void writeFile(const std::filesystem::path& file, std::string_view bytes) {
    std::error_code ignored;
    std::filesystem::remove(file, ignored);
    std::ofstream out{file, std::ios::binary};
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A folder of its own for the whole run, removed when the run ends normally.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kestrane-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Lines already in the file before each append; they must come through untouched.
inline constexpr std::string_view earlierLines = "earlier,signal,1\r\nearlier,signal,2\r\n";

// Appends `line` to `file`, which holds earlierLines, and checks everything that must hold
// afterwards, whatever the line is: a line with a control character such as CR, LF or NUL, or one
// the code page cannot hold, is refused with InvalidText and the file is unchanged; any other line
// reaches the file whole, in the code page, and reads back as exactly the text given.
inline signal::AppendResult appendAndCheck(const std::filesystem::path& file,
                                           std::string_view line) {
    writeFile(file, earlierLines);
    signal::AppendResult result = signal::appendSignalLine(file.string(), line);
    const std::string after = readFile(file);

    require(isStrictUtf8(result.description()), "the failure description is valid UTF-8");
    const std::optional<std::string> encoded = toWindows1252(line);
    if (holdsAsciiControl(line) || !encoded) {
        require(result.code() == signal::failure::InvalidText, "a refused line gives code 5");
        require(after == earlierLines, "a refused line leaves the file unchanged");
        return result;
    }
    require(result.succeeded(), "a line the code page can hold is appended");
    require(after.size() == earlierLines.size() + encoded->size() + 2 &&
                after.starts_with(earlierLines) && after.ends_with("\r\n"),
            "exactly one line and CR LF are added after the earlier lines");
    const std::string_view added =
        std::string_view{after}.substr(earlierLines.size(), encoded->size());
    require(!holdsAsciiControl(added), "no control character inside the added line");
    require(fromWindows1252(added) == line, "the line reads back byte for byte");
    return result;
}

} // namespace kestrane::fuzz
