// The firmware file: header layout where the batch job reads the version,
// round trip, and the checks that catch damaged files.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "client/firmware_format.h"
#include "client/protocol.h"

namespace {

using namespace kaltro;

FirmwareHeader sample() {
    FirmwareHeader h;
    h.board_type = 0x1234;
    h.image_size = 5 * 1024 * 1024 + 3;
    h.version[0] = 2;
    h.version[1] = -1;
    h.version[2] = 37;
    h.board_name = "BOARD-A";
    h.image_sha256.fill(0xAB);
    return h;
}

TEST(FirmwareHeaderTest, VersionSitsAtBytes32To43) {
    auto bytes = encode_firmware_header(sample());
    EXPECT_EQ(load_i32(bytes.data() + 32), 2);
    EXPECT_EQ(load_i32(bytes.data() + 36), -1);
    EXPECT_EQ(load_i32(bytes.data() + 40), 37);
    FirmwareHeader back;
    ASSERT_EQ(decode_firmware_header(bytes.data(), back), FirmwareCheck::ok);
    EXPECT_EQ(back.board_type, 0x1234);
    EXPECT_EQ(back.image_size, sample().image_size);
    EXPECT_EQ(version_text(back.version), "2.-1.37");
    EXPECT_EQ(back.board_name, "BOARD-A");
    EXPECT_EQ(back.image_sha256, sample().image_sha256);
}

TEST(FirmwareHeaderTest, DamageIsDetected) {
    auto good = encode_firmware_header(sample());
    FirmwareHeader out;
    auto bad = good;
    bad[0] = 'X';
    EXPECT_EQ(decode_firmware_header(bad.data(), out), FirmwareCheck::bad_magic);
    bad = good;
    bad[8] = 2;
    EXPECT_EQ(decode_firmware_header(bad.data(), out), FirmwareCheck::bad_format);
    for (std::size_t at : {16u, 24u, 36u, 48u, 100u, 479u, 500u}) {
        bad = good;
        bad[at] ^= 1;
        EXPECT_EQ(decode_firmware_header(bad.data(), out), FirmwareCheck::bad_header_sum) << at;
    }
    FirmwareHeader huge = sample();
    huge.image_size = kMaxImageSize + 1;
    bad = encode_firmware_header(huge);
    EXPECT_EQ(decode_firmware_header(bad.data(), out), FirmwareCheck::too_large);
}

TEST(FirmwareHeaderTest, VersionTexts) {
    std::int32_t v[3];
    EXPECT_TRUE(parse_version("1.2.3", v));
    EXPECT_EQ(version_text(v), "1.2.3");
    EXPECT_TRUE(parse_version("10.20.30.40", v));
    EXPECT_EQ(version_text(v), "10.20.30");
    EXPECT_FALSE(parse_version("1.2", v));
    EXPECT_FALSE(parse_version("", v));
}

TEST(FirmwareFileTest, WrittenFileHasHeaderThenImage) {
    std::string path = "/tmp/tervane_fw_format_" + std::to_string(getpid()) + ".update";
    FirmwareHeader h = sample();
    h.image_size = 100000;
    ASSERT_TRUE(write_firmware_file(path, h, 3));
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    ASSERT_EQ(bytes.size(), kFirmwareHeaderSize + 100000);
    FirmwareHeader back;
    ASSERT_EQ(decode_firmware_header(bytes.data(), back), FirmwareCheck::ok);
    EXPECT_EQ(back.image_size, 100000u);
    EXPECT_NE(back.image_sha256, (std::array<std::uint8_t, 32>{}));
}

}  // namespace
