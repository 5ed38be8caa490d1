#include <algorithm>
#include <cstdio>

#include "batch_fixture.h"
#include "fake_onvif_camera.h"

namespace {

bool has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool has_prefix(const std::vector<std::string>& lines, const std::string& prefix) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

class OnvifWorker : public BatchFixture {
protected:
    void SetUp() override {
        BatchFixture::SetUp();
        job.set_onvif_connector(cameras.connector());
        params.user = "admin";
        params.pwd = "pw";
    }

    // Lists an ONVIF camera (checked) at `ip`; returns its row.
    int add_onvif(const std::string& ip, const std::string& version = "1.0") {
        int row = table.row_count();
        char mac_text[18];
        std::snprintf(mac_text, sizeof mac_text, "02:01:00:00:00:%02X", std::stoi(ip.substr(ip.rfind('.') + 1)));
        const std::string mac = mac_text;
        FakeOnvifCamera& camera = cameras.add(ip, mac);
        camera.version = version;
        ListedDevice listed{mac, ip, 80, version};
        listed.protocol = DeviceProtocol::onvif;
        listed.endpoint = "urn:uuid:" + mac;
        listed.xaddr = "http://" + ip + "/onvif/device_service";
        listed.model = "model-x";
        table.update_dev_find_list(listed, true);
        table.set_checked(row, true);
        discovery.list(mac, ip);
        return row;
    }

    std::string mac_of(int row) { return table.row(row)->mac; }
    std::string mark(int row, int column) { return table.row(row)->results[column - COL_NETWORK]; }

    // Applies every collected status to the table, as a front end does.
    void apply_reports() {
        for (const JobReport& r : reports)
            if (r.kind == REPORT_STATUS) table.apply_status(report_high(r.data), report_low(r.data));
    }

