// Firmware transfers: the device's verdicts, progress, abort, the reboot and
// a device that dies in the middle.

#include <filesystem>
#include <fstream>

#include "tests/client/sim_fixture.h"

namespace {

class UpgradeTest : public SimFixture {
protected:
    // Logs in, sends firmware of `version` to the end and logs out: the
    // camera then reboots.
    void flash_and_log_out(const std::string& version) {
        int32_t h = login();
        int32_t transfer = -1;
        ASSERT_EQ(Network_ClientStartUpgrade(&transfer, h, firmware(version).c_str()), NETWORK_OK);
        int32_t progress = 0;
        EXPECT_EQ(run_transfer(transfer, progress), NETWORK_OK);
        Network_ClientStopUpgrade(transfer);
        Network_ClientLogout(h);
    }
};

TEST_F(UpgradeTest, TransferRebootsIntoTheNewVersion) {
    start_cameras(1, [](DeviceSideOptions& o) { o.reboot_ms = 20000; });
    std::string fw = firmware("1.0.1", 3 * 1024 * 1024 + 17);
    int32_t h = login();
    EventLog events;
    ASSERT_EQ(Network_ClientSetEventCB(h, EventLog::callback, &events), NETWORK_OK);
    int32_t transfer = -1;
    ASSERT_EQ(Network_ClientStartUpgrade(&transfer, h, fw.c_str()), NETWORK_OK);
    ASSERT_NE(transfer, -1);
    int32_t progress = 0;
    EXPECT_EQ(run_transfer(transfer, progress), NETWORK_OK);
    EXPECT_EQ(progress, 100);
    EXPECT_EQ(Network_ClientStopUpgrade(transfer), NETWORK_OK);
    // The reboot drops the login: one disconnect event, with the login's handle.
    EXPECT_TRUE(wait_for([&] { return events.disconnects.load() == 1; }));
    EXPECT_EQ(events.last_handle.load(), h);
    EXPECT_EQ(Network_ClientDeviceControl(h, DEVICE_CTRL_LIGHT, 0, 1, 1), NETWORK_ERR_NETWORK);
    Network_ClientLogout(h);
    // Silent while rebooting, then back with the new version.
    EXPECT_TRUE(wait_for([&] { return !m_simulator->cameras()[0]->online(); }));
    EXPECT_EQ(Network_ClientLogin(&h, ip().c_str(), kPort, "Admin", "tovik"), NETWORK_ERR_NETWORK);
    EXPECT_TRUE(wait_for([&] { return m_simulator->cameras()[0]->online(); }, 60000));
    h = login();
    IPC_DEVICE_INFO info{};
    ASSERT_EQ(Network_ClientGetDeviceConfig(h, NETWORK_CMD_GET_DEVICE_INFO, 0, &info, sizeof(info)), NETWORK_OK);
    EXPECT_STREQ(info.software_version, "1.0.1");
    EXPECT_EQ(events.disconnects.load(), 1);
    Network_ClientLogout(h);
}

TEST_F(UpgradeTest, DeviceRefusesWrongFiles) {
    start_cameras();
    int32_t h = login();
    int32_t transfer = 5;
    EXPECT_EQ(Network_ClientStartUpgrade(&transfer, h, firmware("1.0.0").c_str()), NETWORK_ERR_UPGRADE_SAME_VERSION);
    EXPECT_EQ(transfer, -1);
    EXPECT_EQ(Network_ClientStartUpgrade(&transfer, h, firmware("1.0.2", 1024, kBoard + 1).c_str()),
              NETWORK_ERR_UPGRADE_BOARD_TYPE);
    EXPECT_EQ(Network_ClientStartUpgrade(&transfer, h, "/nonexistent/fw.update"), NETWORK_ERR_UPGRADE_INVALID_FILE);
    std::string junk = firmware("1.0.3");
    {
        std::fstream file(junk, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(40);
        file.put('\x7f');  // version patch changed: the header check sum no longer fits
    }
    EXPECT_EQ(Network_ClientStartUpgrade(&transfer, h, junk.c_str()), NETWORK_ERR_UPGRADE_INVALID_FILE);
    EXPECT_EQ(transfer, -1);
    EXPECT_EQ(state()["upgrade_refusals"].size(), 3u);  // the missing file never reached the device
    m_simulator->cameras()[0]->update([](CameraIdentity& id) { id.version = "V1.0.0"; });
    EXPECT_EQ(Network_ClientStartUpgrade(&transfer, h, firmware("1.0.0").c_str()), NETWORK_ERR_UPGRADE_SAME_VERSION);
    Network_ClientLogout(h);
}

TEST_F(UpgradeTest, DamagedImageIsRefusedAtTheEnd) {
    start_cameras();
    std::string fw = firmware("1.0.4", 200000);
    {
        std::fstream file(fw, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(600);
        file.put('\x01');
    }
    int32_t h = login();
    int32_t transfer = -1;
    ASSERT_EQ(Network_ClientStartUpgrade(&transfer, h, fw.c_str()), NETWORK_OK);
    int32_t progress = 0;
    EXPECT_EQ(run_transfer(transfer, progress), NETWORK_ERR_UPGRADE_INVALID_FILE);
    EXPECT_NE(progress, 100);
    Network_ClientStopUpgrade(transfer);
    EXPECT_EQ(state()["version"], "1.0.0");
    EXPECT_EQ(state()["online"], true);
    Network_ClientLogout(h);
}

// The file shrinks while it is sent (someone rewrites it): the transfer
// fails as a bad file, and the device, which got part of a frame, keeps its
// firmware.
TEST_F(UpgradeTest, FirmwareFileThatShrinksMidTransferFailsAsABadFile) {
    start_cameras();
    std::string fw = firmware("1.0.9", 64 * 1024 * 1024);
    int32_t h = login();
    int32_t transfer = -1;
    ASSERT_EQ(Network_ClientStartUpgrade(&transfer, h, fw.c_str()), NETWORK_OK);
    std::filesystem::resize_file(fw, 1024 * 1024);
    int32_t progress = 0;
    EXPECT_EQ(run_transfer(transfer, progress), NETWORK_ERR_UPGRADE_INVALID_FILE);
    Network_ClientStopUpgrade(transfer);
    Network_ClientLogout(h);
    EXPECT_TRUE(wait_for([&] { return !server().state().upgrading(); }));
    EXPECT_EQ(state()["version"], "1.0.0");
    EXPECT_EQ(state()["online"], true);
}

TEST_F(UpgradeTest, FailedStatusPollsDoNotStopTheTransfer) {
    start_cameras(1, [](DeviceSideOptions& o) { parse_device_faults("fail_status_polls=3", o.faults["*"]); });
    std::string fw = firmware("1.0.5", 8 * 1024 * 1024);
    int32_t h = login();
    int32_t transfer = -1;
    ASSERT_EQ(Network_ClientStartUpgrade(&transfer, h, fw.c_str()), NETWORK_OK);
    int failures = 0;
    int32_t progress = 0;
    ASSERT_TRUE(wait_for([&] {
        if (Network_ClientGetUpgradeStatus(transfer, &progress) != NETWORK_OK) ++failures;
        return progress == 100;
    }));
    EXPECT_LE(failures, 3);
    Network_ClientStopUpgrade(transfer);
    Network_ClientLogout(h);
}

TEST_F(UpgradeTest, StopAbortsAndTheDeviceTakesTheNextTransfer) {
    start_cameras();
    std::string big = firmware("1.0.6", 64 * 1024 * 1024);
    int32_t h = login();
    int32_t transfer = -1;
    ASSERT_EQ(Network_ClientStartUpgrade(&transfer, h, big.c_str()), NETWORK_OK);
    EXPECT_EQ(Network_ClientStopUpgrade(transfer), NETWORK_OK);
    int32_t progress = 0;
    EXPECT_EQ(Network_ClientGetUpgradeStatus(transfer, &progress), NETWORK_ERR_INVALID_HANDLE);
    EXPECT_TRUE(wait_for([&] { return !server().state().upgrading(); }));
    std::string small = firmware("1.0.7", 1000);
    ASSERT_EQ(Network_ClientStartUpgrade(&transfer, h, small.c_str()), NETWORK_OK);
    EXPECT_EQ(run_transfer(transfer, progress), NETWORK_OK);
    Network_ClientStopUpgrade(transfer);
    Network_ClientLogout(h);
}

TEST_F(UpgradeTest, DeviceKilledMidTransferThenBackAgain) {
    start_cameras(1, [](DeviceSideOptions& o) { parse_device_faults("drop_at_percent=40", o.faults["*"]); });
    std::string fw = firmware("1.0.8", 4 * 1024 * 1024);
    int32_t h = login();
    EventLog events;
    Network_ClientSetEventCB(h, EventLog::callback, &events);
    int32_t transfer = -1;
    ASSERT_EQ(Network_ClientStartUpgrade(&transfer, h, fw.c_str()), NETWORK_OK);
    int32_t progress = 0;
    EXPECT_EQ(run_transfer(transfer, progress), NETWORK_ERR_NETWORK);
    EXPECT_LT(progress, 100);
    EXPECT_TRUE(wait_for([&] { return events.disconnects.load() == 1; }));
    Network_ClientStopUpgrade(transfer);
    Network_ClientLogout(h);
    rt_sleep_ms(1000);
    EXPECT_EQ(events.disconnects.load(), 1);
    // The camera forgot the broken transfer: a new login flashes it.
    h = login();
    ASSERT_EQ(Network_ClientStartUpgrade(&transfer, h, fw.c_str()), NETWORK_OK);
    EXPECT_EQ(run_transfer(transfer, progress), NETWORK_OK);
    Network_ClientStopUpgrade(transfer);
    Network_ClientLogout(h);
}

TEST_F(UpgradeTest, CameraThatNeverComesBack) {
    start_cameras(1, [](DeviceSideOptions& o) { o.faults["*"].never_come_back = true; });
    flash_and_log_out("2.0.0");
    rt_sleep_ms(3 * m_device_options.reboot_ms);
    int32_t again = 0;
    EXPECT_EQ(Network_ClientLogin(&again, ip().c_str(), kPort, "Admin", "tovik"), NETWORK_ERR_NETWORK);
    EXPECT_FALSE(m_simulator->cameras()[0]->online());
}

TEST_F(UpgradeTest, LoginsAreRefusedWhileFlashing) {
    start_cameras();
    int32_t h = login();
    int32_t transfer = -1;
    ASSERT_EQ(Network_ClientStartUpgrade(&transfer, h, firmware("1.1.0", 64 * 1024 * 1024).c_str()), NETWORK_OK);
    int32_t other = 0;
    EXPECT_EQ(Network_ClientLogin(&other, ip().c_str(), kPort, "Admin", "tovik"), NETWORK_ERR_BUSY);
    Network_ClientStopUpgrade(transfer);
    Network_ClientLogout(h);
}

// The test bench logs in on a fixed port; a camera that serves it must do so
// wherever it serves its command port: after the reboot and at a new address.
TEST_F(UpgradeTest, BenchPortIsServedBesideTheCommandPortAfterRebootAndMove) {
    constexpr std::uint16_t kBench = kPort + 100;
    start_cameras(1, [](DeviceSideOptions& o) { o.bench_port = kBench; });
    auto logs_in_on = [&](std::uint16_t port) {
        int32_t handle = -1;
        bool ok = Network_ClientLogin(&handle, ip().c_str(), port, "Admin", "tovik") == NETWORK_OK;
        if (ok) Network_ClientLogout(handle);
        return ok;
    };
    EXPECT_TRUE(logs_in_on(kPort));
    EXPECT_TRUE(logs_in_on(kBench));

    flash_and_log_out("2.0.0");
    EXPECT_TRUE(wait_for([&] { return !m_simulator->cameras()[0]->online(); }));
    EXPECT_FALSE(logs_in_on(kBench));  // silent on both while rebooting
    EXPECT_TRUE(wait_for([&] { return m_simulator->cameras()[0]->online(); }, 60000));
    EXPECT_TRUE(logs_in_on(kBench));

    std::string old_ip = ip();
    std::string new_ip = sim_ip_add(old_ip, 50);
    m_simulator->cameras()[0]->update([&](CameraIdentity& id) { id.ip = new_ip; });
    EXPECT_TRUE(wait_for([&] { return logs_in_on(kBench) && logs_in_on(kPort); }));
    int32_t stale = -1;
    EXPECT_EQ(Network_ClientLogin(&stale, old_ip.c_str(), kBench, "Admin", "tovik"), NETWORK_ERR_NETWORK);
}

TEST(DeviceConfig, BenchPortOutOfRangeIsRefused) {
    std::string path = "/tmp/tervane_bench_port_" + std::to_string(getpid()) + ".json";
    CLI::App app;
    DeviceSideOptions options;
    add_device_options(app, options);
    for (const char* port : {"70000", "-1"}) {
        std::ofstream(path) << "{\"bench_port\": " << port << "}";
        EXPECT_NE(load_device_config(path, app, options), "") << port;
        EXPECT_EQ(options.bench_port, 0) << port;
    }
    std::ofstream(path) << "{\"bench_port\": 6001}";
    EXPECT_EQ(load_device_config(path, app, options), "");
    EXPECT_EQ(options.bench_port, 6001);
    std::remove(path.c_str());
}

}  // namespace
