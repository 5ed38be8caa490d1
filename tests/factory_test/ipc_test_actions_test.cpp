// The test dialog's hardware tests, settings, auto test and records.

#include <mutex>

#include "ipc_test_fixture.h"
#include "ui/report_list.h"

namespace {

// What the camera's lamps showed whenever a worker began a timed wait.
struct LampLog {
    std::mutex lock;
    std::vector<std::string> seen;
    std::function<nlohmann::json()> state;
};
LampLog* g_lamps = nullptr;

void note_lamps(std::int64_t ms) {
    if (!g_lamps || ms != 3000) return;
    nlohmann::json lights = g_lamps->state()["lights"];
    std::lock_guard<std::mutex> guard(g_lamps->lock);
    g_lamps->seen.push_back(lights["white"] ? "white" : lights["infrared"] ? "infrared" : "none");
}

class IpcTestActions : public IpcTestFixture {
protected:
    void bring_up() {
        start_cameras();
        open();
        version_check(false);
        list_camera();
        ASSERT_EQ(m_dlg->ipc_login_live(0), 0);
    }
    int mic_tests() { return state()["live"]["mic_tests_started"]; }
};

}  // namespace

TEST_F(IpcTestActions, PanTiltMovesFromPressToRelease) {
    bring_up();
    QTest::mousePress(m_dlg->control(IDC_BTN_PTZ_UP), Qt::LeftButton);
    rt_sleep_ms(2000);
    QTest::mouseRelease(m_dlg->control(IDC_BTN_PTZ_UP), Qt::LeftButton);
    m_dlg->OnPtzPress(IDC_BTN_PTZ_RIGHT);
    m_dlg->OnPtzPress(IDC_BTN_PASS);  // not a pan/tilt button: nothing
    m_dlg->OnPtzRelease(IDC_BTN_PASS);
    EXPECT_EQ(state()["ptz_moves"], nlohmann::json({PTZ_MOVE_UP, PTZ_MOVE_STOP, PTZ_MOVE_RIGHT, PTZ_MOVE_STOP}));
}

TEST_F(IpcTestActions, DirectTestsAndZoom) {
    bring_up();
    m_dlg->OnBnClickedButtonOpenIrcut();
    EXPECT_EQ(state()["ircut"], 1);
    m_dlg->OnBnClickedButtonCloseIrcut();
    EXPECT_EQ(state()["ircut"], 0);
    m_dlg->OnBnClickedButtonSpeaker();
    EXPECT_EQ(state()["voice_tests"], 1);
    m_dlg->OnBnClickedButtonZoom5x();
    m_dlg->OnBnClickedButtonZoomReset();
    // Without a connection the guards hold.
    m_dlg->OnBnClickedButtonStart();
    m_dlg->OnBnClickedButtonStart();
    EXPECT_EQ(m_dlg->login_handle(), -1);
    m_dlg->OnBnClickedButtonSpeaker();
    m_dlg->OnBnClickedButtonMic();
    m_dlg->OnBnClickedButtonWhiteLight();
    m_dlg->OnBnClickedButtonZoom1x();
    EXPECT_EQ(m_dlg->list_box_count(IDC_LIST_RESULT), 0);
}

TEST_F(IpcTestActions, MicrophoneClickDuringTheTestIsIgnored) {
    bring_up();
    m_dlg->OnBnClickedButtonMic();
    ASSERT_TRUE(wait_for([&] { return state()["live"]["mic_test_on"] == true; }));
    m_dlg->OnBnClickedButtonMic();
    EXPECT_TRUE(wait_for([&] { return state()["live"]["mic_test_on"] == false; }));
    EXPECT_EQ(mic_tests(), 1);
    EXPECT_TRUE(wait_for([&] {
        m_dlg->OnBnClickedButtonMic();
        return mic_tests() == 2;
    }));
}

