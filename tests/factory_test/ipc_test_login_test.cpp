// The test dialog: start-up, device list, bring-up of a camera, full-screen
// view and closing.

#include <QCheckBox>
#include <QComboBox>
#include <QTest>

#include "factory_test/dialog/live_video_bridge.h"
#include "factory_test/dialog/qr_view.h"
#include "ipc_test_fixture.h"
#include "ui/report_list.h"

using IpcTestLogin = IpcTestFixture;

TEST_F(IpcTestLogin, StartUpState) {
    start_cameras();
    m_dlg->show();
    pump();
    EXPECT_EQ(m_dlg->windowTitle().toStdString(), m_dlg->lang("IDS_IPC_TEST"));
    EXPECT_TRUE(m_dlg->is_checked(IDC_CHECK_AUTO_SHOW));
    EXPECT_TRUE(m_dlg->is_checked(IDC_CHECK_VERSION));
    EXPECT_FALSE(m_dlg->is_shown(IDC_VIDEO));
    EXPECT_FALSE(m_dlg->is_enabled(IDC_BTN_SEARCH));
    EXPECT_FALSE(m_dlg->is_enabled(IDC_LIST_DEVICE));
    for (int id : kTestButtons) EXPECT_FALSE(m_dlg->is_enabled(id)) << id;
    EXPECT_EQ(m_dlg->combo_count(IDC_COMBO_LIGHT_TYPE), 3);
    EXPECT_EQ(m_dlg->combo_item(IDC_COMBO_LIGHT_MODE, 1), m_dlg->lang("IDS_HARD_LIGHT"));
    EXPECT_EQ(m_dlg->combo_selection(IDC_COMBO_DIRECTION), 0);
    EXPECT_EQ(m_dlg->text(IDC_COMBO_NIC), "192.168.1.20");  // the fake network's card
    EXPECT_EQ(m_dlg->report_list(IDC_LIST_DEVICE)->columnCount(), 5);
    // Controls are laid out for the screen's work area, in proportion.
    EXPECT_GT(m_dlg->control_rect(IDC_VIDEO).left(), m_dlg->width() / 3);
}

TEST_F(IpcTestLogin, TypeFilterNumberingAndSearch) {
    start_cameras(3);
    open();
    list_camera(0, "1.0.0", 2);
    list_camera(1, "1.0.0", 18);  // not a bench device
    list_camera(2, "1.0.0", 200);
    ui::ReportList* list = m_dlg->report_list(IDC_LIST_DEVICE);
    ASSERT_EQ(list->row_count(), 2);
    EXPECT_EQ(list->cell(0, 0), "01");
    EXPECT_EQ(list->cell(1, 0), "02");
    EXPECT_EQ(list->cell(1, 1), mac(2));
    EXPECT_EQ(list->cell(0, 4), "0x20");
    m_dlg->OnBnClickedButtonSearch();
    EXPECT_EQ(list->row_count(), 0);
    list_camera(2);
    EXPECT_EQ(list->cell(0, 0), "01");
}

TEST_F(IpcTestLogin, UnknownDeviceTypeIsTraced) {
    start_cameras();
    static std::string traced;
    set_trace_sink([](const char* text, std::size_t length, void*) { traced.append(text, length); }, nullptr);
    open();
    list_camera(0, "1.0.0", 0);
    set_trace_sink(trace_null_sink, nullptr);
    EXPECT_NE(traced.find("unknown device type: 0\n"), std::string::npos);
    EXPECT_EQ(m_dlg->device_rows().count(), 0);
}

