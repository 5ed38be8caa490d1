// Framing, payload readers and the login proof.

#include <gtest/gtest.h>

#include "client/login_auth.h"
#include "client/protocol.h"

namespace {

using namespace kaltro;

std::vector<std::uint8_t> frame_bytes(std::uint16_t type, std::uint32_t id, std::vector<std::uint8_t> payload) {
    return encode_frame(type, id, 0, payload);
}

// Owned copies of every frame the reader hands out.
struct Collected {
    std::vector<Frame> frames;
    bool feed(FrameReader& reader, const std::uint8_t* data, std::size_t length) {
        return reader.consume(data, length, [this](const FrameView& v) {
            frames.push_back({v.header, std::vector<std::uint8_t>(v.payload, v.payload + v.header.length)});
            return true;
        });
    }
};

TEST(FrameReaderTest, FramesSurviveAnySplitOfTheStream) {
    std::vector<std::uint8_t> stream = frame_bytes(MSG_GET_CONFIG, 1, {1, 2, 3});
    auto second = frame_bytes(MSG_KEEPALIVE, 0, {});
    auto third = frame_bytes(MSG_SET_CONFIG, 0xFFFFFFFF, std::vector<std::uint8_t>(5000, 9));
    stream.insert(stream.end(), second.begin(), second.end());
    stream.insert(stream.end(), third.begin(), third.end());
    for (std::size_t piece : {1u, 7u, 20u, 23u, 4096u, 100000u}) {
        FrameReader reader;
        Collected got;
        for (std::size_t at = 0; at < stream.size(); at += piece)
            ASSERT_TRUE(got.feed(reader, stream.data() + at, std::min(piece, stream.size() - at)));
        ASSERT_EQ(got.frames.size(), 3u) << piece;
        EXPECT_EQ(got.frames[0].payload, (std::vector<std::uint8_t>{1, 2, 3}));
        EXPECT_EQ(got.frames[1].header.type, MSG_KEEPALIVE);
        EXPECT_EQ(got.frames[2].header.request_id, 0xFFFFFFFFu);
        EXPECT_EQ(got.frames[2].payload, std::vector<std::uint8_t>(5000, 9));
    }
}

TEST(FrameReaderTest, StoppingDropsTheRestOfTheInput) {
    auto stream = frame_bytes(MSG_LOGOUT, 1, {});
    auto more = frame_bytes(MSG_KEEPALIVE, 2, {});
    stream.insert(stream.end(), more.begin(), more.end());
    FrameReader reader;
    int seen = 0;
    EXPECT_TRUE(reader.consume(stream.data(), stream.size(), [&](const FrameView&) {
        ++seen;
        return false;
    }));
    EXPECT_EQ(seen, 1);
}

TEST(FrameReaderTest, BrokenHeadersBreakTheStreamAtOnce) {
    auto good = frame_bytes(MSG_LOGOUT, 3, {});
    struct Case {
        std::size_t offset;
        std::uint8_t value;
        HeaderCheck expected;
    } cases[] = {{0, 'X', HeaderCheck::bad_magic}, {4, 2, HeaderCheck::bad_version}, {19, 0x01, HeaderCheck::too_long}};
    for (const Case& c : cases) {
        auto bad = good;
        bad[c.offset] = c.value;
        for (std::size_t split : {bad.size(), std::size_t{10}}) {  // whole, and header split across reads
            FrameReader reader;
            Collected got;
            bool intact = got.feed(reader, bad.data(), split) && got.feed(reader, bad.data() + split, bad.size() - split);
            EXPECT_FALSE(intact);
            EXPECT_EQ(reader.error(), c.expected);
            EXPECT_FALSE(got.feed(reader, good.data(), good.size()));  // stays broken
            EXPECT_TRUE(got.frames.empty());
        }
    }
}

TEST(FrameReaderTest, AnnouncedPayloadAtTheLimitIsAcceptedAboveIsNot) {
    FrameHeader header;
    header.length = kMaxPayload;
    std::uint8_t raw[kHeaderSize];
    std::vector<std::uint8_t> bytes;
    encode_frame(bytes, header, nullptr, 0);
    store_u32(bytes.data() + 16, kMaxPayload);
    std::copy(bytes.begin(), bytes.begin() + kHeaderSize, raw);
    EXPECT_EQ(decode_header(raw, header), HeaderCheck::ok);
    store_u32(raw + 16, kMaxPayload + 1);
    EXPECT_EQ(decode_header(raw, header), HeaderCheck::too_long);
}

TEST(ByteReaderTest, ReadsStopAtTheEnd) {
    ByteWriter w;
    w.u32(7).i32(-2).u64(0x1122334455667788ull).text("Admin");
    ByteReader r(w.data());
    std::uint32_t a = 0;
    std::int32_t b = 0;
    std::uint64_t c = 0;
    std::string text;
    ASSERT_TRUE(r.u32(a) && r.i32(b) && r.u64(c));
    EXPECT_FALSE(r.text(text, 4));  // longer than allowed
    ByteReader again(w.data());
    again.u32(a), again.i32(b), again.u64(c);
    ASSERT_TRUE(again.text(text, 63));
    EXPECT_EQ(text, "Admin");
    EXPECT_EQ(a, 7u);
    EXPECT_EQ(b, -2);
    EXPECT_EQ(c, 0x1122334455667788ull);
    EXPECT_FALSE(again.u32(a));
    const std::uint8_t* p = nullptr;
    EXPECT_FALSE(again.bytes(1, p));
    // A text length near 4 GiB is refused, not allocated.
    ByteWriter liar;
    liar.u32(0xFFFFFFF0u);
    ByteReader lr(liar.data());
    EXPECT_FALSE(lr.text(text, 1u << 30));
}

TEST(LoginProofTest, ProofDependsOnEveryInput) {
    Nonce device{}, client{};
    ASSERT_TRUE(make_nonce(device));
    ASSERT_TRUE(make_nonce(client));
    Proof base = login_proof("tovik", device, client, "Admin");
    EXPECT_TRUE(proof_equal(base, login_proof("tovik", device, client, "Admin").data()));
    EXPECT_FALSE(proof_equal(base, login_proof("tovil", device, client, "Admin").data()));
    EXPECT_FALSE(proof_equal(base, login_proof("tovik", client, device, "Admin").data()));
    EXPECT_FALSE(proof_equal(base, login_proof("tovik", device, client, "admin").data()));
    Nonce other{};
    ASSERT_TRUE(make_nonce(other));
    EXPECT_NE(device, other);
}

// A peer choosing its nonce as the client's can never turn the client's proof
// into the device's.
TEST(LoginProofTest, DeviceProofIsNeverAClientProof) {
    Nonce a{}, b{};
    ASSERT_TRUE(make_nonce(a));
    ASSERT_TRUE(make_nonce(b));
    Proof device = device_proof("tovik", a, b, "Admin");
    for (const Nonce* first : {&a, &b})
        for (const Nonce* second : {&a, &b})
            EXPECT_FALSE(proof_equal(device, login_proof("tovik", *first, *second, "Admin").data()));
    EXPECT_TRUE(device_proof_valid("tovik", a, b, "Admin", device.data(), device.size()));
    EXPECT_FALSE(device_proof_valid("tovik", b, a, "Admin", device.data(), device.size()));
    EXPECT_FALSE(device_proof_valid("tovik", a, b, "Admin", device.data(), device.size() - 1));
    EXPECT_FALSE(device_proof_valid("tovik", a, b, "Admin", nullptr, 0));
}

}  // namespace
