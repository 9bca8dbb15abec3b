// The content of one signal: the time stamp and the comma-separated line.
//
// Pure functions of their inputs: nothing here touches the clock, the window or the file.
#pragma once

#include "clock.h"

#include <optional>
#include <string>
#include <string_view>

namespace kestrane::signal {

// The six order texts of one send, in line order, taken verbatim from the window.
// Nothing is trimmed, validated or converted: an empty text is a valid value.
struct SignalFields {
    std::string procedure;
    std::string side;
    std::string contracts;
    std::string orderType;
    std::string limitPrice;
    std::string auxPrice;
};

// YYYYMMDDhhmm followed by one "0": 16:52 on 18 January 2007 gives "2007011816520".
std::string makeTimeStamp(const LocalDateTime& time);

// procedure,side,contracts,orderType,limitPrice,auxPrice,timeStamp[,tag]
// No quoting and no escaping; a given tag adds its separator even when the tag is empty.
std::string composeSignalLine(const SignalFields& fields, std::string_view timeStamp,
                              std::optional<std::string_view> tag = std::nullopt);

} // namespace kestrane::signal
