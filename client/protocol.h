#pragma once

// The device protocol's framing, shared by the client library and the device
// side of the simulator. Every message is one frame: a fixed 20-byte header
// followed by `length` payload bytes. All integers are little-endian.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kaltro {

constexpr std::uint32_t kFrameMagic = 0x4F544C4Bu;  // bytes "KLTO" on the wire
constexpr std::uint16_t kProtocolVersion = 1;
constexpr std::size_t kHeaderSize = 20;
// Largest payload either side accepts. A header announcing more is a broken
// peer: the receiver drops the connection rather than buffer it.
constexpr std::uint32_t kMaxPayload = 64 * 1024 + 64;
// Upgrade data travels in pieces of this size.
constexpr std::uint32_t kUpgradeChunk = 64 * 1024;

// Responses carry the request's type with this bit set.
constexpr std::uint16_t kResponseBit = 0x8000;

enum MsgType : std::uint16_t {
    MSG_LOGIN_BEGIN = 0x0001,   // user name -> nonce
    MSG_LOGIN_PROOF = 0x0002,   // client nonce + keyed hash -> session
    MSG_LOGOUT = 0x0003,
    MSG_KEEPALIVE = 0x0004,
    MSG_GET_CONFIG = 0x0010,    // command, channel, size -> record
    MSG_SET_CONFIG = 0x0011,    // command, channel, record
    MSG_DEVICE_CONTROL = 0x0012,
    MSG_LDR_CONTROL = 0x0013,
    MSG_IRCUT = 0x0014,
    MSG_VOICE_TEST = 0x0015,
    MSG_PTZ = 0x0016,
    MSG_GET_CAPABILITY = 0x0017,
    MSG_UPGRADE_BEGIN = 0x0020, // firmware header + total size -> verdict
    MSG_UPGRADE_DATA = 0x0021,  // offset + bytes, never answered
    MSG_UPGRADE_END = 0x0022,   // -> integrity verdict
    MSG_UPGRADE_ABORT = 0x0023, // never answered
    MSG_UPGRADE_STATUS = 0x0024,// -> u32 percent the device holds
    // 0x0030..0x003F are kept for live video.
    MSG_EVENT = 0x0040,         // device -> client, request id 0
};

struct FrameHeader {
    std::uint16_t version = kProtocolVersion;
    std::uint16_t type = 0;
    std::uint32_t request_id = 0;
    std::int32_t status = 0;
    std::uint32_t length = 0;
};

// Writes the 20 header bytes of a frame with `length` payload bytes.
void encode_header(std::uint8_t* out, const FrameHeader& header, std::size_t length);
// Appends a frame's header and payload to `out`.
void encode_frame(std::vector<std::uint8_t>& out, const FrameHeader& header, const void* payload,
                  std::size_t length);
std::vector<std::uint8_t> encode_frame(std::uint16_t type, std::uint32_t request_id, std::int32_t status,
                                       const std::vector<std::uint8_t>& payload);

enum class HeaderCheck { ok, bad_magic, bad_version, too_long };
// Reads and checks a header from exactly kHeaderSize bytes.
HeaderCheck decode_header(const std::uint8_t* bytes, FrameHeader& header);
const char* header_check_text(HeaderCheck check);

struct Frame {
    FrameHeader header;
    std::vector<std::uint8_t> payload;
};

// A frame inside a byte buffer; the payload is valid only while the
// callback that received it runs.
struct FrameView {
    FrameHeader header;
    const std::uint8_t* payload = nullptr;
};

// Incremental frame parser over a byte stream. Whole frames are handed out
// straight from the caller's bytes; only a frame split across reads is
// copied, so the reader never holds more than one frame. After a protocol
// error it stays broken and the owner must drop the connection.
class FrameReader {
public:
    // Parses `length` bytes, calling on_frame(const FrameView&) for every
    // complete frame; on_frame returns false to stop (the rest is dropped).
    // Returns false once the stream is broken.
    template <class OnFrame>
    bool consume(const std::uint8_t* data, std::size_t length, OnFrame&& on_frame);
    bool broken() const { return m_error != HeaderCheck::ok; }
    HeaderCheck error() const { return m_error; }

private:
    // Adds bytes to the split frame; true once it is complete.
    bool top_up(const std::uint8_t*& data, std::size_t& length, FrameHeader& header);

    std::vector<std::uint8_t> m_partial;
    HeaderCheck m_error = HeaderCheck::ok;
};

template <class OnFrame>
bool FrameReader::consume(const std::uint8_t* data, std::size_t length, OnFrame&& on_frame) {
    FrameHeader header;
    while (!broken()) {
        if (!m_partial.empty()) {
            if (!top_up(data, length, header)) return !broken();
            bool go = on_frame(FrameView{header, m_partial.data() + kHeaderSize});
            m_partial.clear();
            if (!go) return true;
            continue;
        }
        if (length == 0) return true;
        if (length < kHeaderSize) {
            m_partial.assign(data, data + length);
            return true;
        }
        m_error = decode_header(data, header);
        if (broken()) return false;
        std::size_t total = kHeaderSize + header.length;
        if (length < total) {
            m_partial.assign(data, data + length);
            return true;
        }
        if (!on_frame(FrameView{header, data + kHeaderSize})) return true;
        data += total;
        length -= total;
    }
    return false;
}

// Little-endian payload writer and bounds-checked reader.
class ByteWriter {
public:
    ByteWriter& u32(std::uint32_t value);
    ByteWriter& i32(std::int32_t value) { return u32(static_cast<std::uint32_t>(value)); }
    ByteWriter& u64(std::uint64_t value);
    ByteWriter& bytes(const void* data, std::size_t length);
    // A text field: u32 length then the bytes (no terminator).
    ByteWriter& text(const std::string& value);
    std::vector<std::uint8_t>& data() { return m_data; }

private:
    std::vector<std::uint8_t> m_data;
};

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t length) : m_data(data), m_length(length) {}
    explicit ByteReader(const std::vector<std::uint8_t>& data) : ByteReader(data.data(), data.size()) {}
    bool u32(std::uint32_t& value);
    bool i32(std::int32_t& value);
    bool u64(std::uint64_t& value);
    // Points `out` at the next `length` bytes without copying.
    bool bytes(std::size_t length, const std::uint8_t*& out);
    bool text(std::string& value, std::size_t max_length);
    std::size_t remaining() const { return m_length - m_pos; }

private:
    const std::uint8_t* m_data;
    std::size_t m_length;
    std::size_t m_pos = 0;
};

std::uint32_t load_u32(const std::uint8_t* p);
std::int32_t load_i32(const std::uint8_t* p);
void store_u32(std::uint8_t* p, std::uint32_t value);
void store_i32(std::uint8_t* p, std::int32_t value);

}  // namespace kaltro
