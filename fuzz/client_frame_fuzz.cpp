// Bytes from a device, as the client library parses them: framing, response
// matching by request id, events, and the device's login proof (the answer
// to the second request). Nothing a device sends may crash it.

#include <cstddef>
#include <cstdint>

#include "client/login_auth.h"
#include "client/response_router.h"
#include "runtime/rt_time.h"

using namespace kaltro;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    int events = 0;
    ResponseRouter router([&events](const DEVICE_EVENT&) { ++events; });
    std::uint32_t ids[3] = {router.expect(), router.expect(), router.expect()};
    // The first byte picks how the stream is cut into reads.
    std::size_t piece = 1 + data[0] % 64;
    for (std::size_t at = 1; at < size; at += piece) {
        if (!router.feed(data + at, std::min(piece, size - at))) break;
    }
    router.close(NETWORK_ERR_NETWORK);
    const Nonce nonce{};
    for (std::uint32_t id : ids) {
        Response response;
        std::int32_t result = router.wait(id, rt_clock_ms(), response);
        if (result == NETWORK_OK && response.payload.size() > kMaxPayload) __builtin_trap();
        if (id == ids[1])
            (void)device_proof_valid("tovik", nonce, nonce, "Admin", response.payload.data(), response.payload.size());
    }
    return 0;
}
