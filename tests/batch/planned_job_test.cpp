// A job over devices of which a plan gives some their own values: each
// worker runs its own device's steps, read from the job's copy.
#include <atomic>
#include <cstring>

#include "batch/job_display.h"
#include "batch/job_outcome.h"
#include "batch_fixture.h"

namespace {

class PlannedJob : public BatchFixture {
protected:
    // Lists camera n (checked) at 127.0.0.(10+n) with MAC 02:00:00:00:00:0n.
    int add_camera(int n, FakeDevice device = {}) {
        const int row = table.row_count();
        const std::string ip = ip_of(n);
        table.update_dev_find_list({mac_of(n), ip, 8000, "1.0.0", 0x10, 5, "255.255.255.0", "127.0.0.1"}, true);
        table.set_checked(row, true);
        discovery.list(mac_of(n), ip);
        client.add(ip, std::move(device));
        return row;
    }
    static std::string mac_of(int n) { return "02:00:00:00:00:0" + std::to_string(n); }
    static std::string ip_of(int n) { return "127.0.0." + std::to_string(10 + n); }

    static PlannedValues address(const std::string& ip, const std::string& uid = "") {
        PlannedValues planned;
        planned.ip = ip;
        planned.uid = uid;
        return planned;
    }

    // The UID lines a device at `ip` was sent.
    std::vector<std::string> shell_lines_at(const std::string& ip) const {
        std::vector<std::string> lines;
        for (const ConfigCall& call : client.config_calls(ip, NETWORK_CMD_SHELL))
            lines.emplace_back(reinterpret_cast<const char*>(call.data.data()));
        return lines;
    }

