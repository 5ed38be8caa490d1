// The client library against simulated cameras, one contract row at a time.

#include <cstring>

#include "tests/client/sim_fixture.h"

namespace {

using ContractTest = SimFixture;

TEST_F(ContractTest, InitAndUnInitAreCounted) {
    start_cameras();
    Network_ClientInit();  // a second dialog
    Network_ClientUnInit();
    int32_t handle = login();
    EXPECT_EQ(Network_ClientLogout(handle), NETWORK_OK);
    Network_ClientUnInit();
    int32_t refused = 0;
    EXPECT_EQ(Network_ClientLogin(&refused, ip().c_str(), kPort, "Admin", "tovik"), NETWORK_ERR_NOT_INITIALIZED);
    EXPECT_EQ(refused, -1);
    EXPECT_NE(Network_ClientUnInit(), NETWORK_OK);  // one more than Init
    Network_ClientInit();                           // for TearDown's UnInit
}

TEST_F(ContractTest, LoginResults) {
    start_cameras(1, [](DeviceSideOptions& o) { o.max_sessions = 2; });
    int32_t handle = 5;
    EXPECT_EQ(Network_ClientLogin(&handle, ip().c_str(), kPort, "nobody", "tovik"), NETWORK_ERR_USER);
    EXPECT_EQ(handle, -1);
    EXPECT_EQ(Network_ClientLogin(&handle, ip().c_str(), kPort, "Admin", "wrong"), NETWORK_ERR_PASSWORD);
    EXPECT_EQ(handle, -1);
    int32_t first = login(), second = login();
    EXPECT_NE(first, second);
    EXPECT_EQ(Network_ClientLogin(&handle, ip().c_str(), kPort, "Admin", "tovik"), NETWORK_ERR_MAX_USER);
    Network_ClientLogout(first);
    // The device frees the slot when it sees the connection go.
    EXPECT_TRUE(wait_for([&] { return state()["sessions"] == 1; }));
    int32_t third = login();
    EXPECT_EQ(Network_ClientLogin(&handle, "127.0.0.1", 1, "Admin", "tovik"), NETWORK_ERR_NETWORK);
    EXPECT_EQ(Network_ClientLogin(&handle, "not an address", kPort, "Admin", "tovik"), NETWORK_ERR_NETWORK);
    EXPECT_EQ(Network_ClientLogin(nullptr, ip().c_str(), kPort, "Admin", "tovik"), NETWORK_ERR_INVALID_ARG);
    EXPECT_EQ(Network_ClientLogin(&handle, ip().c_str(), kPort, nullptr, "tovik"), NETWORK_ERR_INVALID_ARG);
    Network_ClientLogout(second);
    Network_ClientLogout(third);
}

TEST_F(ContractTest, RefusedAndBusyLogins) {
    start_cameras(2, [](DeviceSideOptions& o) {
        parse_device_faults("refuse_login=16", o.faults["02:00:00:00:00:01"]);
        parse_device_faults("refuse_login=13", o.faults["02:00:00:00:00:02"]);
    });
    int32_t handle = 0;
    EXPECT_EQ(Network_ClientLogin(&handle, ip(0).c_str(), kPort, "Admin", "tovik"), NETWORK_ERR_BUSY);
    EXPECT_EQ(Network_ClientLogin(&handle, ip(1).c_str(), kPort, "Admin", "tovik"), NETWORK_ERR_PASSWORD);
    EXPECT_EQ(handle, -1);
}

TEST_F(ContractTest, StaleAndNoneHandlesFailEverywhere) {
    start_cameras();
    int32_t stale = login();
    ASSERT_EQ(Network_ClientLogout(stale), NETWORK_OK);
    char buffer[936] = {};
    PTZ_PARAM ptz{1, PTZ_MOVE_UP, 0, 0};
    LIVE_PARAM live{0, 1, 2};
    for (int32_t handle : {stale, -1, 0, 123456}) {
        int32_t out = 9;
        int32_t progress = 0;
        EXPECT_EQ(Network_ClientLogout(handle), NETWORK_ERR_INVALID_HANDLE);
        EXPECT_EQ(Network_ClientSetEventCB(handle, EventLog::callback, nullptr), NETWORK_ERR_INVALID_HANDLE);
        EXPECT_EQ(Network_ClientStartUpgrade(&out, handle, "/dev/null"), NETWORK_ERR_INVALID_HANDLE);
        EXPECT_EQ(out, -1);
        EXPECT_EQ(Network_ClientGetUpgradeStatus(handle, &progress), NETWORK_ERR_INVALID_HANDLE);
        EXPECT_EQ(Network_ClientStopUpgrade(handle), NETWORK_ERR_INVALID_HANDLE);
        EXPECT_EQ(Network_ClientGetDeviceConfig(handle, 1100, 0, buffer, 936), NETWORK_ERR_INVALID_HANDLE);
        EXPECT_EQ(Network_ClientSetDeviceConfig(handle, 1422, 0, nullptr, 0), NETWORK_ERR_INVALID_HANDLE);
        EXPECT_EQ(Network_ClientDeviceControl(handle, 100, 0, 1, 1), NETWORK_ERR_INVALID_HANDLE);
        EXPECT_EQ(Network_ClientLDRControl(handle, 1042, 1), NETWORK_ERR_INVALID_HANDLE);
        EXPECT_EQ(Network_ClientIrcutControl(handle, 1), NETWORK_ERR_INVALID_HANDLE);
        EXPECT_EQ(Network_ClientPlayVoiceData_test(handle, 1), NETWORK_ERR_INVALID_HANDLE);
        EXPECT_EQ(Network_ClientPTZControl(handle, 0, &ptz), NETWORK_ERR_INVALID_HANDLE);
        EXPECT_EQ(Network_ClientStartLive(&out, handle, &live, nullptr, nullptr), NETWORK_ERR_INVALID_HANDLE);
        EXPECT_EQ(out, -1);
        EXPECT_EQ(Network_ClientStopLive(handle), NETWORK_ERR_INVALID_HANDLE);
        EXPECT_EQ(Network_ClientLiveControl(handle, 3, nullptr), NETWORK_ERR_INVALID_HANDLE);
        EXPECT_EQ(Network_ClientGetCameraAdvanceConfig(handle, 0, buffer, 64), NETWORK_ERR_INVALID_HANDLE);
    }
}

TEST_F(ContractTest, DeviceInfoStorageAndCapability) {
    start_cameras();
    int32_t h = login();
    IPC_DEVICE_INFO info{};
    ASSERT_EQ(Network_ClientGetDeviceConfig(h, NETWORK_CMD_GET_DEVICE_INFO, 0, &info, sizeof(info)), NETWORK_OK);
    EXPECT_STREQ(info.mac, mac().c_str());
    EXPECT_STREQ(info.software_version, "1.0.0");
    EXPECT_EQ(info.board_id, static_cast<uint32_t>(kBoard));
    EXPECT_STRNE(info.uid, "");
    EXPECT_STRNE(info.pid, "");
    EXPECT_STRNE(info.board_name, "");
    USB_INFO usb{};
    ASSERT_EQ(Network_ClientGetDeviceConfig(h, NETWORK_CMD_GET_USB_INFO, 0, &usb, sizeof(usb)), NETWORK_OK);
    EXPECT_EQ(usb.disk_cnt, 1);
    EXPECT_STRNE(usb.disk_text, "");
    CAMERA_ADVANCE_CONFIG cap{};
    ASSERT_EQ(Network_ClientGetCameraAdvanceConfig(h, 0, &cap, 64), NETWORK_OK);
    EXPECT_EQ(cap.mic, 1);
    EXPECT_EQ(cap.speaker, 1);
    EXPECT_EQ(cap.ptz, 1);
    EXPECT_EQ(cap.light_type, 1);
    // A record size the device does not have is refused, nothing is copied.
    char small[100];
    std::memset(small, 0x5A, sizeof(small));
    EXPECT_EQ(Network_ClientGetDeviceConfig(h, NETWORK_CMD_GET_DEVICE_INFO, 0, small, sizeof(small)),
              NETWORK_ERR_INVALID_ARG);
    EXPECT_EQ(small[0], 0x5A);
    EXPECT_EQ(Network_ClientGetCameraAdvanceConfig(h, 0, &cap, 32), NETWORK_ERR_INVALID_ARG);
    EXPECT_EQ(Network_ClientGetDeviceConfig(h, 4242, 0, small, 4), NETWORK_ERR_NOT_SUPPORTED);
    Network_ClientLogout(h);
}

TEST_F(ContractTest, TimeIsReadAndWritten) {
    start_cameras();
    int32_t h = login();
    DEVICE_TIME t{};
    ASSERT_EQ(Network_ClientGetDeviceConfig(h, NETWORK_CMD_GET_TIME, 0, &t, sizeof(t)), NETWORK_OK);
    EXPECT_GE(t.year, 2020);
    t.mode = 5;
    t.year = 2024;
    t.month = 2;
    t.day = 29;
    t.hour = 23;
    t.minute = 59;
    t.second = 58;
    ASSERT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_SET_TIME, 0, &t, sizeof(t)), NETWORK_OK);
    EXPECT_EQ(state()["time"], nlohmann::json({2024, 2, 29, 23, 59, 58, 5}));
    t.month = 13;
    EXPECT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_SET_TIME, 0, &t, sizeof(t)), NETWORK_ERR_INVALID_ARG);
    EXPECT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_SET_TIME, 0, &t, 40), NETWORK_ERR_INVALID_ARG);
    Network_ClientLogout(h);
}

