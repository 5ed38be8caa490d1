#include "client/protocol.h"

#include <cstring>

namespace kaltro {

std::uint32_t load_u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::int32_t load_i32(const std::uint8_t* p) { return static_cast<std::int32_t>(load_u32(p)); }

void store_u32(std::uint8_t* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void store_i32(std::uint8_t* p, std::int32_t value) { store_u32(p, static_cast<std::uint32_t>(value)); }

static std::uint16_t load_u16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

static void store_u16(std::uint8_t* p, std::uint16_t value) {
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}

void encode_header(std::uint8_t* p, const FrameHeader& header, std::size_t length) {
    store_u32(p, kFrameMagic);
    store_u16(p + 4, header.version);
    store_u16(p + 6, header.type);
    store_u32(p + 8, header.request_id);
    store_i32(p + 12, header.status);
    store_u32(p + 16, static_cast<std::uint32_t>(length));
}

void encode_frame(std::vector<std::uint8_t>& out, const FrameHeader& header, const void* payload,
                  std::size_t length) {
    std::size_t at = out.size();
    out.resize(at + kHeaderSize + length);
    encode_header(out.data() + at, header, length);
    if (length > 0) std::memcpy(out.data() + at + kHeaderSize, payload, length);
}

std::vector<std::uint8_t> encode_frame(std::uint16_t type, std::uint32_t request_id, std::int32_t status,
                                       const std::vector<std::uint8_t>& payload) {
    FrameHeader header;
    header.type = type;
    header.request_id = request_id;
    header.status = status;
    std::vector<std::uint8_t> out;
    encode_frame(out, header, payload.data(), payload.size());
    return out;
}

HeaderCheck decode_header(const std::uint8_t* bytes, FrameHeader& header) {
    if (load_u32(bytes) != kFrameMagic) return HeaderCheck::bad_magic;
    header.version = load_u16(bytes + 4);
    header.type = load_u16(bytes + 6);
    header.request_id = load_u32(bytes + 8);
    header.status = load_i32(bytes + 12);
    header.length = load_u32(bytes + 16);
    // Later versions keep this header; a peer speaking one we do not know
    // cannot be understood beyond it.
    if (header.version != kProtocolVersion) return HeaderCheck::bad_version;
    if (header.length > kMaxPayload) return HeaderCheck::too_long;
    return HeaderCheck::ok;
}

const char* header_check_text(HeaderCheck check) {
    switch (check) {
        case HeaderCheck::ok: return "ok";
        case HeaderCheck::bad_magic: return "bad magic";
        case HeaderCheck::bad_version: return "unknown protocol version";
        case HeaderCheck::too_long: return "payload length over the limit";
    }
    return "?";
}

bool FrameReader::top_up(const std::uint8_t*& data, std::size_t& length, FrameHeader& header) {
    auto take = [&](std::size_t want) {
        std::size_t n = std::min(want - std::min(want, m_partial.size()), length);
        m_partial.insert(m_partial.end(), data, data + n);
        data += n;
        length -= n;
        return m_partial.size() >= want;
    };
    if (!take(kHeaderSize)) return false;
    // Checked before the payload is waited for, so a bad stream is refused at once.
    m_error = decode_header(m_partial.data(), header);
    if (broken()) return false;
    return take(kHeaderSize + header.length);
}

ByteWriter& ByteWriter::u32(std::uint32_t value) {
    std::uint8_t b[4];
    store_u32(b, value);
    return bytes(b, 4);
}

ByteWriter& ByteWriter::u64(std::uint64_t value) {
    u32(static_cast<std::uint32_t>(value));
    return u32(static_cast<std::uint32_t>(value >> 32));
}

ByteWriter& ByteWriter::bytes(const void* data, std::size_t length) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    if (length > 0) m_data.insert(m_data.end(), p, p + length);
    return *this;
}

ByteWriter& ByteWriter::text(const std::string& value) {
    u32(static_cast<std::uint32_t>(value.size()));
    return bytes(value.data(), value.size());
}

bool ByteReader::u32(std::uint32_t& value) {
    if (remaining() < 4) return false;
    value = load_u32(m_data + m_pos);
    m_pos += 4;
    return true;
}

bool ByteReader::i32(std::int32_t& value) {
    std::uint32_t raw = 0;
    if (!u32(raw)) return false;
    value = static_cast<std::int32_t>(raw);
    return true;
}

bool ByteReader::u64(std::uint64_t& value) {
    std::uint32_t low = 0, high = 0;
    if (remaining() < 8) return false;
    u32(low);
    u32(high);
    value = (static_cast<std::uint64_t>(high) << 32) | low;
    return true;
}

bool ByteReader::bytes(std::size_t length, const std::uint8_t*& out) {
    if (remaining() < length) return false;
    out = m_data + m_pos;
    m_pos += length;
    return true;
}

bool ByteReader::text(std::string& value, std::size_t max_length) {
    std::uint32_t length = 0;
    const std::uint8_t* p = nullptr;
    if (!u32(length) || length > max_length || !bytes(length, p)) return false;
    value.assign(reinterpret_cast<const char*>(p), length);
    return true;
}

}  // namespace kaltro