TEST_F(IpcTestLogin, LinesWithoutVersionCheckAndLiveVideoShows) {
    start_cameras();
    capability(0, 1, 0, 0, 0);
    open();
    version_check(false);
    list_camera();
    EXPECT_EQ(m_dlg->ipc_login_live(0), 0);
    EXPECT_EQ(lines(), texts({"IDS_UNSUPPORT_LIGHT", "IDS_UNSUPPORT_MIC", "IDS_UNSUPPORT_SPEAKER", "IDS_LIVE_NORMAL",
                              "IDS_MANUAL_OPERATION"}));
    EXPECT_TRUE(m_dlg->is_shown(IDC_VIDEO));
    EXPECT_TRUE(m_dlg->is_enabled(IDC_BTN_IRCUT_OPEN));
    EXPECT_TRUE(m_dlg->is_enabled(IDC_BTN_ZOOM_5X));
    for (int id : {IDC_BTN_MIC, IDC_BTN_SPEAKER, IDC_BTN_WHITE_LIGHT, IDC_BTN_INFRARED_LAMP, IDC_BTN_PTZ_UP})
        EXPECT_FALSE(m_dlg->is_enabled(id)) << id;
    EXPECT_TRUE(m_dlg->action_worker_running());
    EXPECT_TRUE(pump_until([&] { return m_dlg->video().shown() >= 2; }));
    EXPECT_EQ(m_dlg->text(IDC_STATIC_TF), "TF 32GB");
    EXPECT_EQ(m_dlg->text(IDC_STATIC_UID).rfind("simuid", 0), 0u);
}

TEST_F(IpcTestLogin, VersionCheckLineOrder) {
    start_cameras();
    capability(2, 1, 1, 0, 1);
    open();
    version_check(true, "1.2.3");
    list_camera(0, "1.2.3");
    m_dlg->set_checked(IDC_CHECK_AUTO_CONFIG, true);
    EXPECT_EQ(m_dlg->ipc_login_live(0), 0);
    EXPECT_EQ(lines(), texts({"IDS_VERSION_NORMAL", "IDS_SUPPORT_WHITE_LIGHT", "IDS_SUPPORT_MIC", "IDS_UNSUPPORT_SPEAKER",
                              "IDS_LIVE_NORMAL", "IDS_MANUAL_OPERATION", "IDS_SETTING_SUCCESS"}));
    EXPECT_TRUE(m_dlg->is_enabled(IDC_BTN_WHITE_LIGHT));
    EXPECT_FALSE(m_dlg->is_enabled(IDC_BTN_INFRARED_LAMP));
}

struct VersionCase {
    const char* device;
    const char* line;  // nullptr: no line at all
    int result;
};

class IpcTestVersion : public IpcTestFixture, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(IpcTestVersion, TypedOneTwoThree) {
    const VersionCase& c = GetParam();
    start_cameras();
    open();
    version_check(true, std::string(c.device) == "1.2.3.7" ? "1.2.3.7" : "1.2.3");
    list_camera(0, c.device);
    EXPECT_EQ(m_dlg->ipc_login_live(0), c.result);
    const std::vector<std::string> shown = lines();
    if (c.line == nullptr) {
        EXPECT_TRUE(shown.empty());  // every later line lies beyond the end
    } else {
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown[0], m_dlg->lang(c.line));
    }
    EXPECT_NE(m_dlg->login_handle(), -1);  // the login stays open either way
}

INSTANTIATE_TEST_SUITE_P(Outcomes, IpcTestVersion,
                         ::testing::Values(VersionCase{"1.2.3", "IDS_VERSION_NORMAL", 0},
                                           VersionCase{"1.2.4", "UDS_INSERT_VERSION_LOW", -1},
                                           VersionCase{"1.1.9", "IDS_VERSION_ERROR", -1},
                                           VersionCase{"2.0.0", "IDS_VERSION_ERROR", -1},
                                           VersionCase{"V1.2.3", "IDS_VERSION_ERROR", -1},
                                           VersionCase{"1.2.3.7", nullptr, 0}));

TEST_F(IpcTestLogin, HardLightAndNoStorage) {
    start_cameras();
    capability(1, 2);
    server().state().set_storage(0, "TF 8GB");
    open();
    version_check(false);
    list_camera();
    EXPECT_EQ(m_dlg->ipc_login_live(0), 0);
    const std::vector<std::string> shown = lines();
    EXPECT_NE(std::find(shown.begin(), shown.end(), m_dlg->lang("IDS_HARD_LIGHT")), shown.end());
    EXPECT_FALSE(m_dlg->is_enabled(IDC_BTN_WHITE_LIGHT));
    EXPECT_FALSE(m_dlg->is_enabled(IDC_BTN_INFRARED_LAMP));
    EXPECT_EQ(m_dlg->text(IDC_STATIC_TF), "NONE");
}

