// Bytes from a client, as a simulated camera parses them. With the first
// byte odd the harness logs in properly first, so the bytes reach the
// request handlers behind the login.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "client/login_auth.h"
#include "client/protocol.h"
#include "sim/device_session.h"

using namespace kaltro;

namespace {

std::vector<std::uint8_t> login_frames(const std::vector<std::uint8_t>& nonce_answer, bool begin) {
    if (begin) return encode_frame(MSG_LOGIN_BEGIN, 1, 0, ByteWriter().text("Admin").data());
    Nonce device{}, client{};
    std::memcpy(device.data(), nonce_answer.data() + kHeaderSize, kNonceSize);
    Proof proof = login_proof("tovik", device, client, "Admin");
    ByteWriter body;
    body.bytes(client.data(), client.size()).bytes(proof.data(), proof.size());
    return encode_frame(MSG_LOGIN_PROOF, 2, 0, body.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    CameraIdentity identity;
    identity.mac = "02:00:00:00:00:01";
    identity.ip = "127.0.0.10";
    identity.version = "1.0.0";
    identity.board_type = 0x20;
    DeviceSideOptions options;
    DeviceState state(std::make_shared<SimCamera>(identity), options);
    std::vector<std::uint8_t> last;
    std::size_t sent = 0;
    DeviceSession session(state, [&](const std::vector<std::uint8_t>& bytes) {
        last = bytes;
        sent += bytes.size();
    });
    if (data[0] & 1) {
        auto begin = login_frames({}, true);
        if (session.on_bytes(begin.data(), begin.size()) != DeviceSession::Verdict::keep) __builtin_trap();
        auto proof = login_frames(last, false);
        if (session.on_bytes(proof.data(), proof.size()) != DeviceSession::Verdict::keep) __builtin_trap();
    }
    std::size_t piece = 1 + (data[0] >> 1) % 128;
    for (std::size_t at = 1; at < size; at += piece)
        if (session.on_bytes(data + at, std::min(piece, size - at)) != DeviceSession::Verdict::keep) break;
    return 0;
}
