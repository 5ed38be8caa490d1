#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cli/batch_plan.h"
#include "cli/plan_selection.h"
#include "client/firmware_format.h"

namespace {

BatchCliOptions base() {
    BatchCliOptions o;
    o.all = true;
    return o;
}

std::vector<ListedDevice> devices(std::size_t count, DeviceProtocol protocol = DeviceProtocol::native) {
    std::vector<ListedDevice> list(count);
    for (ListedDevice& device : list) device.protocol = protocol;
    return list;
}

TEST(BatchPlan, SettingsMapToStepsAndFields) {
    BatchCliOptions o = base();
    o.time_zone = "UTC+08:00";
    o.video_standard = "PAL";
    o.max_channel = 13;
    o.default_channel = "auto";
    o.time_sync = true;
    BatchPlan plan;
    ASSERT_EQ(plan_batch_job(o, plan), "");
    EXPECT_EQ(plan.params.time_zone_index, 20);
    EXPECT_EQ(plan.params.video_standard_index, 1);
    EXPECT_EQ(plan.params.max_channel_text, "13");
    EXPECT_EQ(plan.params.default_channel_text, "auto");
    EXPECT_EQ(plan.steps.change_time_zone, 1);
    EXPECT_EQ(plan.steps.change_video_standard, 1);
    EXPECT_EQ(plan.steps.change_time_sync, 1);
    EXPECT_EQ(plan.steps.change_deafult_ch, 1);
    EXPECT_EQ(plan.steps.need_update, 0);
}

TEST(BatchPlan, TimeZoneForms) {
    // The dialog's own texts ("UTC:+08:00", "UTC:-00:00" for index 12) as well.
    for (auto [text, index] : {std::pair{"20", 20}, {"0", 0}, {"UTC-12:00", 0}, {"UTC-00:00", 12},
                               {"+3", 15}, {"UTC:+08:00", 20}, {"UTC:-12:00", 0}, {"UTC:-00:00", 12},
                               {"UTC:+00:00", 12}, {"25", -1}, {"UTC+13:00", -1}, {"x", -1}, {"+8abc", -1},
                               {"UTC+8:30", -1}, {"UTC:", -1}, {"020", -1}, {"", -1}}) {
        BatchCliOptions o = base();
        o.time_zone = text;
        BatchPlan plan;
        std::string refused = plan_batch_job(o, plan);
        if (index < 0)
            EXPECT_NE(refused, "") << text;
        else
            EXPECT_EQ(plan.params.time_zone_index, index) << text;
    }
}

TEST(BatchPlan, RangeRuleTakesTheGoodEndAndChecksThePrefix) {
    BatchCliOptions o = base();
    o.ip_range = "0.0.0.0-192.168.1.50";
    BatchPlan plan;
    ASSERT_EQ(plan_batch_job(o, plan), "");
    EXPECT_EQ(plan.range_start, "192.168.1.50");
    EXPECT_EQ(plan.range_end, "192.168.1.50");
    EXPECT_EQ(plan.steps.change_auto_ip, 1);

    o.ip_range = "192.168.1.10-192.168.2.20";
    EXPECT_EQ(plan_batch_job(o, plan), "IDS_IP_RANGE_DISMATCH");
    o.ip_range = "255.255.255.255-bad";
    EXPECT_EQ(plan_batch_job(o, plan), "IDS_INVALID_IP_ADDR");
}

TEST(BatchPlan, RefusesWhatTheDialogWouldRefuse) {
    BatchPlan plan;
    BatchCliOptions o = base();
    EXPECT_EQ(plan_batch_job(o, plan), "no step given");
    o.user.clear();
    o.time_sync = true;
    EXPECT_EQ(plan_batch_job(o, plan), "IDS_INPUT_USER_NAME");

    o = base();
    o.upgrade = "a.bin";  // 5 characters
    EXPECT_EQ(plan_batch_job(o, plan), "IDS_INVALID_UPGRADE_FILE");
    o.upgrade = "/nonexistent/firmware.update";
    EXPECT_EQ(plan_batch_job(o, plan), "IDS_INVALID_UPGRADE_FILE");

    o = base();
    o.command = "cat /proc/loadavg; top -n1";
    EXPECT_NE(plan_batch_job(o, plan), "");

    o = base();
    o.dhcp = "on";
    o.net_ip = "10.0.0.5";
    EXPECT_NE(plan_batch_job(o, plan), "");

    o = base();
    o.factory_reset = true;
    ASSERT_EQ(plan_batch_job(o, plan), "");
    EXPECT_EQ(plan.steps.restore_factory, 1);
    o.time_sync = true;
    EXPECT_NE(plan_batch_job(o, plan), "");
}

TEST(BatchPlan, DamagedFirmwareIsRefusedBeforeAnythingIsSent) {
    const std::string path = std::filesystem::temp_directory_path() / ("plan_fw_" + std::to_string(::getpid()) + ".update");
    kaltro::FirmwareHeader header;
    header.image_size = 70000;
    kaltro::parse_version("3.1.4", header.version);
    ASSERT_TRUE(kaltro::write_firmware_file(path, header, 5));
    BatchCliOptions o = base();
    o.upgrade = path;
    BatchPlan plan;
    ASSERT_EQ(plan_batch_job(o, plan), "");
    EXPECT_EQ(plan.firmware_check.version, "3.1.4");
    EXPECT_EQ(plan.firmware_check.sha256.size(), 64u);

    std::filesystem::resize_file(path, 60000);
    EXPECT_EQ(plan_batch_job(o, plan), "firmware file refused (truncated: shorter than its header says): nothing was sent");
    std::filesystem::remove(path);
}

TEST(BatchPlan, FileInAnotherFormatIsForOnvifCamerasOnly) {
    const std::string path = std::filesystem::temp_directory_path() / ("plan_foreign_" + std::to_string(::getpid()));
    std::ofstream(path, std::ios::binary) << "a camera maker's own image";
    BatchCliOptions o = base();
    o.upgrade = path;
    BatchPlan plan;
    ASSERT_EQ(plan_batch_job(o, plan), "");
    EXPECT_TRUE(plan.firmware_for_onvif_only);
    EXPECT_EQ(plan.firmware_check.sha256.size(), 64u);
    EXPECT_EQ(plan.firmware_check.size, 26u);
    std::vector<ListedDevice> mixed = devices(2);
    EXPECT_NE(refuse_selection(o, plan, mixed), "");  // no native device takes it
    mixed[1].protocol = DeviceProtocol::onvif;
    EXPECT_EQ(refuse_selection(o, plan, mixed), "");
    std::filesystem::remove(path);
}

TEST(BatchPlan, NtpServerIsAStepOfItsOwn) {
    BatchCliOptions o = base();
    o.ntp = "pool.ntp.example";
    BatchPlan plan;
    ASSERT_EQ(plan_batch_job(o, plan), "");
    EXPECT_EQ(plan.params.ntp_server, "pool.ntp.example");
    for (const char* bad : {"", "-x", "a b", "ntp;reboot", "10.0.0.1/24"}) {
        o.ntp = bad;
        EXPECT_NE(plan_batch_job(o, plan), "") << bad;
    }
}

TEST(BatchPlan, NetworkStepCarriesItsFields) {
    BatchCliOptions o = base();
    o.net_ip = "10.0.0.5";
    o.net_mask = "255.255.255.0";
    o.net_gateway = "10.0.0.1";
    BatchPlan plan;
    ASSERT_EQ(plan_batch_job(o, plan), "");
    EXPECT_EQ(plan.steps.change_ip, 1);
    EXPECT_EQ(plan.steps.change_dhcp, 0);
    EXPECT_EQ(plan.params.net_gateway, "10.0.0.1");
    o.net_mask = "255.255.255.256";
    EXPECT_EQ(plan_batch_job(o, plan), "IDS_INVALID_IP_ADDR");

    o = base();
    o.dhcp = "off";
    ASSERT_EQ(plan_batch_job(o, plan), "");
    EXPECT_EQ(plan.steps.change_dhcp, 1);
    EXPECT_EQ(plan.params.dhcp_checked, 0);
}

TEST(BatchPlan, SelectionsTheJobsCannotServeAreRefused) {
    BatchCliOptions o = base();
    o.net_ip = "10.0.0.5";
    BatchPlan fixed;
    ASSERT_EQ(plan_batch_job(o, fixed), "");
    // One fixed address for several devices would give them all the same one.
    EXPECT_EQ(refuse_selection(o, fixed, devices(1)), "");
    EXPECT_NE(refuse_selection(o, fixed, devices(2)), "");

    BatchCliOptions r = base();
    r.ip_range = "10.0.0.20-10.0.0.250";
    r.parallel = 100;
    BatchPlan range;
    ASSERT_EQ(plan_batch_job(r, range), "");
    // A second wave would hand out the first wave's addresses again.
    EXPECT_EQ(refuse_selection(r, range, devices(100)), "");
    EXPECT_NE(refuse_selection(r, range, devices(101)), "");

    BatchCliOptions u = base();
    u.time_sync = true;
    BatchPlan plain;
    ASSERT_EQ(plan_batch_job(u, plain), "");
    EXPECT_EQ(refuse_selection(u, plain, devices(300)), "");
}

class PlanOption : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove(m_path); }
    BatchCliOptions with_plan(const std::string& text) {
        std::ofstream(m_path, std::ios::binary) << text;
        BatchCliOptions o;
        o.plan = m_path;
        return o;
    }
    const std::string m_path =
        std::filesystem::temp_directory_path() / ("plan_option_" + std::to_string(::getpid()) + ".csv");
};