TEST_F(IpcTestLogin, UnreachableCameraAndShortVersion) {
    start_cameras();
    open();
    list_camera();
    m_devices->stop();
    version_check(true, "1.2");
    m_dlg->OnNMDblclkListDevice(0);
    ASSERT_EQ(m_boxes.shown().size(), 1u);
    EXPECT_EQ(m_boxes.shown()[0].text, m_dlg->lang("IDS_INSERT_VERSION"));
    m_dlg->OnNMDblclkListDevice(-1);
    m_dlg->OnNMDblclkListDevice(1);
    EXPECT_EQ(m_boxes.shown().size(), 1u);
    version_check(false);
    EXPECT_EQ(m_dlg->ipc_login_live(0), -1);
    ASSERT_EQ(m_boxes.shown().size(), 2u);
    EXPECT_EQ(m_boxes.shown()[1].text, m_dlg->lang("IDS_NETWORK_ERROR"));
    EXPECT_EQ(m_boxes.shown()[1].title, m_dlg->lang("IDS_ERROR"));
}

TEST_F(IpcTestLogin, QrSymbolDrawnOverTheArea) {
    start_cameras();
    open();
    version_check(false);
    list_camera();
    ASSERT_EQ(m_dlg->ipc_login_live(0), 0);
    const QrView& qr = m_dlg->qr_view();
    ASSERT_TRUE(qr.isVisible());
    const QRect area = m_dlg->control_rect(IDC_QR_AREA);
    const QRect symbol = qr.symbol_rect();
    EXPECT_EQ(symbol.topLeft(), area.topLeft() + QPoint(8, 8));
    EXPECT_EQ(symbol.width(), qr.symbol().width * 8);
    const QImage shot = m_dlg->grab().toImage();
    for (int y = 0; y < qr.symbol().width; y += 3)
        for (int x = 0; x < qr.symbol().width; x += 3) {
            const QColor pixel = shot.pixelColor(symbol.left() + x * 8 + 4, symbol.top() + y * 8 + 4);
            EXPECT_EQ(pixel, qr.symbol().is_dark(x, y) ? QColor(Qt::black) : QColor(Qt::white)) << x << "," << y;
        }
}

TEST_F(IpcTestLogin, FullScreenTwiceRestoresPlacements) {
    start_cameras();
    open();
    version_check(false);
    list_camera();
    ASSERT_EQ(m_dlg->ipc_login_live(0), 0);
    m_dlg->OnBnClickedButtonStart();  // the auto test runs
    const QRect dialog = m_dlg->geometry(), video = m_dlg->control_rect(IDC_VIDEO);
    m_dlg->OnStnClickedVideo();
    EXPECT_TRUE(m_dlg->full_screen());
    EXPECT_EQ(m_dlg->control_rect(IDC_VIDEO).topLeft(), QPoint(0, 0));
    EXPECT_FALSE(m_dlg->is_enabled(IDC_BTN_START));
    m_dlg->OnStnClickedVideo();
    EXPECT_FALSE(m_dlg->full_screen());
    EXPECT_EQ(m_dlg->geometry(), dialog);
    EXPECT_EQ(m_dlg->control_rect(IDC_VIDEO), video);
    EXPECT_TRUE(m_dlg->is_enabled(IDC_BTN_START));
    EXPECT_FALSE(m_dlg->is_enabled(IDC_CHECK_AUTO_SHOW));
    EXPECT_FALSE(m_dlg->is_enabled(IDC_EDIT_VERSION));
}

TEST_F(IpcTestLogin, EveryCloseRunsTheClosingStepsAndTheDialogOpensAgain) {
    start_cameras();
    for (int round = 0; round < 2; ++round) {
        open();
        version_check(false);
        list_camera();
        ASSERT_EQ(m_dlg->ipc_login_live(0), 0);
        EXPECT_EQ(state()["sessions"], 1);
        if (round == 0) QTest::keyClick(m_dlg.get(), Qt::Key_Escape);
        else m_dlg->close();
        pump();
        EXPECT_FALSE(m_dlg->isVisible());
        EXPECT_EQ(m_dlg->login_handle(), -1);
        EXPECT_FALSE(m_dlg->action_worker_running());
        EXPECT_TRUE(wait_for([&] { return state()["sessions"] == 0; }));
        m_dlg->OnBnClickedButtonSearch();  // rows of the last opening go
    }
}