TEST_F(IpcTestActions, WhiteLightThenInfraredLamp) {
    bring_up();
    LampLog log;
    log.state = [this] { return state(); };
    g_lamps = &log;
    rt_set_sleep_observer(note_lamps);
    m_dlg->OnBnClickedButtonWhiteLight();
    m_dlg->OnBnClickedButtonInfraredLamp();
    m_dlg->OnBnClickedButtonWhiteLight();  // already pending: ignored
    EXPECT_TRUE(wait_for([&] { return state()["lights"]["switches"] == 4; }));
    rt_set_sleep_observer(nullptr);
    g_lamps = nullptr;
    EXPECT_EQ(log.seen, (std::vector<std::string>{"white", "infrared"}));
    EXPECT_EQ(state()["lights"]["white"], false);
    EXPECT_EQ(state()["lights"]["infrared"], false);
}

// Stopping the auto test while a lamp is on switches it off before the login
// goes; a lamp left burning would read as a fault on the next camera.
TEST_F(IpcTestActions, StopDuringALightTestSwitchesTheLampOff) {
    bring_up();
    m_dlg->OnBnClickedButtonStart();  // the auto test runs (auto show is off: nothing else happens)
    m_dlg->OnBnClickedButtonWhiteLight();
    ASSERT_TRUE(wait_for([&] { return state()["lights"]["white"] == true; }));
    m_dlg->OnBnClickedButtonStart();  // stop
    EXPECT_EQ(m_dlg->login_handle(), -1);
    EXPECT_EQ(state()["lights"]["white"], false);
    // The next request runs a whole test again once a camera is up.
    ASSERT_EQ(m_dlg->ipc_login_live(0), 0);
    m_dlg->OnBnClickedButtonWhiteLight();
    EXPECT_TRUE(wait_for([&] { return state()["lights"]["switches"] == 4; }));
    EXPECT_EQ(state()["lights"]["white"], false);
}

TEST_F(IpcTestActions, HardLightConfiguration) {
    bring_up();
    m_dlg->combo_select(IDC_COMBO_LIGHT_MODE, 1);
    m_dlg->OnCbnSelchangeComboLightMode();
    EXPECT_FALSE(m_dlg->is_shown(IDC_COMBO_LIGHT_TYPE));
    m_dlg->combo_select(IDC_COMBO_LIGHT_TYPE, 1);
    m_dlg->combo_select(IDC_COMBO_DIRECTION, 1);
    m_dlg->set_checked(IDC_CHECK_MIC_CFG, true);
    m_dlg->OnBnClickedButtonConfig();
    EXPECT_EQ(state()["ldr"], nlohmann::json({{"1042", 2}, {"1043", 2}, {"1044", 0}, {"1045", 1}, {"1046", 1}}));
    ASSERT_EQ(m_boxes.shown().size(), 1u);
    EXPECT_EQ(m_boxes.shown()[0].text, m_dlg->lang("IDS_SETTING_SUCCESS_REBOOT"));
    EXPECT_EQ(m_boxes.shown()[0].icon, ui::MsgIcon::Information);
}

TEST_F(IpcTestActions, SoftLightTypesAndFailedSettings) {
    bring_up();
    m_dlg->combo_select(IDC_COMBO_LIGHT_TYPE, 2);
    m_dlg->OnBnClickedButtonConfig();
    EXPECT_EQ(state()["ldr"]["1042"], 1);
    EXPECT_EQ(state()["ldr"]["1043"], 4);
    m_dlg->OnBnClickedButtonStart();  // stopped branch: no version check, no auto show
    m_dlg->OnBnClickedButtonStart();  // running branch: closes the connection
    m_dlg->OnBnClickedButtonConfig();
    ASSERT_EQ(m_boxes.shown().size(), 2u);
    EXPECT_EQ(m_boxes.shown()[1].text, m_dlg->lang("IDS_SETTING_FAILED"));
    EXPECT_EQ(m_boxes.shown()[1].icon, ui::MsgIcon::Exclamation);
}