TEST_F(PlanOption, APlanWithValuesIsAJobOfItsOwnAndTheUsualStepsComeOnTop) {
    BatchCliOptions o = with_plan("mac,ip,uid\n02:00:00:00:00:01,10.0.0.21,u1\n02:00:00:00:00:02,,u2\n");
    BatchPlan plan;
    ASSERT_EQ(plan_batch_job(o, plan), "");
    EXPECT_EQ(plan.devices.entries.size(), 2u);
    EXPECT_EQ(plan.steps.change_UID, 0);  // a planned UID is its camera's step alone
    o.time_sync = true;
    ASSERT_EQ(plan_batch_job(o, plan), "");
    EXPECT_EQ(plan.steps.change_time_sync, 1);
    // An address range beside planned addresses, or a reset beside planned values, is refused.
    o.ip_range = "10.0.0.50-10.0.0.60";
    EXPECT_EQ(plan_batch_job(o, plan), "IDS_PLAN_AND_RANGE");
    o = with_plan("mac,ip,uid\n02:00:00:00:00:01,10.0.0.21,u1\n");
    o.factory_reset = true;
    EXPECT_NE(plan_batch_job(o, plan), "");
    // A plan that only names cameras still needs a step.
    o = with_plan("mac\n02:00:00:00:00:01\n");
    EXPECT_EQ(plan_batch_job(o, plan), "no step given");
    o.factory_reset = true;
    EXPECT_EQ(plan_batch_job(o, plan), "");
}

