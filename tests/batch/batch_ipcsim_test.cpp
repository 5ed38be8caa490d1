// The engine against simulated cameras over the real client library, on
// loopback addresses, with time running 100 times faster.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "batch/batch_job.h"
#include "client/firmware_format.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "sim/device_server.h"
#include "sim/simulator.h"

namespace {

// Discovery as the workers see it, read from the simulator's cameras: a
// camera that is back from its reboot is listed again with its new version.
class SimDiscovery : public IDiscoveryLink {
public:
    SimDiscovery(Simulator& sim, CDeviceTable& table) : m_sim(sim), m_table(table) {}
    int ChangeIpPort(const IpChangeRequest&) override { return 1; }
    int ChangeIp(const IpChangeRequest&) override { return 1; }
    std::optional<std::string> FindIp(const std::string& mac) override {
        std::shared_ptr<SimCamera> camera = m_sim.find_by_mac(mac);
        if (!camera || !camera->online()) return std::nullopt;
        CameraIdentity id = camera->identity();
        m_table.update_dev_find_list(listed(id), false);
        return id.ip;
    }
    static ListedDevice listed(const CameraIdentity& id) {
        return ListedDevice{id.mac, id.ip, id.cmd_port, id.version, static_cast<std::uint32_t>(id.board_type),
                            id.device_type};
    }

private:
    Simulator& m_sim;
    CDeviceTable& m_table;
};

class BatchIpcsim : public ::testing::Test {
protected:
    void SetUp() override {
        rt_set_time_speed(100);
        set_trace_sink(&trace_null_sink, nullptr);
        Network_ClientInit();
    }
    void TearDown() override {
        if (job) job->stop_job();
        for (auto& server : servers) server->stop();
        Network_ClientUnInit();
        rt_set_time_speed(1);
        set_trace_sink(nullptr, nullptr);
        std::filesystem::remove(firmware_path);
    }

    // Starts `count` cameras from base_ip up and lists them, checked.
    void start_cameras(const std::string& base_ip, int count, const std::map<std::string, DeviceFaults>& faults = {}) {
        SimOptions options;
        options.count = count;
        options.base_ip = base_ip;
        options.cmd_port = 18600;
        options.device_type = 5;
        options.version = "1.0.0";
        sim = std::make_unique<Simulator>(options);
        DeviceSideOptions device_options;
        device_options.reboot_ms = 3000;
        device_options.faults = faults;
        for (const auto& camera : sim->cameras()) {
            servers.push_back(std::make_unique<DeviceServer>(camera, device_options));
            ASSERT_EQ(servers.back()->start(), "");
            table.update_dev_find_list(SimDiscovery::listed(camera->identity()), true);
        }
        table.select_all();
        discovery = std::make_unique<SimDiscovery>(*sim, table);
        job = std::make_unique<CBatchJob>(table, client, *discovery);
    }

    std::string mac(int i) const { return sim->cameras()[i]->identity().mac; }

    void make_firmware(std::uint64_t size) {
        kaltro::FirmwareHeader header;
        header.board_type = 0x20;
        header.image_size = size;
        kaltro::parse_version("1.0.1", header.version);
        header.board_name = "SIMBOARD";
        ASSERT_TRUE(kaltro::write_firmware_file(firmware_path, header, 7));
    }