TEST_F(ContractTest, ShellCommandsAndTheUidLine) {
    start_cameras();
    int32_t h = login();
    char line[NETWORK_SHELL_LINE_SIZE] = {};
    std::snprintf(line, sizeof(line), "echo %s >/config/tuya.cfg", "abc123");
    ASSERT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_SHELL, 0, line, sizeof(line)), NETWORK_OK);
    std::snprintf(line, sizeof(line), "ls /tmp");
    ASSERT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_SHELL, 0, line, sizeof(line)), NETWORK_OK);
    nlohmann::json s = state();
    EXPECT_EQ(s["files"]["/config/tuya.cfg"], "abc123\n");
    EXPECT_EQ(s["shell"], nlohmann::json({"echo abc123 >/config/tuya.cfg", "ls /tmp"}));
    // A line without its terminator is refused, not read past.
    std::memset(line, 'x', sizeof(line));
    EXPECT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_SHELL, 0, line, sizeof(line)), NETWORK_ERR_INVALID_ARG);
    Network_ClientLogout(h);
}

TEST_F(ContractTest, SettingsRecordAppliesOnlyFlaggedFields) {
    start_cameras();
    int32_t h = login();
    CUSTOMER_CFG cfg{};
    ASSERT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_CUSTOMER_CFG, 0, &cfg, sizeof(cfg)), NETWORK_OK);
    nlohmann::json before = state()["settings"];
    cfg.set_time_zone = 1;
    cfg.time_zone = 8 * 3600;
    cfg.language = 7;  // not flagged: stays
    cfg.set_network = 1;
    cfg.dhcp_enable = 0;
    cfg.set_wifi_ch_max = 1;
    cfg.wifi_ch_max = 11;
    ASSERT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_CUSTOMER_CFG, 0, &cfg, sizeof(cfg)), NETWORK_OK);
    nlohmann::json after = state()["settings"];
    EXPECT_EQ(after["time_zone"], 28800);
    EXPECT_EQ(after["dhcp_enable"], 0);
    EXPECT_EQ(after["wifi_ch_max"], 11);
    EXPECT_EQ(after["language"], before["language"]);
    EXPECT_EQ(after["video_standard"], before["video_standard"]);
    EXPECT_EQ(after["applied"], 2);
    EXPECT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_CUSTOMER_CFG, 0, &cfg, 1000), NETWORK_ERR_INVALID_ARG);
    Network_ClientLogout(h);
}

