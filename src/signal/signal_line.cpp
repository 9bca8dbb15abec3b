#include "signal_line.h"

#include <cstdint>

namespace kestrane::signal {

std::string makeTimeStamp(const LocalDateTime& time) {
    // Each factor is a power of ten, so the decimal text is the zero-padded fields side by side.
    // The value is about 2e12, well past 32 bits.
    const std::int64_t value = std::int64_t{time.year} * 1'000'000'000 +
                               std::int64_t{time.month} * 10'000'000 +
                               std::int64_t{time.day} * 100'000 + std::int64_t{time.hour} * 1'000 +
                               std::int64_t{time.minute} * 10;
    return std::to_string(value);
}

std::string composeSignalLine(const SignalFields& fields, std::string_view timeStamp,
                              std::optional<std::string_view> tag) {
    std::string line;
    line.reserve(64);
    line += fields.procedure;
    for (std::string_view field :
         {std::string_view{fields.side}, std::string_view{fields.contracts},
          std::string_view{fields.orderType}, std::string_view{fields.limitPrice},
          std::string_view{fields.auxPrice}, timeStamp}) {
        line += ',';
        line += field;
    }
    if (tag) {
        line += ',';
        line += *tag;
    }
    return line;
}

} // namespace kestrane::signal
