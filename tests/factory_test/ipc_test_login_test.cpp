// The test dialog: start-up, device list, bring-up of a camera, full-screen
// view and closing.

#include <QCheckBox>
#include <QComboBox>
#include <QTest>

#include "factory_test/dialog/live_video_bridge.h"
#include "factory_test/dialog/qr_view.h"
#include "ipc_test_fixture.h"
#include "tests/factory_test/qr_decode.h"
#include "ui/clickable_frame.h"
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
    // The fake network's card; loopback, listed first, is no LAN card.
    EXPECT_EQ(m_dlg->text(IDC_COMBO_NIC), "192.168.1.20");
    EXPECT_EQ(m_dlg->combo_count(IDC_COMBO_NIC), 1);
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
    // Whichever of the bench's files writes it, the position line names the bench.
    EXPECT_NE(traced.find("[IpcTest : CIpcTest::update_dev_find_list] "), std::string::npos) << traced;
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

// The symbol stays inside its area with a quiet zone of four modules, its
// modules as large as that allows (8 px at most), and a decoder reads it.
TEST_F(IpcTestLogin, QrSymbolFitsItsAreaAndScans) {
    open();
    const std::string uid = "tvq8zr3k5m1x9c2w7n4p";  // 20 characters: version 3, 29 modules
    for (const QSize size : {QSize(800, 600), QSize(1366, 728), QSize(2560, 1400)}) {
        m_dlg->set_fixed_client_size(size);
        m_dlg->scale_controls(size);
        m_dlg->draw_qrcode(uid);
        pump();
        const QrView& qr = m_dlg->qr_view();
        ASSERT_TRUE(qr.isVisible());
        ASSERT_EQ(qr.symbol().width, 29);
        const QRect area = m_dlg->control_rect(IDC_QR_AREA);
        const QRect symbol = qr.symbol_rect();
        const int module = symbol.width() / qr.symbol().width;
        EXPECT_EQ(symbol.width(), module * qr.symbol().width) << size.width();
        EXPECT_TRUE(module >= 2 && module <= 8) << module;
        EXPECT_TRUE(area.contains(symbol.adjusted(-4 * module, -4 * module, 4 * module, 4 * module)))
            << size.width() << ": area " << area.width() << "x" << area.height() << ", module " << module;
        const QImage shot = m_dlg->grab().toImage();
        int wrong_modules = 0;
        for (int y = 0; y < qr.symbol().width; ++y)
            for (int x = 0; x < qr.symbol().width; ++x) {
                const QPoint centre(symbol.left() + x * module + module / 2, symbol.top() + y * module + module / 2);
                const QColor want = qr.symbol().is_dark(x, y) ? QColor(Qt::black) : QColor(Qt::white);
                if (shot.pixelColor(centre) != want) ++wrong_modules;
            }
        EXPECT_EQ(wrong_modules, 0) << size.width();
        EXPECT_EQ(decode_qr(shot), uid) << size.width();
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

// Whatever a device answers to the login other than success, the bench is not
// logged in: no hardware lines follow from reads that cannot succeed.
class IpcTestRefusedLogin : public IpcTestFixture, public ::testing::WithParamInterface<std::int32_t> {};

TEST_P(IpcTestRefusedLogin, IsANetworkErrorWithoutHardwareLines) {
    const std::int32_t answer = GetParam();
    start_cameras(1, [answer](DeviceSideOptions& options) { options.faults["*"].refuse_login = answer; });
    open();
    version_check(false);
    list_camera();
    EXPECT_EQ(m_dlg->ipc_login_live(0), -1);
    ASSERT_EQ(m_boxes.shown().size(), 1u);
    EXPECT_EQ(m_boxes.shown()[0].text, m_dlg->lang("IDS_NETWORK_ERROR"));
    EXPECT_EQ(m_boxes.shown()[0].title, m_dlg->lang("IDS_ERROR"));
    EXPECT_TRUE(lines().empty());
    EXPECT_EQ(m_dlg->login_handle(), -1);
    EXPECT_FALSE(m_dlg->is_shown(IDC_VIDEO));
    EXPECT_FALSE(m_dlg->action_worker_running());
}

INSTANTIATE_TEST_SUITE_P(Answers, IpcTestRefusedLogin,
                         ::testing::Values(NETWORK_ERR_USER, NETWORK_ERR_PASSWORD, NETWORK_ERR_LOGIN_REFUSED,
                                           NETWORK_ERR_MAX_USER, NETWORK_ERR_BUSY));

// A camera that cannot be brought up shows nothing of the one before it.
TEST_F(IpcTestLogin, NextCameraShowsNothingOfThePreviousOne) {
    start_cameras();
    open();
    version_check(false);
    list_camera();
    ASSERT_EQ(m_dlg->ipc_login_live(0), 0);
    ASSERT_TRUE(pump_until([&] { return m_dlg->video().shown() >= 1; }));
    ASSERT_TRUE(m_dlg->qr_view().isVisible());
    m_devices->stop();
    EXPECT_EQ(m_dlg->ipc_login_live(0), -1);
    pump();
    EXPECT_FALSE(m_dlg->qr_view().isVisible());
    EXPECT_TRUE(m_dlg->control_as<ui::ClickableFrame>(IDC_VIDEO)->picture().isNull());
    for (int id : {IDC_STATIC_UID, IDC_STATIC_PID, IDC_STATIC_TF}) EXPECT_EQ(m_dlg->text(id), "NONE") << id;
}

// Every opening starts with the window as new: no rows, lines, identity,
// symbol or settings of the last session, and each camera listed once.
TEST_F(IpcTestLogin, ReopeningStartsAfresh) {
    start_cameras();
    open();
    version_check(false);
    list_camera();
    ASSERT_EQ(m_dlg->ipc_login_live(0), 0);
    m_dlg->combo_select(IDC_COMBO_LIGHT_MODE, 1);
    m_dlg->OnCbnSelchangeComboLightMode();
    m_dlg->set_checked(IDC_CHECK_MIC_CFG, true);
    m_dlg->close();
    pump();
    open();
    list_camera();  // discovery starts over and reports the camera as new
    ui::ReportList* list = m_dlg->report_list(IDC_LIST_DEVICE);
    ASSERT_EQ(list->row_count(), 1);
    EXPECT_EQ(list->cell(0, 0), "01");
    EXPECT_EQ(m_dlg->list_box_count(IDC_LIST_RESULT), 0);
    for (int id : {IDC_STATIC_UID, IDC_STATIC_PID, IDC_STATIC_TF}) EXPECT_EQ(m_dlg->text(id), "NONE") << id;
    EXPECT_FALSE(m_dlg->qr_view().isVisible());
    EXPECT_TRUE(m_dlg->control_as<ui::ClickableFrame>(IDC_VIDEO)->picture().isNull());
    EXPECT_EQ(m_dlg->combo_selection(IDC_COMBO_LIGHT_MODE), 0);
    EXPECT_TRUE(m_dlg->is_shown(IDC_COMBO_LIGHT_TYPE));
    EXPECT_FALSE(m_dlg->is_checked(IDC_CHECK_MIC_CFG));
}

// Discovery's updates and new rows leave the operator's selection alone.
TEST_F(IpcTestLogin, SelectionSurvivesDiscoveryUpdates) {
    start_cameras(3);
    open();
    list_camera(0);
    list_camera(1);
    ui::ReportList* list = m_dlg->report_list(IDC_LIST_DEVICE);
    list->selectRow(1);
    list_camera(0, "1.2.4", 2, 0);
    list_camera(2);
    EXPECT_EQ(list->cell(0, 3), "1.2.4");
    ASSERT_EQ(list->row_count(), 3);
    const QModelIndexList selected = list->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(selected[0].row(), 1);
    EXPECT_EQ(list->currentRow(), 1);
}

// At every common laptop size, with the Latin or the CJK desktop font (the
// Chinese locale's, with taller lines), every control lies inside the window
// and shows its caption whole, and the window leaves room for its frame and
// a panel.
TEST_F(IpcTestLogin, FitsCommonLaptopScreensWithEitherFont) {
    open();  // the captions of the language file
    CIpcTest& dlg = *m_dlg;
    const QFont latin = QApplication::font();
    for (const QFont& font : {latin, QFont("Noto Sans CJK SC")}) {
        QApplication::setFont(font);
        for (const QSize screen : {QSize(1366, 768), QSize(1280, 720)}) {
            const QSize room(screen.width() - 16, screen.height() - 40 - 48);
            dlg.lay_out_for(QRect(QPoint(0, 0), room));
            const std::string where = font.family().toStdString() + " " + std::to_string(screen.width());
            EXPECT_EQ(dlg.size(), room) << where;
            for (int id : dlg.control_ids()) {
                if (dlg.control(id)->isHidden()) continue;
                EXPECT_TRUE(dlg.rect().contains(dlg.control_rect(id))) << where << " control " << id;
            }
            EXPECT_EQ(dlg.clipped_controls(), std::vector<int>{}) << where;
        }
    }
    QApplication::setFont(latin);
}

// Another source of live video (RTSP) feeds the area through the same
// target; the end mark of its stream empties the area rather than leaving
// the last picture up as if it were live.
TEST_F(IpcTestLogin, EndOfStreamMarkEmptiesTheVideoArea) {
    ui::ClickableFrame area;
    LiveVideoBridge bridge(&area);
    ASSERT_NE(bridge.target(), 0u);
    std::vector<std::uint32_t> pixels(64 * 32, 0xFF336699u);
    KALTRO_VIDEO_FRAME frame{};
    frame.width = frame.crop_width = 64;
    frame.height = frame.crop_height = 32;
    frame.stride = 64 * 4;
    frame.pixels = reinterpret_cast<const std::uint8_t*>(pixels.data());
    ASSERT_EQ(Network_ClientDeliverVideoFrame(bridge.target(), &frame), NETWORK_OK);
    ASSERT_TRUE(pump_until([&] { return bridge.shown() == 1; }));
    EXPECT_EQ(area.picture().toImage().pixel(10, 10), 0xFF336699u);

    const KALTRO_VIDEO_FRAME end{};
    ASSERT_EQ(Network_ClientDeliverVideoFrame(bridge.target(), &end), NETWORK_OK);
    EXPECT_TRUE(pump_until([&] { return area.picture().isNull(); }));
    EXPECT_EQ(bridge.shown(), 1u);

    KALTRO_VIDEO_FRAME half = frame;
    half.pixels = nullptr;  // a size without pixels is no end mark
    EXPECT_EQ(Network_ClientDeliverVideoFrame(bridge.target(), &half), NETWORK_ERR_INVALID_ARG);
    EXPECT_EQ(Network_ClientDeliverVideoFrame(bridge.target(), nullptr), NETWORK_ERR_INVALID_ARG);
    EXPECT_EQ(Network_ClientDeliverVideoFrame(bridge.target() + 1000, &frame), NETWORK_ERR_INVALID_HANDLE);
}
