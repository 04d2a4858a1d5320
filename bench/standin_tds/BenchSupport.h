// Small helpers shared by the stand-in's client-side benchmarks: ASCII statement text as UTF-16
// and seconds elapsed on the steady clock.
#pragma once

#include <chrono>
#include <string>

namespace standin::bench {

using Clock = std::chrono::steady_clock;

inline std::u16string u16(const std::string& s)
{
    return std::u16string(s.begin(), s.end());
}

inline double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

} // namespace standin::bench
