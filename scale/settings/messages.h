// Why a read gave no weight: for each failure, the French sentence that
// tells the operator, and whether the search for the scale may help (the
// set-up is wrong, not the weighing). Standard C++, in UTF-8: the window and
// the command line both show them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "outcome.h"

namespace pesolane {

// Whether the message offers the search for the scale.
enum class Offer : std::uint8_t {
    No,          // the scale is found and answers: the weighing, or the system, is at fault
    Yes,         // nothing set up, a port absent, an answer not understood
    WhenSilent,  // only when not one byte was heard
};

// `port` and `command` name the link (the command as the operator wrote it);
// `seconds` is its time limit.
std::string messageOf(const Weighing& w, std::string_view port, std::string_view command, double seconds);

// Whether the message for `f` offers the search; `heardNothing`: the read
// heard not one byte.
bool offersSearch(Failure f, bool heardNothing);

// Whether the message for `f` quotes the line that caused it, which the
// read then gives as the failure's detail.
bool quotesLine(Failure f);

}  // namespace pesolane
