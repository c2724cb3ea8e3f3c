// The French sentences that tell the operator why no weight was read.
// Standard C++, in UTF-8: the window and the command line both show them.
#pragma once

#include <string>
#include <string_view>

#include "outcome.h"

namespace pesolane {

// `port` and `command` name the link (the command as the operator wrote it);
// `seconds` is its time limit.
std::string messageOf(const Weighing& w, std::string_view port, std::string_view command, double seconds);

}  // namespace pesolane
