// One log line at a time on stderr, with a UTC time stamp. Never given a password.
#pragma once

#include <string_view>

namespace standin::tds {

void logLine(std::string_view text);

} // namespace standin::tds