    void run_to_end() {
        ASSERT_EQ(job->start_upgrade(params, firmware, "", ""), START_OK);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (job->running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_FALSE(job->running());
        reports = job->reports().drain();
    }

    std::vector<int> statuses(int row) const {
        std::vector<int> codes;
        for (const JobReport& r : reports)
            if (r.kind == REPORT_STATUS && report_high(r.data) == row) codes.push_back(report_low(r.data));
        return codes;
    }
    static bool has(const std::vector<int>& codes, int code) {
        return std::find(codes.begin(), codes.end(), code) != codes.end();
    }

    std::string firmware_path =
        (std::filesystem::temp_directory_path() / ("batch_ipcsim_" + std::to_string(::getpid()) + ".update")).string();
    std::string firmware;
    CDeviceTable table{[](const std::string& key) { return key; }};
    CKaltroDeviceClient client;
    std::unique_ptr<Simulator> sim;
    std::vector<std::unique_ptr<DeviceServer>> servers;
    std::unique_ptr<SimDiscovery> discovery;
    std::unique_ptr<CBatchJob> job;
    JobParams params;
    std::vector<JobReport> reports;
};

TEST_F(BatchIpcsim, UpgradeAndTimeZoneReachEveryCamera) {
    ASSERT_NO_FATAL_FAILURE(start_cameras("127.0.77.10", 5));
    ASSERT_NO_FATAL_FAILURE(make_firmware(256 * 1024));
    firmware = firmware_path;
    params.pwd = "tovik";
    params.time_zone_index = 20;
    job->m_dostep.need_update = 1;
    job->m_dostep.change_time_zone = 1;
    run_to_end();
    JobReport last_progress{}, last_count{};
    for (const JobReport& r : reports) {
        if (r.kind == REPORT_PROGRESS) last_progress = r;
        if (r.kind == REPORT_COUNT) last_count = r;
    }
    EXPECT_EQ(last_progress.data, 100u);
    EXPECT_EQ(last_count.data, report_pair(5, 5));
    for (int i = 0; i < 5; ++i) {
        std::vector<int> codes = statuses(i);
        EXPECT_TRUE(has(codes, 8)) << i;
        EXPECT_FALSE(has(codes, 9)) << i;
        EXPECT_TRUE(has(codes, 26)) << i;
        nlohmann::json state = servers[i]->state().to_json();
        EXPECT_EQ(state["version"], "1.0.1");
        EXPECT_EQ(state["settings"]["time_zone"], 28800);
        EXPECT_EQ(state["sessions"], 0);
    }
}

TEST_F(BatchIpcsim, RefusedLoginAndRetriedTimeWrite) {
    std::map<std::string, DeviceFaults> faults;
    DeviceFaults refuse;
    refuse.refuse_login = NETWORK_ERR_USER;
    DeviceFaults retry;
    retry.answer17_command = NETWORK_CMD_SET_TIME;
    faults["02:00:00:00:00:01"] = refuse;
    faults["02:00:00:00:00:02"] = retry;
    ASSERT_NO_FATAL_FAILURE(start_cameras("127.0.77.40", 3, faults));
    ASSERT_EQ(mac(0), "02:00:00:00:00:01");
    params.pwd = "tovik";
    job->m_dostep.change_time_sync = 1;
    run_to_end();
    EXPECT_EQ(statuses(0), (std::vector<int>{28, 15, 0, 21, 24, 18, 27}));
    std::vector<int> retried = statuses(1);
    EXPECT_EQ(std::count(retried.begin(), retried.end(), 17), 1);
    EXPECT_FALSE(has(retried, 16));
    nlohmann::json state = servers[1]->state().to_json();
    EXPECT_EQ(state["logins"], 2);
    EXPECT_TRUE(state.contains("time"));
    EXPECT_TRUE(has(statuses(2), 17));
}

TEST_F(BatchIpcsim, StopDuringTransfersEndsEveryWorkerOnce) {
    ASSERT_NO_FATAL_FAILURE(start_cameras("127.0.77.70", 6));
    ASSERT_NO_FATAL_FAILURE(make_firmware(8 * 1024 * 1024));
    firmware = firmware_path;
    params.pwd = "tovik";
    job->m_dostep.need_update = 1;
    ASSERT_EQ(job->start_upgrade(params, firmware, "", ""), START_OK);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    auto any_started = [&] {
        for (const JobReport& r : job->reports().drain()) {
            reports.push_back(r);
            if (r.kind == REPORT_STATUS && report_low(r.data) == 6) return true;
        }
        return false;
    };
    while (!any_started() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    job->stop_job();
    for (const JobReport& r : job->reports().drain()) reports.push_back(r);
    for (int row = 0; row < 6; ++row) {
        int finished = 0;
        for (const JobReport& r : reports) finished += r.kind == REPORT_FINISHED && static_cast<int>(r.data) == row;
        EXPECT_EQ(finished, 1) << row;
    }
    // The sessions end with the logouts; give the cameras a moment to see them.
    for (int i = 0; i < 6; ++i) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (servers[i]->state().to_json()["sessions"] != 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_EQ(servers[i]->state().to_json()["sessions"], 0) << i;
    }
}

}  // namespace