TEST_F(ContractTest, LogoUploadInPieces) {
    start_cameras();
    int32_t h = login();
    std::vector<char> logo(2500, 'L');
    int32_t length = static_cast<int32_t>(logo.size());
    ASSERT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_LOGO_START, 0, &length, 4), NETWORK_OK);
    for (std::size_t at = 0; at < logo.size(); at += LOGO_PIECE_MAX) {
        int32_t piece = static_cast<int32_t>(std::min<std::size_t>(LOGO_PIECE_MAX, logo.size() - at));
        ASSERT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_LOGO_DATA, 0, logo.data() + at, piece), NETWORK_OK);
    }
    ASSERT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_LOGO_FINISH, 0, nullptr, 0), NETWORK_OK);
    EXPECT_EQ(state()["logo"]["stored_length"], 2500);
    // A finish without all announced bytes fails; the stored logo stays.
    length = 10;
    ASSERT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_LOGO_START, 0, &length, 4), NETWORK_OK);
    EXPECT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_LOGO_FINISH, 0, nullptr, 0), NETWORK_ERR_FAIL);
    EXPECT_EQ(state()["logo"]["stored_length"], 2500);
    // An empty logo: start 0, no data, finish.
    length = 0;
    ASSERT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_LOGO_START, 0, &length, 4), NETWORK_OK);
    EXPECT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_LOGO_FINISH, 0, nullptr, 0), NETWORK_OK);
    EXPECT_EQ(state()["logo"]["stored_length"], 0);
    Network_ClientLogout(h);
}