TEST_F(IpcTestActions, AutoTestBringsUpTheFirstCamera) {
    start_cameras(2);
    open();
    version_check(true, "1.0");
    list_camera(1);
    list_camera(0);
    m_dlg->set_checked(IDC_CHECK_AUTO_SHOW, true);
    m_dlg->OnBnClickedButtonStart();
    ASSERT_EQ(m_boxes.shown().size(), 1u);  // typed version too short: still stopped
    EXPECT_EQ(m_dlg->text(IDC_BTN_START), m_dlg->lang("IDS_START_EXECUTION"));
    version_check(true, "1.2.3");
    m_dlg->OnBnClickedButtonStart();
    EXPECT_EQ(m_dlg->text(IDC_BTN_START), m_dlg->lang("IDS_STOP"));
    EXPECT_EQ(m_dlg->cur_mac(), mac(1));
    EXPECT_EQ(state(1)["sessions"], 1);
    EXPECT_FALSE(m_dlg->is_enabled(IDC_CHECK_AUTO_SHOW));
    m_dlg->OnBnClickedButtonStart();
    EXPECT_EQ(m_dlg->live_handle(), -1);
    EXPECT_TRUE(m_dlg->is_enabled(IDC_CHECK_AUTO_SHOW));
    EXPECT_EQ(m_dlg->list_box_count(IDC_LIST_RESULT), 0);
}

TEST_F(IpcTestActions, AutoShowWorkerBringsUpWhatDiscoveryLists) {
    start_cameras();
    open();
    version_check(false);
    m_dlg->OnBnClickedButtonStart();  // auto test running, nothing listed yet
    m_dlg->set_checked(IDC_CHECK_AUTO_SHOW, true);
    m_dlg->OnBnClickedCheckAutoShow();
    EXPECT_FALSE(m_dlg->is_enabled(IDC_BTN_SEARCH));
    rt_sleep_ms(300);  // the worker searches while the list is empty
    list_camera();
    EXPECT_TRUE(pump_until([&] { return m_dlg->cur_mac() == mac(); }));
    EXPECT_TRUE(pump_until([&] { return m_dlg->live_handle() != -1 && m_dlg->is_shown(IDC_VIDEO); }));
}

// A camera heard between the worker's look at the empty list and its search
// is reported new once more by the search's own sweep.
TEST_F(IpcTestActions, ACameraReportedNewAgainByTheWorkersSearchKeepsOneRow) {
    start_cameras();
    open();
    version_check(false);
    m_dlg->OnBnClickedButtonStart();
    m_dlg->set_checked(IDC_CHECK_AUTO_SHOW, true);
    m_dlg->OnBnClickedCheckAutoShow();
    list_camera();
    list_camera();
    EXPECT_TRUE(pump_until([&] { return m_dlg->cur_mac() == mac(); }));
    EXPECT_EQ(m_dlg->device_rows().count(), 1);
    EXPECT_EQ(m_dlg->report_list(IDC_LIST_DEVICE)->row_count(), 1);
}

TEST_F(IpcTestActions, RecordsPassThenNg) {
    OwnWorkingDir here;
    m_dlg->OnBnClickedButtonWriteTestRecord();  // nobody logged in
    ASSERT_EQ(m_boxes.shown().size(), 1u);
    EXPECT_EQ(m_boxes.shown()[0].text, m_dlg->lang("IDS_MODULE_GET_PARAM_FAILED"));
    EXPECT_EQ(m_boxes.shown()[0].title, m_dlg->lang("IDS_WARNING"));
    bring_up();
    m_dlg->OnBnClickedButtonWriteTestRecord();
    m_dlg->OnBnClickedButtonWriteTestNg();
    const std::string content = here.record(mac());
    EXPECT_EQ(m_boxes.shown().size(), 1u);
    EXPECT_TRUE(content.ends_with(",\n\r\"result\":\"NG\"\n\r}")) << content;
    EXPECT_NE(content.find("\"mac\":\"" + mac() + "\""), std::string::npos);
}
