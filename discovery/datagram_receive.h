#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "discovery/udp_transport.h"

// What a receiving loop dropped, for its trace lines.
struct ReceiveTally {
    std::atomic<int> empty{0};
    std::atomic<int> errors{0};
};

// After a receive error (not an empty datagram) the receiving thread waits
// this long, so an error that repeats cannot make it spin.
constexpr std::int64_t kReceiveErrorPauseMs = 10;

// One receive on `socket` into `buffer` (at most `size` bytes), the step of
// every receiving thread of the searches. A datagram goes to `handle` (bytes
// received, source address). Receiving threads end only when their socket is
// closed: an empty datagram (any port scan sends one) or a passing receive
// error is dropped, counted in `tally` and traced under `who`, and the loop
// goes on. 0 to go on, 1 once `closing` is set and the socket has nothing
// more to give.
int receive_datagram(IUdpSocket* socket, const std::atomic<int>& closing, char* buffer, std::size_t size,
                     ReceiveTally& tally, const char* who, const std::function<void(long, const char*)>& handle);