TEST_F(ContractTest, DeviceControlsLightsAndResets) {
    start_cameras();
    int32_t h = login();
    CUSTOMER_CFG cfg{};
    cfg.set_password = 1;
    std::strcpy(cfg.password, "newpass");
    ASSERT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_CUSTOMER_CFG, 0, &cfg, sizeof(cfg)), NETWORK_OK);
    EXPECT_EQ(state()["accounts"]["Admin"], "newpass");
    EXPECT_EQ(Network_ClientDeviceControl(h, DEVICE_CTRL_RESET_PWD, 0, 0, 0), NETWORK_OK);
    EXPECT_EQ(state()["accounts"]["Admin"], "tovik");
    EXPECT_EQ(Network_ClientDeviceControl(h, DEVICE_CTRL_LIGHT, 0, 1, 1), NETWORK_OK);
    EXPECT_EQ(state()["lights"]["white"], true);
    EXPECT_EQ(Network_ClientDeviceControl(h, DEVICE_CTRL_LIGHT, 0, 0, 1), NETWORK_OK);
    EXPECT_EQ(Network_ClientDeviceControl(h, DEVICE_CTRL_LIGHT, 0, 1, 0), NETWORK_OK);
    EXPECT_EQ(Network_ClientDeviceControl(h, DEVICE_CTRL_RESTORE_FACTORY, 0, 0, 0), NETWORK_OK);
    EXPECT_EQ(Network_ClientDeviceControl(h, 77, 0, 0, 0), NETWORK_ERR_NOT_SUPPORTED);
    nlohmann::json s = state();
    EXPECT_EQ(s["lights"]["white"], false);
    EXPECT_EQ(s["lights"]["infrared"], true);
    EXPECT_EQ(s["lights"]["switches"], 3);
    EXPECT_EQ(s["factory_resets"], 1);
    EXPECT_EQ(s["password_resets"], 1);
    Network_ClientLogout(h);
}

TEST_F(ContractTest, LdrIrcutVoiceAndPtz) {
    start_cameras();
    int32_t h = login();
    for (int32_t command = NETWORK_CMD_LIGHT_MODE; command <= NETWORK_CMD_MODULE_DIRECTION; ++command)
        EXPECT_EQ(Network_ClientLDRControl(h, command, command - 1040), NETWORK_OK);
    EXPECT_EQ(Network_ClientLDRControl(h, 1047, 1), NETWORK_ERR_NOT_SUPPORTED);
    EXPECT_EQ(Network_ClientIrcutControl(h, 1), NETWORK_OK);
    EXPECT_EQ(Network_ClientPlayVoiceData_test(h, 1), NETWORK_OK);
    PTZ_PARAM up{1, PTZ_MOVE_UP, 0, 0}, stop{1, PTZ_MOVE_STOP, 0, 0};
    EXPECT_EQ(Network_ClientPTZControl(h, 0, &up), NETWORK_OK);
    EXPECT_EQ(Network_ClientPTZControl(h, 0, &stop), NETWORK_OK);
    EXPECT_EQ(Network_ClientPTZControl(h, 0, nullptr), NETWORK_ERR_INVALID_ARG);
    nlohmann::json s = state();
    EXPECT_EQ(s["ldr"], nlohmann::json({{"1042", 2}, {"1043", 3}, {"1044", 4}, {"1045", 5}, {"1046", 6}}));
    EXPECT_EQ(s["ircut"], 1);
    EXPECT_EQ(s["voice_tests"], 1);
    EXPECT_EQ(s["ptz_moves"], nlohmann::json({0, 8}));
    Network_ClientLogout(h);
}

TEST_F(ContractTest, Answer17IsGivenOnceThenTheCommandWorks) {
    start_cameras(1, [](DeviceSideOptions& o) { parse_device_faults("answer17_command=1001", o.faults["*"]); });
    int32_t h = login();
    DEVICE_TIME t{};
    ASSERT_EQ(Network_ClientGetDeviceConfig(h, NETWORK_CMD_GET_TIME, 0, &t, sizeof(t)), NETWORK_OK);
    EXPECT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_SET_TIME, 0, &t, sizeof(t)), NETWORK_ERR_NETWORK);
    Network_ClientLogout(h);
    h = login();
    EXPECT_EQ(Network_ClientSetDeviceConfig(h, NETWORK_CMD_SET_TIME, 0, &t, sizeof(t)), NETWORK_OK);
    Network_ClientLogout(h);
}

}  // namespace
