// Median time of one encipher and one decipher of a 14-character password, with tables and
// key schedule rebuilt on every call as the stored-password functions do.
#include "CRijndael.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace sqllumo::password;

template <class F> double medianMicros(F&& f)
{
    std::vector<double> times;
    for (int i = 0; i < 2001; ++i) {
        const auto start = std::chrono::steady_clock::now();
        f();
        times.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return times[times.size() / 2];
}

int main()
{
    const Bytes key = TextToBytes(u"Administrator");
    const Bytes message = TextToBytes(u"fourteen chars");
    const Bytes cipher = EncipherPassword(key, message);
    size_t sink = 0;
    const double enc = medianMicros([&] { sink += EncipherPassword(key, message).size(); });
    const double dec = medianMicros([&] { sink += DecipherPassword(key, cipher).size(); });
    std::printf("encipher 14 chars: median %.2f us\ndecipher 14 chars: median %.2f us\n", enc, dec);
    return sink == 0;
}