    // The report's view of the device, once the reports reached the rows as
    // a front end applies them.
    DeviceOutcome outcome_of(int row) {
        JobDisplay display;
        for (const JobReport& report : reports) handle_job_report(report, table, display);
        reports.clear();
        JobOutcome outcome;
        add_job_devices(outcome, job, table);
        for (const DeviceOutcome& device : outcome.devices)
            if (device.mac == mac_of(row + 1)) return device;
        return {};
    }
};

TEST_F(PlannedJob, EachCameraTakesItsOwnAddressAndUidTheOthersTheJobsValues) {
    for (int n = 1; n <= 3; ++n) add_camera(n);
    client.add("127.0.0.41", {});
    client.add("127.0.0.42", {});
    discovery.hear_changes_in(&table);
    PlannedValues first = address("127.0.0.41", "uid-one");
    first.mask = "255.255.0.0";
    first.gateway = "127.0.0.1";
    table.set_plan({{mac_of(1), first}, {mac_of(2), address("127.0.0.42", "uid-two")}});
    table.set_checked(2, true);  // camera 3 is worked on with the job's values
    params.uid = "job-uid";
    job.m_dostep.change_UID = 1;
    job.m_dostep.change_time_sync = 1;
    ASSERT_EQ(start(), START_OK);
    wait_finished();

    // An address with its mask and gateway, and one alone (the device keeps its own).
    ASSERT_EQ(discovery.full_changes().size(), 3u);
    EXPECT_EQ(discovery.full_changes()[0].ip, "127.0.0.41");
    EXPECT_EQ(discovery.full_changes()[0].mask, "255.255.0.0");
    ASSERT_EQ(discovery.port_changes().size(), 3u);
    EXPECT_EQ(discovery.port_changes()[0].mac, mac_of(2));
    EXPECT_EQ(discovery.port_changes()[0].ip, "127.0.0.42");
    // Each logs in where it went and gets its own UID.
    EXPECT_EQ(shell_lines_at("127.0.0.41"), (std::vector<std::string>{"echo uid-one >/config/tuya.cfg"}));
    EXPECT_EQ(shell_lines_at("127.0.0.42"), (std::vector<std::string>{"echo uid-two >/config/tuya.cfg"}));
    EXPECT_EQ(shell_lines_at(ip_of(3)), (std::vector<std::string>{"echo job-uid >/config/tuya.cfg"}));
    // The two that moved met at the barrier; the third did not wait for it.
    EXPECT_EQ(count_kind(REPORT_IP_CHANGED), 2);
    EXPECT_EQ(shell_lines, (std::vector<std::string>{"ip -4 neigh flush all", "ip -4 neigh show"}));
    for (int row = 0; row < 3; ++row) {
        EXPECT_TRUE(contains(statuses(row), 17)) << row;  // the job's time sync for all
        EXPECT_FALSE(contains(statuses(row), 13)) << row;
    }
    EXPECT_TRUE(contains(statuses(2), 15));  // no network step for the unplanned one

    const DeviceOutcome moved = outcome_of(0);
    ASSERT_TRUE(moved.planned);
    EXPECT_EQ(moved.ip_after, "127.0.0.41");
    EXPECT_EQ(moved.ip_took, true);
    EXPECT_EQ(moved.uid_took, true);
    EXPECT_FALSE(moved.dhcp_took);
    EXPECT_FALSE(outcome_of(2).planned);
}

TEST_F(PlannedJob, AnAddressAloneEndsThatWorkerWhileTheOthersGoOn) {
    add_camera(1);
    add_camera(2);
    client.add("127.0.0.41", {});
    discovery.hear_changes_in(&table);
    PlannedValues uid_only;
    uid_only.uid = "u2";
    table.set_plan({{mac_of(1), address("127.0.0.41")}, {mac_of(2), uid_only}});
    ASSERT_EQ(start(), START_OK);
    wait_finished();
    EXPECT_EQ(client.login_attempts("127.0.0.41") + client.login_attempts(ip_of(1)), 0);
    EXPECT_EQ(count_kind(REPORT_IP_CHANGED), 0);
    EXPECT_EQ(statuses(0), (std::vector<int>{28, 14, 14, 14}));
    EXPECT_EQ(shell_lines_at(ip_of(2)), (std::vector<std::string>{"echo u2 >/config/tuya.cfg"}));
    EXPECT_EQ(count_kind(REPORT_FINISHED), 2);
}

TEST_F(PlannedJob, APlannedAddressTheDeviceIsNeverHeardFromFailsItsNetworkStep) {
    add_camera(1);
    table.set_plan({{mac_of(1), address("127.0.0.41", "u1")}});
    // The front end searches while the worker waits to hear the device.
    std::atomic<int> searches{0};
    job.verdict_search().start([&] { ++searches; });
    ASSERT_EQ(start(), START_OK);
    wait_finished();
    job.verdict_search().stop();
    EXPECT_GT(searches.load(), 0);
    const std::vector<int> codes = statuses(0);
    EXPECT_TRUE(contains(codes, 13));
    // It kept its address: the UID goes there.
    EXPECT_EQ(shell_lines_at(ip_of(1)), (std::vector<std::string>{"echo u1 >/config/tuya.cfg"}));
    const DeviceOutcome device = outcome_of(0);
    EXPECT_EQ(device.ip_took, false);
    EXPECT_EQ(device.uid_took, true);
}

TEST_F(PlannedJob, ADeviceAlreadyAtItsPlannedAddressIsSentNoChange) {
    add_camera(1);
    PlannedValues planned = address(ip_of(1));
    planned.mask = "255.255.255.0";
    planned.gateway = "127.0.0.1";
    planned.dhcp = false;
    table.set_plan({{mac_of(1), planned}});
    ASSERT_EQ(start(), START_OK);
    wait_finished();
    EXPECT_TRUE(discovery.full_changes().empty());
    EXPECT_TRUE(discovery.port_changes().empty());
    EXPECT_TRUE(contains(statuses(0), 15));
    // Its DHCP setting still goes in the settings record.
    const std::vector<ConfigCall> records = client.config_calls(ip_of(1), NETWORK_CMD_CUSTOMER_CFG);
    ASSERT_EQ(records.size(), 1u);
    CUSTOMER_CFG cfg{};
    std::memcpy(&cfg, records[0].data.data(), sizeof cfg);
    EXPECT_EQ(cfg.set_network, 1);
    EXPECT_EQ(cfg.dhcp_enable, 0);
    const DeviceOutcome device = outcome_of(0);
    EXPECT_EQ(device.ip_took, true);
    EXPECT_EQ(device.dhcp_took, true);
}

TEST_F(PlannedJob, PlannedDhcpReplacesTheJobsSettingForThatDeviceOnly) {
    add_camera(1);
    add_camera(2);
    PlannedValues on;
    on.dhcp = true;
    table.set_plan({{mac_of(1), on}, {mac_of(2), {}}});
    params.dhcp_checked = 0;
    job.m_dostep.change_dhcp = 1;
    ASSERT_EQ(start(), START_OK);
    wait_finished();
    for (auto [n, expected] : {std::pair{1, 1}, {2, 0}}) {
        const std::vector<ConfigCall> records = client.config_calls(ip_of(n), NETWORK_CMD_CUSTOMER_CFG);
        ASSERT_EQ(records.size(), 1u) << n;
        CUSTOMER_CFG cfg{};
        std::memcpy(&cfg, records[0].data.data(), sizeof cfg);
        EXPECT_EQ(cfg.dhcp_enable, expected) << n;
    }
}

TEST_F(PlannedJob, RangeWithPlannedAddressesAndUnsafePlannedUidStartNothing) {
    add_camera(1);
    table.set_plan({{mac_of(1), address("127.0.0.41")}});
    job.m_dostep.change_auto_ip = 1;
    EXPECT_EQ(start("", "127.0.0.50", "127.0.0.60"), START_RANGE_AND_PLAN);
    EXPECT_FALSE(job.running());
    job.m_dostep = JOB_STEPS{};
    PlannedValues unsafe;
    unsafe.uid = "x;reboot";
    table.set_plan({{mac_of(1), unsafe}});
    EXPECT_EQ(start(), START_BAD_UID);
    EXPECT_FALSE(job.running());
    EXPECT_TRUE(client.config_calls(ip_of(1), NETWORK_CMD_SHELL).empty());
}

}  // namespace
