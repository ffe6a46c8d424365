#pragma once

#include <string>

namespace platform {

// "hh:mm:ss" of a count of whole seconds; hours grow past two digits, negatives count as 0.
std::string HmsText(long long seconds);

} // namespace platform
