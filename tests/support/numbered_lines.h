// Signal lines that name their writer and their place in the writer's sequence, and a reader
// that accepts a file only when it holds nothing but such lines, each whole and ended by CR LF,
// and a check that every writer's lines all arrived in the writer's order.
#pragma once

#include <charconv>
#include <string>
#include <string_view>
#include <vector>

namespace kestrane::testing {

struct NumberedLine {
    int writer = 0;
    int sequence = 0;

    friend bool operator==(const NumberedLine&, const NumberedLine&) = default;
};

// "cxlplace,BUY,<writer>,MKT,<sequence>,0,2007011816520,<tail>" without the line end. The tail
// repeats a letter of the writer's own a varying number of times, so lines differ in length
// and a line torn or merged with another one no longer reads back as any line at all.
inline std::string numberedLine(int writer, int sequence) {
    const auto tailLength = static_cast<std::size_t>(8 + (sequence * 37 + writer * 11) % 180);
    const char letter = static_cast<char>('a' + writer % 26);
    return "cxlplace,BUY," + std::to_string(writer) + ",MKT," + std::to_string(sequence) +
           ",0,2007011816520," + std::string(tailLength, letter);
}

struct NumberedReading {
    std::vector<NumberedLine> lines;
    // Empty when every byte belonged to a whole numbered line; otherwise what was wrong first.
    std::string fault;
};

inline NumberedReading readNumberedLines(std::string_view bytes) {
    NumberedReading reading;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find("\r\n");
        if (end == std::string_view::npos) {
            reading.fault = "bytes after the last line end: " + std::string{bytes.substr(0, 80)};
            return reading;
        }
        const std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(end + 2);

        // Fields 2 and 4 (from 0) are the writer and the sequence.
        std::vector<std::string_view> fields;
        for (std::size_t start = 0;;) {
            const std::size_t comma = line.find(',', start);
            fields.push_back(line.substr(start, comma - start));
            if (comma == std::string_view::npos) {
                break;
            }
            start = comma + 1;
        }
        NumberedLine parsed;
        const auto number = [](std::string_view text, int& value) {
            const auto [rest, error] =
                std::from_chars(text.data(), text.data() + text.size(), value);
            return error == std::errc{} && rest == text.data() + text.size();
        };
        if (fields.size() != 8 || !number(fields[2], parsed.writer) ||
            !number(fields[4], parsed.sequence) ||
            line != numberedLine(parsed.writer, parsed.sequence)) {
            reading.fault = "line " + std::to_string(reading.lines.size() + 1) +
                            " is not whole: " + std::string{line.substr(0, 80)};
            return reading;
        }
        reading.lines.push_back(parsed);
    }
    return reading;
}

// Empty when `lines` are exactly lines 0 to linesPerWriter - 1 of each of writers 0 to
// writers - 1, every writer's lines in its own order, however the writers' lines mix;
// otherwise what was wrong first.
inline std::string checkEveryWriterInOrder(const std::vector<NumberedLine>& lines, int writers,
                                           int linesPerWriter) {
    std::vector<int> next(static_cast<std::size_t>(writers), 0);
    for (std::size_t index = 0; index < lines.size(); ++index) {
        const NumberedLine& line = lines[index];
        const std::string where = "line " + std::to_string(index + 1) + ": ";
        if (line.writer < 0 || line.writer >= writers) {
            return where + "no writer " + std::to_string(line.writer);
        }
        int& expected = next[static_cast<std::size_t>(line.writer)];
        if (line.sequence != expected) {
            return where + "writer " + std::to_string(line.writer) + "'s line " +
                   std::to_string(line.sequence) + " where its line " + std::to_string(expected) +
                   " belongs";
        }
        ++expected;
    }
    for (int writer = 0; writer < writers; ++writer) {
        const int count = next[static_cast<std::size_t>(writer)];
        if (count != linesPerWriter) {
            return "writer " + std::to_string(writer) + " has " + std::to_string(count) +
                   " lines, not " + std::to_string(linesPerWriter);
        }
    }
    return {};
}

} // namespace kestrane::testing
