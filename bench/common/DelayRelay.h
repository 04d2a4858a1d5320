#pragma once
// A TCP relay on loopback that hands every chunk it reads to the other side only after a fixed
// delay, in both directions, so a benchmark can measure a client over a slow network without
// leaving the machine. Chunks in flight overlap, as packets on a wire do.

#include <chrono>
#include <cstdint>
#include <memory>

namespace sqllumo::bench {

class DelayRelay {
public:
    // Listens on 127.0.0.1 at a free port and relays each connection to 127.0.0.1:targetPort.
    // Throws std::runtime_error when it cannot listen.
    DelayRelay(std::uint16_t targetPort, std::chrono::microseconds delay);
    // Closes every connection and waits for its threads.
    ~DelayRelay();
    DelayRelay(const DelayRelay&) = delete;
    DelayRelay& operator=(const DelayRelay&) = delete;

    std::uint16_t port() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace sqllumo::bench
