// The batch dialog's input rules without any window.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "batch/dialog/batch_dlg_rules.h"

TEST(BatchDialogRules, AddressesFollowTheClassicParser) {
    EXPECT_TRUE(is_valid_ip("192.168.1.10"));
    EXPECT_TRUE(is_valid_ip("0.0.0.0"));
    EXPECT_TRUE(is_valid_ip("10.1"));  // the classic parser's short forms
    EXPECT_FALSE(is_valid_ip("255.255.255.255"));
    EXPECT_FALSE(is_valid_ip("192.168.1.256"));
    EXPECT_FALSE(is_valid_ip("192.168.1.x"));
    EXPECT_FALSE(is_valid_ip(""));
}

TEST(BatchDialogRules, FirmwarePathLengthCountsCharacters) {
    EXPECT_FALSE(firmware_path_acceptable(""));
    EXPECT_FALSE(firmware_path_acceptable("1234567"));
    EXPECT_EQ(utf8_length("/tmp/\xC3\xA4\xC3\xB6"), 7u);
    EXPECT_FALSE(firmware_path_acceptable("/tmp/\xC3\xA4\xC3\xB6"));  // 9 bytes, 7 characters
}

// Only a regular file is taken, and nothing is opened to find out: a FIFO
// would block the dialog until some writer came.
TEST(BatchDialogRules, FirmwarePathMustNameARegularFile) {
    const std::string dir = ::testing::TempDir() + "fw_rules_" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const std::string file = dir + "/fw.update", fifo = dir + "/fifo.update";
    std::ofstream(file) << "x";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(firmware_path_acceptable(file));
    EXPECT_FALSE(firmware_path_acceptable(fifo));
    EXPECT_FALSE(firmware_path_acceptable(dir));
    EXPECT_FALSE(firmware_path_acceptable(dir + "/missing.update"));
    std::filesystem::remove_all(dir);
}

TEST(BatchDialogRules, RangeRule) {
    RangeCheck ok = check_ip_range("192.168.1.9", "192.168.1.10", true);
    EXPECT_EQ(ok.outcome, RangeCheck::Ok);  // compared as numbers, not texts
    EXPECT_EQ(check_ip_range("192.168.1.20", "192.168.1.10", true).outcome, RangeCheck::EndBeforeStart);
    EXPECT_EQ(check_ip_range("192.168.1.20", "192.168.1.10", false).outcome, RangeCheck::Ok);
    EXPECT_EQ(check_ip_range("192.168.1.10", "192.168.2.20", false).outcome, RangeCheck::PrefixMismatch);
    EXPECT_EQ(check_ip_range("", "0.0.0.0", false).outcome, RangeCheck::BothInvalid);
    EXPECT_EQ(check_ip_range("255.255.255.255", "garbage", false).outcome, RangeCheck::BothInvalid);

    RangeCheck one = check_ip_range("0.0.0.0", "192.168.1.50", true);
    EXPECT_EQ(one.outcome, RangeCheck::Ok);
    EXPECT_TRUE(one.start_replaced);
    EXPECT_FALSE(one.end_replaced);
    EXPECT_EQ(one.start, "192.168.1.50");
    EXPECT_EQ(one.end, "192.168.1.50");

    RangeCheck broadcast_end = check_ip_range("10.0.0.7", "255.255.255.255", true);
    EXPECT_TRUE(broadcast_end.end_replaced);
    EXPECT_EQ(broadcast_end.end, "10.0.0.7");
}

TEST(BatchDialogRules, TimeZones) {
    EXPECT_EQ(time_zone_text(0), "UTC:-12:00");
    EXPECT_EQ(time_zone_text(12), "UTC:-00:00");
    EXPECT_EQ(time_zone_text(20), "UTC:+08:00");
    EXPECT_EQ(time_zone_text(24), "UTC:+12:00");
    EXPECT_EQ(time_zone_seconds(12), 0);
    EXPECT_EQ(time_zone_seconds(kDefaultTimeZoneIndex), 28800);
    EXPECT_EQ(time_zone_seconds(0), -43200);
}