TEST_F(PlanOption, ABadPlanIsRefusedWithItsProblems) {
    BatchCliOptions o = with_plan("mac,uid\n02:00:00:00:00:01,u1\n02:00:00:00:00:02,u1\nnot-a-mac,u3\n");
    o.time_sync = true;
    BatchPlan plan;
    EXPECT_EQ(plan_batch_job(o, plan), "IDS_PLAN_REFUSED");
    ASSERT_EQ(plan.plan_problems.size(), 2u);
    EXPECT_EQ(plan.plan_problems[0].line, 3);
    EXPECT_EQ(plan.plan_problems[1].line, 4);
    EXPECT_TRUE(plan.devices.entries.empty());
}

TEST(PlanSelection, ThePlansCamerasInItsOrderAndTheOnesNotListed) {
    DevicePlan plan;
    ASSERT_TRUE(read_plan_text("mac\n02-00-00-00-00-03\n02:00:00:00:00:09\n020000000001\n", plan).empty());
    const std::vector<ListedDevice> listed = {{"02:00:00:00:00:01", "10.0.0.11", 1, "1", 1, 5},
                                              {"02:00:00:00:00:02", "10.0.0.12", 1, "1", 1, 5},
                                              {"02:00:00:00:00:03", "10.0.0.13", 1, "1", 1, 5}};
    const PlanSelection selection = select_planned(plan, listed);
    ASSERT_EQ(selection.listed.size(), 2u);
    EXPECT_EQ(selection.listed[0].mac, "02:00:00:00:00:03");
    EXPECT_EQ(selection.listed[1].mac, "02:00:00:00:00:01");
    ASSERT_EQ(selection.not_found.size(), 1u);
    EXPECT_EQ(selection.not_found[0].mac, "02:00:00:00:00:09");
    EXPECT_EQ(selection.not_found[0].line, 3);
}

}  // namespace
