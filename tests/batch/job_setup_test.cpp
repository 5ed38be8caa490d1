#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "batch/customer_cfg.h"
#include "batch/firmware_version.h"
#include "batch/ip_pool.h"
#include "batch/job_steps.h"
#include "batch/text_limits.h"

namespace {

TEST(JobSteps, OnlyStepComparesAllSeventeenBytes) {
    JOB_STEPS steps{};
    steps.change_auto_ip = 1;
    EXPECT_TRUE(only_step(steps, &JOB_STEPS::change_auto_ip));
    EXPECT_FALSE(only_step(steps, &JOB_STEPS::change_ip));
    steps.reset_pwd = 1;  // the last byte counts too
    EXPECT_FALSE(only_step(steps, &JOB_STEPS::change_auto_ip));
}

TEST(JobSteps, CommandsThatWouldTakeTheDeviceAwayAreNeverSent) {
    StepCheckBoxes boxes;
    boxes.send_command = 1;
    EXPECT_EQ(check_update_step(boxes, "ls /config").send_command, 1);
    EXPECT_EQ(check_update_step(boxes, "reboot").send_command, 0);
    EXPECT_EQ(check_update_step(boxes, "cat /etc/desktop.conf").send_command, 0);  // "top" inside a word
    boxes.send_command = 0;
    EXPECT_EQ(check_update_step(boxes, "ls").send_command, 0);
}

TEST(JobSteps, CheckBoxesMapToTheirFieldsAndResetsStayClear) {
    StepCheckBoxes boxes;
    boxes.set_network = 1;
    boxes.upgrade = 2;  // any non-zero state counts as checked
    boxes.uid = 1;
    JOB_STEPS steps = check_update_step(boxes, "");
    EXPECT_EQ(steps.change_ip, 1);
    EXPECT_EQ(steps.need_update, 1);
    EXPECT_EQ(steps.change_UID, 1);
    EXPECT_EQ(steps.change_dhcp, 0);
    EXPECT_EQ(steps.restore_factory, 0);
    EXPECT_EQ(steps.reset_pwd, 0);
}

std::int32_t word_at(const CUSTOMER_CFG& cfg, std::size_t offset) {
    unsigned char bytes[sizeof cfg];
    std::memcpy(bytes, &cfg, sizeof cfg);
    return static_cast<std::int32_t>(bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
                                     static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

TEST(CustomerCfg, TimeZoneIndexBecomesSecondsAtOffsetFour) {
    JOB_STEPS steps{};
    steps.change_time_zone = 1;
    JobParams params;
    for (auto [index, seconds] : {std::pair{20, 28800}, {0, -43200}, {12, 0}}) {
        CUSTOMER_CFG cfg{};
        params.time_zone_index = index;
        EXPECT_TRUE(fill_customer_cfg(cfg, steps, params, false));
        EXPECT_EQ(word_at(cfg, 0), 1);
        EXPECT_EQ(word_at(cfg, 4), seconds) << "index " << index;
    }
}

TEST(CustomerCfg, GroupOneDevicesGetFixedVideoStandardAndNoPasswordOrChannels) {
    JOB_STEPS steps{};
    steps.change_password = 1;
    steps.change_max_wifi_ch = 1;
    JobParams params;
    params.default_password = "secret";
    CUSTOMER_CFG cfg{};
    EXPECT_FALSE(fill_customer_cfg(cfg, steps, params, true));
    EXPECT_EQ(word_at(cfg, 24), 1);
    EXPECT_EQ(word_at(cfg, 28), 5);
    EXPECT_EQ(cfg.set_password, 0);
    EXPECT_EQ(cfg.set_wifi_ch_max, 0);

    CUSTOMER_CFG other{};
    EXPECT_TRUE(fill_customer_cfg(other, steps, params, false));
    EXPECT_STREQ(other.password, "secret");
    EXPECT_EQ(word_at(other, 92), 1);
    EXPECT_EQ(word_at(other, 96), 14);
}

TEST(CustomerCfg, ChannelTextsReadAsLeadingNumbers) {
    JOB_STEPS steps{};
    steps.change_deafult_ch = 1;
    steps.change_dhcp = 1;
    JobParams params;
    params.default_channel_text = "auto";
    params.dhcp_checked = 1;
    CUSTOMER_CFG cfg{};
    fill_customer_cfg(cfg, steps, params, false);
    EXPECT_EQ(cfg.set_wifi_ch_default, 1);
    EXPECT_EQ(cfg.wifi_ch_default, 0);
    EXPECT_EQ(word_at(cfg, 108), 1);
    EXPECT_EQ(word_at(cfg, 112), 1);
    EXPECT_EQ(cfg.set_ip, 0);
}

class FirmwareFile : public ::testing::Test {
protected:
    std::string path = (std::filesystem::temp_directory_path() /
                        ("fw_" + std::to_string(::getpid()) + "_" +
                         ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".update"))
                           .string();
    void TearDown() override { std::filesystem::remove(path); }

    void write(std::size_t size, std::int32_t a, std::int32_t b, std::int32_t c) {
        std::vector<unsigned char> bytes(size, 0xEE);
        std::int32_t words[3] = {a, b, c};
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < 4 && 32 + 4 * i + k < static_cast<int>(size); ++k)
                bytes[32 + 4 * i + k] = static_cast<unsigned char>(static_cast<std::uint32_t>(words[i]) >> (8 * k));
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), size);
    }
};