    FakeOnvifNetwork cameras;
};

TEST_F(OnvifWorker, MixedJobUpgradesBothKindsAndSetsTheZoneAsPosixText) {
    int native = add_device("127.0.0.2");
    int camera = add_onvif("10.0.0.5");
    cameras.camera(mac_of(camera)).version_after_flash = "2.0.0";
    job.m_dostep.need_update = 1;
    job.m_dostep.change_time_zone = 1;
    params.time_zone_index = 20;  // UTC+08:00
    std::string path = firmware(2, 0, 0);
    start(path);
    wait_finished();
    apply_reports();

    EXPECT_TRUE(contains(statuses(native), 6));
    std::vector<std::string> requests = cameras.requests(mac_of(camera));
    EXPECT_TRUE(has(requests, "start_firmware_upgrade"));
    EXPECT_EQ(cameras.camera(mac_of(camera)).uploaded_path, path);
    // The zone keeps the camera's date-time type; POSIX counts hours west.
    EXPECT_TRUE(has(requests, "set_system_date_and_time NTP UTC-8"));
    std::vector<int> codes = statuses(camera);
    EXPECT_TRUE(contains(codes, 6) && contains(codes, 11) && contains(codes, 8)) << ::testing::PrintToString(codes);
    EXPECT_EQ(mark(camera, COL_UPGRADE), kMarkDone);
    EXPECT_EQ(mark(camera, COL_SETTINGS), kMarkDone);
    EXPECT_EQ(table.row(camera)->version, "2.0.0");  // read from the camera itself
}

TEST_F(OnvifWorker, FileNotInTheNativeFormatGoesToOnvifCamerasOnly) {
    int native = add_device("127.0.0.2");
    int camera = add_onvif("10.0.0.5");
    job.m_dostep.need_update = 1;
    std::string path = temp_file("camera-maker.bin", std::vector<unsigned char>(2048, 7));
    start(path);
    wait_finished();
    EXPECT_TRUE(contains(statuses(native), 3));
    EXPECT_FALSE(contains(statuses(native), 6));
    EXPECT_EQ(cameras.camera(mac_of(camera)).uploaded_path, path);
    EXPECT_TRUE(contains(statuses(camera), 8));
}

TEST_F(OnvifWorker, VersionJudgedByTheFileWhereItCarriesOneElseByAnyChange) {
    int same = add_onvif("10.0.0.5");
    cameras.camera(mac_of(same)).version_after_flash = "1.0";  // came back on the old firmware
    int changed = add_onvif("10.0.0.6");
    job.m_dostep.need_update = 1;
    start(temp_file("fw.bin", std::vector<unsigned char>(2048, 1)));
    wait_finished();
    EXPECT_TRUE(contains(statuses(same), 9));
    EXPECT_FALSE(contains(statuses(same), 8));
    EXPECT_TRUE(contains(statuses(changed), 8));

    // A file in the native format names its version: another one is no upgrade.
    reports.clear();
    cameras.camera(mac_of(changed)).version_after_flash = "1.5.0";
    cameras.camera(mac_of(same)).version_after_flash = "2.0.0 build 7";
    table.set_checked(same, true);
    table.set_checked(changed, true);
    start(firmware(2, 0, 0));
    wait_finished();
    EXPECT_TRUE(contains(statuses(same), 8));
    EXPECT_TRUE(contains(statuses(changed), 9));
}

TEST_F(OnvifWorker, CameraOnTheFilesVersionIsDoneWithoutAFlash) {
    int row = add_onvif("10.0.0.5", "2.0.0");
    job.m_dostep.need_update = 1;
    job.m_dostep.change_time_zone = 1;
    start(firmware(2, 0, 0));
    wait_finished();
    EXPECT_TRUE(contains(statuses(row), kStatusAlreadyCurrent));
    EXPECT_FALSE(has(cameras.requests(mac_of(row)), "start_firmware_upgrade"));
    EXPECT_TRUE(contains(statuses(row), 26));  // the other steps still ran
    EXPECT_TRUE(job.device_runs()[0].already_current);
}

TEST_F(OnvifWorker, RefusedUploadAndCameraNeverBackFailTheirRow) {
    int refused = add_onvif("10.0.0.5");
    cameras.camera(mac_of(refused)).refuse_upload = true;
    int gone = add_onvif("10.0.0.6");
    cameras.camera(mac_of(gone)).never_back = true;
    job.m_dostep.need_update = 1;
    start(temp_file("fw.bin", std::vector<unsigned char>(100, 1)));
    wait_finished();
    EXPECT_TRUE(contains(statuses(refused), 5));
    EXPECT_FALSE(contains(statuses(refused), 11));
    EXPECT_TRUE(contains(statuses(gone), 11));
    EXPECT_TRUE(contains(statuses(gone), 9));
}

TEST_F(OnvifWorker, WrongPasswordChangesNothing) {
    int row = add_onvif("10.0.0.5");
    params.pwd = "wrong";
    job.m_dostep.need_update = 1;
    job.m_dostep.change_time_zone = 1;
    job.m_dostep.restore_factory = 1;
    start(temp_file("fw.bin", std::vector<unsigned char>(100, 1)));
    wait_finished();
    EXPECT_EQ(statuses(row), (std::vector<int>{kStatusClearRow, 15, 0, 21, 24, 18, 27}));
    std::vector<std::string> requests = cameras.requests(mac_of(row));
    EXPECT_FALSE(has_prefix(requests, "set_") || has_prefix(requests, "start_") || has_prefix(requests, "upload"));
}

TEST_F(OnvifWorker, StepsOnvifLacksAreNotAvailableNeverDone) {
    int row = add_onvif("10.0.0.5");
    job.m_dostep.change_logo = 1;
    job.m_dostep.send_command = 1;
    job.m_dostep.restore_factory = 1;
    job.m_dostep.change_video_standard = 1;
    job.m_dostep.change_time_zone = 1;
    params.logo_path = temp_file("logo.jpg", std::vector<unsigned char>(10, 1));
    params.command = "ls";
    start();
    wait_finished();
    apply_reports();
    EXPECT_EQ(mark(row, COL_LOGO), kMarkNotAvailable);
    EXPECT_EQ(mark(row, COL_COMMAND), kMarkNotAvailable);  // the factory reset was done, the command not
    EXPECT_EQ(mark(row, COL_SETTINGS), kMarkNotAvailable);
    EXPECT_TRUE(has(cameras.requests(mac_of(row)), "set_system_factory_default_soft"));
    EXPECT_FALSE(contains(statuses(row), 20));
    EXPECT_FALSE(contains(statuses(row), 26));
}

TEST_F(OnvifWorker, NewPasswordKeepsTheUsersLevelAndServesTheLaterSteps) {
    int row = add_onvif("10.0.0.5");
    job.m_dostep.change_password = 1;
    job.m_dostep.change_dhcp = 1;
    params.default_password = "new-pw";
    params.dhcp_checked = 1;
    start();
    wait_finished();
    std::vector<std::string> requests = cameras.requests(mac_of(row));
    EXPECT_TRUE(has(requests, "set_user admin Administrator"));
    // The DHCP step comes after the password and logs in with the new one.
    EXPECT_TRUE(has(requests, "set_ipv4 eth0 dhcp"));
    EXPECT_EQ(cameras.camera(mac_of(row)).password, "new-pw");
    EXPECT_TRUE(contains(statuses(row), 26));
}

TEST_F(OnvifWorker, FixedAddressMovesTheCameraAndTheWorkerFollowsIt) {
    int row = add_onvif("10.0.0.5");
    job.m_dostep.change_ip = 1;
    job.m_dostep.change_time_sync = 1;
    params.net_ip = "10.0.1.9";
    params.net_mask = "255.255.0.0";
    params.net_gateway = "10.0.0.1";
    start();
    wait_finished();
    std::vector<std::string> requests = cameras.requests(mac_of(row));
    EXPECT_TRUE(has(requests, "set_ipv4 eth0 10.0.1.9/16"));
    EXPECT_TRUE(has(requests, "set_default_gateway 10.0.0.1"));
    // The clock is set at the new address, Manual with the camera's own zone.
    EXPECT_TRUE(has(requests, "set_system_date_and_time Manual UTC0 utc"));
    EXPECT_TRUE(contains(statuses(row), 14));
    EXPECT_TRUE(contains(statuses(row), 17));
}

// A plan reaches ONVIF cameras through their own steps: each its own
// address; a planned UID is a step ONVIF lacks, never counted as done.
TEST_F(OnvifWorker, PlannedAddressesReachEachCameraAndAPlannedUidIsNotAvailable) {
    int first = add_onvif("10.0.0.5");
    int second = add_onvif("10.0.0.6");
    table.set_plan({{mac_of(first), PlannedValues{"10.0.1.5", "255.255.0.0", "10.0.0.1", std::nullopt, ""}},
                    {mac_of(second), PlannedValues{"10.0.1.6", "", "", std::nullopt, "uid-two"}}});
    ASSERT_EQ(start(), START_OK);
    wait_finished();
    apply_reports();
    EXPECT_TRUE(has(cameras.requests(mac_of(first)), "set_ipv4 eth0 10.0.1.5/16"));
    EXPECT_TRUE(has(cameras.requests(mac_of(first)), "set_default_gateway 10.0.0.1"));
    // An address alone keeps the camera's prefix and gateway.
    EXPECT_TRUE(has_prefix(cameras.requests(mac_of(second)), "set_ipv4 eth0 10.0.1.6/"));
    EXPECT_FALSE(has_prefix(cameras.requests(mac_of(second)), "set_default_gateway"));
    EXPECT_TRUE(contains(statuses(first), 14) && contains(statuses(second), 14));
    EXPECT_EQ(mark(second, COL_COMMAND), kMarkNotAvailable);
}

TEST_F(OnvifWorker, FailedLoginStillReachesTheAddressBarrier) {
    int native = add_device("127.0.0.2");
    int silent = add_onvif("10.0.0.5");
    cameras.camera(mac_of(silent)).silent = true;
    cameras.camera(mac_of(silent)).never_back = true;
    job.m_dostep.change_auto_ip = 1;
    job.m_dostep.change_time_sync = 1;
    start("", "10.0.2.1", "10.0.2.10");
    wait_finished();
    // The native device went past the barrier; the camera failed its change.
    EXPECT_TRUE(contains(statuses(native), 10));
    EXPECT_TRUE(contains(statuses(silent), 13));
    EXPECT_FALSE(contains(statuses(silent), 17));
}

TEST_F(OnvifWorker, NtpServerIsAnOnvifStep) {
    int native = add_device("127.0.0.2");
    int camera = add_onvif("10.0.0.5");
    params.ntp_server = "10.0.0.1";
    job.m_dostep.change_time_zone = 1;  // something for the native device to do
    start();
    wait_finished();
    std::vector<std::string> requests = cameras.requests(mac_of(camera));
    EXPECT_TRUE(has(requests, "set_ntp 10.0.0.1"));
    EXPECT_TRUE(has(requests, "set_system_date_and_time NTP UTC-8"));
    EXPECT_TRUE(contains(statuses(camera), 17));
    EXPECT_TRUE(contains(statuses(native), kStatusNtpNotOnNative));
}

TEST_F(OnvifWorker, StopWhileTheCameraRebootsSaysTheFirmwareWasSent) {
    int row = add_onvif("10.0.0.5");
    cameras.camera(mac_of(row)).never_back = true;
    job.m_dostep.need_update = 1;
    rt_set_time_speed(1);  // the reboot wait lasts while the test stops the job
    start(temp_file("fw.bin", std::vector<unsigned char>(100, 1)));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!cameras.camera(mac_of(row)).silent && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    job.stop_job();
    collect();
    EXPECT_EQ(statuses(row).back(), kStatusStoppedAfterFlash);
    EXPECT_FALSE(contains(statuses(row), 9));
}

}  // namespace
