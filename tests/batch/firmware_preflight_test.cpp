// The firmware check before a job: sound files pass with their version and
// SHA-256; every kind of damage is named, without blocking on odd files.
#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>

#include "batch/firmware_preflight.h"
#include "client/firmware_format.h"

namespace {

namespace fs = std::filesystem;

class FirmwarePreflightTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("preflight_" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
        kaltro::FirmwareHeader header;
        header.board_type = 0x20;
        header.image_size = 3 * 1024 * 1024 + 17;  // several read blocks and a partial one
        kaltro::parse_version("1.4.2", header.version);
        ASSERT_TRUE(kaltro::write_firmware_file(sound(), header, 3));
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string sound() const { return (m_dir / "sound.update").string(); }

    std::string bytes_of(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // A copy of the sound file changed by `edit`.
    std::string damaged(const std::string& name, const std::function<void(std::string&)>& edit) const {
        std::string bytes = bytes_of(sound());
        edit(bytes);
        std::string path = (m_dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    fs::path m_dir;
};

TEST_F(FirmwarePreflightTest, SoundFilePassesWithItsVersionAndTheFileHash) {
    FirmwarePreflight check = preflight_firmware_file(sound());
    ASSERT_TRUE(check.ok()) << firmware_fault_text(check.fault);
    EXPECT_EQ(check.version, "1.4.2");
    const std::string bytes = bytes_of(sound());
    EXPECT_EQ(check.size, bytes.size());
    unsigned char sum[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), sum);
    char hex[3];
    std::string expected;
    for (unsigned char b : sum) {
        std::snprintf(hex, sizeof hex, "%02x", b);
        expected += hex;
    }
    EXPECT_EQ(check.sha256, expected);
}

TEST_F(FirmwarePreflightTest, EveryKindOfDamageIsNamed) {
    struct Case {
        const char* name;
        std::function<void(std::string&)> edit;
        FirmwareFault fault;
    };
    const Case cases[] = {
        {"image_byte", [](std::string& b) { b[b.size() - 1000] ^= 1; }, FirmwareFault::BadImageSum},
        {"cut_short", [](std::string& b) { b.pop_back(); }, FirmwareFault::Truncated},
        {"header_only_part", [](std::string& b) { b.resize(300); }, FirmwareFault::Truncated},
        {"empty", [](std::string& b) { b.clear(); }, FirmwareFault::Truncated},
        {"trailing", [](std::string& b) { b += "x"; }, FirmwareFault::TooLong},
        {"magic", [](std::string& b) { b[0] = 'X'; }, FirmwareFault::BadMagic},
        {"format", [](std::string& b) { b[8] = 2; }, FirmwareFault::BadFormat},
        {"description", [](std::string& b) { b[200] ^= 0x20; }, FirmwareFault::BadHeaderSum},
    };
    for (const Case& c : cases) {
        FirmwarePreflight check = preflight_firmware_file(damaged(c.name, c.edit));
        EXPECT_EQ(check.fault, c.fault) << c.name << ": " << firmware_fault_text(check.fault);
        EXPECT_FALSE(check.ok()) << c.name;
    }
}

TEST_F(FirmwarePreflightTest, WhatIsNotARegularFileIsRefusedWithoutWaiting) {
    EXPECT_EQ(preflight_firmware_file((m_dir / "missing.update").string()).fault, FirmwareFault::Unreadable);
    EXPECT_EQ(preflight_firmware_file(m_dir.string()).fault, FirmwareFault::NotRegularFile);
    const std::string fifo = (m_dir / "pipe.update").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(preflight_firmware_file(fifo).fault, FirmwareFault::NotRegularFile);  // no writer: must not block
}

TEST_F(FirmwarePreflightTest, CancelEndsTheCheck) {
    std::atomic<bool> cancel{true};
    EXPECT_EQ(preflight_firmware_file(sound(), &cancel).fault, FirmwareFault::Cancelled);
}

}  // namespace