TEST_F(FirmwareFile, VersionIsReadLittleEndianAndMatchedAsPrefix) {
    write(4096, 2, 10, -1);
    const std::string version = firmware_file_version(path).value_or("");
    EXPECT_EQ(version, "2.10.-1");
    EXPECT_TRUE(version_listed_matches(version, "2.10.-1"));
    EXPECT_TRUE(version_listed_matches(version, "2.10.-1-build7"));
    EXPECT_FALSE(version_listed_matches(version, "2.10.1"));
    EXPECT_FALSE(version_listed_matches(version, "2.10"));
    EXPECT_FALSE(version_listed_matches(version, ""));
}

TEST_F(FirmwareFile, ShortMissingOrSpecialFileHasNoVersion) {
    write(455, 1, 2, 3);
    EXPECT_FALSE(firmware_file_version(path).has_value());
    write(456, 1, 2, 3);
    EXPECT_EQ(firmware_file_version(path).value_or(""), "1.2.3");
    EXPECT_FALSE(firmware_file_version(path + ".missing").has_value());
    // A FIFO is never opened: reading it would wait for a writer for ever.
    const std::string fifo = path + ".fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(firmware_file_version(fifo).has_value());
    std::filesystem::remove(fifo);
    EXPECT_FALSE(firmware_file_version(std::filesystem::temp_directory_path().string()).has_value());
}

TEST(IpPool, ReversedRangeIsTheSamePoolAndListedAddressesAreSkipped) {
    int count = 0;
    auto pool = build_ip_pool("192.168.1.20", "192.168.1.10", {}, count);
    EXPECT_EQ(count, 11);
    ASSERT_EQ(pool.size(), 11u);
    EXPECT_EQ(pool.front(), "192.168.1.10");
    EXPECT_EQ(pool.back(), "192.168.1.20");

    pool = build_ip_pool("192.168.1.10", "10.0.0.12", {"192.168.1.11", "192.168.1.100"}, count);
    EXPECT_EQ(count, 3);  // the end's prefix is not used
    EXPECT_EQ(pool, (std::vector<std::string>{"192.168.1.10", "192.168.1.12"}));

    pool = build_ip_pool("10.0.0.5", "10.0.0.5", {"10.0.0.5"}, count);
    EXPECT_EQ(count, 1);
    EXPECT_TRUE(pool.empty());
}

TEST(TextLimits, CutNeverSplitsACharacterAndNumbersReadLikeAtoi) {
    EXPECT_EQ(cut_utf8("abc", 127), "abc");
    EXPECT_EQ(cut_utf8("ab\xc3\xa9", 3), "ab");  // é is two bytes
    EXPECT_EQ(cut_utf8("ab\xc3\xa9", 4), "ab\xc3\xa9");
    EXPECT_EQ(leading_number(" 12x"), 12);
    EXPECT_EQ(leading_number("-3"), -3);
    EXPECT_EQ(leading_number("auto"), 0);
}

}  // namespace
