// The test bench on the simulator's ONVIF cameras (offscreen, on loopback
// addresses of this process): the list, the bring-up's lines and buttons,
// the live picture over RTSP and its end, pan/tilt, zoom and IR-cut as the
// camera records them, the record, and moving on to another camera.
// Streams run in real time, and so does the test.

#include <QTest>

#include "factory_test/dialog/live_video_bridge.h"
#include "factory_test/onvif_bench.h"
#include "tests/factory_test/ipc_test_onvif_fixture.h"
#include "tests/factory_test/qr_decode.h"
#include "ui/clickable_frame.h"
#include "ui/report_list.h"


TEST_F(IpcTestOnvif, BringsUpWithWhatTheCameraOffers) {
    start_onvif();
    list_onvif();
    ui::ReportList* list = m_dlg->report_list(IDC_LIST_DEVICE);
    ASSERT_EQ(list->row_count(), 1);
    EXPECT_EQ(list->cell(0, 1), camera().identity().mac);
    EXPECT_EQ(list->cell(0, 3), "1.0.0");
    EXPECT_EQ(list->cell(0, 4), "ONVIF SIMCAM-O1");

    ASSERT_EQ(bring_up_onvif(), 0);
    EXPECT_EQ(lines(), (std::vector<std::string>{
                           m_dlg->lang("IDS_VERSION_NORMAL"), m_dlg->lang("IDS_UNSUPPORT_LIGHT"),
                           m_dlg->lang("IDS_UNSUPPORT_MIC"), m_dlg->lang("IDS_UNSUPPORT_SPEAKER"),
                           m_dlg->lang("IDS_LIVE_NORMAL") + " (H.264 640x360)", m_dlg->lang("IDS_MANUAL_OPERATION"),
                           m_dlg->lang("IDS_SUPPORT_PTZ"), m_dlg->lang("IDS_SUPPORT_ZOOM"),
                           m_dlg->lang("IDS_SUPPORT_IRCUT")}));
    for (int id : {IDC_BTN_IRCUT_OPEN, IDC_BTN_IRCUT_CLOSE, IDC_BTN_ZOOM_1X, IDC_BTN_ZOOM_5X, IDC_BTN_ZOOM_RESET,
                   IDC_BTN_PTZ_UP, IDC_BTN_PTZ_LEFT, IDC_BTN_PTZ_DOWN, IDC_BTN_PTZ_RIGHT})
        EXPECT_TRUE(m_dlg->is_enabled(id)) << id;
    for (int id : {IDC_BTN_SPEAKER, IDC_BTN_MIC, IDC_BTN_WHITE_LIGHT, IDC_BTN_INFRARED_LAMP})
        EXPECT_FALSE(m_dlg->is_enabled(id)) << id;
    EXPECT_EQ(m_dlg->login_handle(), -1);  // no native login
    EXPECT_EQ(m_dlg->text(IDC_STATIC_UID), camera().serial_number());
    EXPECT_EQ(m_dlg->text(IDC_STATIC_TF), "NONE");
    EXPECT_EQ(decode_qr(m_dlg->grab().toImage()), camera().serial_number());

    // The picture moves: the simulator's clock is drawn on it.
    ASSERT_TRUE(pump_until([&] { return m_dlg->video().shown() > 3; }, 20000));
    EXPECT_EQ(rtsp()["play"], 1);
}

TEST_F(IpcTestOnvif, ButtonsReachTheCamera) {
    start_onvif();
    list_onvif();
    ASSERT_EQ(bring_up_onvif(), 0);
    m_dlg->OnPtzPress(IDC_BTN_PTZ_LEFT);
    ASSERT_TRUE(pump_until([&] { return ptz_moving(); }));
    EXPECT_LT(dump()["ptz"]["velocity"]["pan"].get<double>(), 0);
    m_dlg->OnPtzRelease(IDC_BTN_PTZ_LEFT);
    ASSERT_TRUE(pump_until([&] { return !ptz_moving(); }));
    EXPECT_EQ(dump()["ptz"]["requests"][0]["op"], "ContinuousMove");
    EXPECT_EQ(dump()["ptz"]["requests"][1]["op"], "Stop");

    m_dlg->OnBnClickedButtonZoom5x();
    ASSERT_TRUE(pump_until([&] { return dump()["ptz"]["magnification"].get<double>() == 5; }));
    m_dlg->OnBnClickedButtonZoomReset();
    ASSERT_TRUE(pump_until([&] { return dump()["ptz"]["magnification"].get<double>() == 1; }));
    m_dlg->OnBnClickedButtonZoom5x();
    m_dlg->OnBnClickedButtonZoom1x();
    ASSERT_TRUE(pump_until([&] { return dump()["ptz"]["zoom_moves"].get<int>() == 4; }));
    EXPECT_EQ(dump()["ptz"]["magnification"].get<double>(), 1);

    m_dlg->OnBnClickedButtonOpenIrcut();
    m_dlg->OnBnClickedButtonCloseIrcut();
    ASSERT_TRUE(pump_until([&] { return dump()["imaging"]["sets"].get<int>() == 2; }));
    EXPECT_EQ(dump()["imaging"]["requests"], (nlohmann::json{"OFF", "ON"}));
    EXPECT_EQ(dump()["clear_text_logins"], 0);
}

TEST_F(IpcTestOnvif, CameraWithoutPtzOrImagingLeavesThoseButtonsOff) {
    start_onvif("no_ptz,no_imaging");
    list_onvif();
    ASSERT_EQ(bring_up_onvif(), 0);
    std::vector<std::string> shown = lines();
    ASSERT_EQ(shown.size(), 9u);
    EXPECT_EQ(shown[6], m_dlg->lang("IDS_UNSUPPORT_PTZ"));
    EXPECT_EQ(shown[7], m_dlg->lang("IDS_UNSUPPORT_ZOOM"));
    EXPECT_EQ(shown[8], m_dlg->lang("IDS_UNSUPPORT_IRCUT"));
    for (int id : kTestButtons) EXPECT_FALSE(m_dlg->is_enabled(id)) << id;
    m_dlg->OnPtzPress(IDC_BTN_PTZ_UP);  // disabled buttons send nothing either
    m_dlg->OnBnClickedButtonOpenIrcut();
    EXPECT_EQ(dump()["operations"].count("ContinuousMove"), 0u);
    EXPECT_EQ(dump()["operations"].count("SetImagingSettings"), 0u);
}

// A stream that stops sending leaves no frozen picture, and its line says so.
TEST_F(IpcTestOnvif, StalledStreamEmptiesTheAreaAndSaysWhy) {
    start_onvif("rtsp_fault=stall=1500");
    list_onvif();
    ASSERT_EQ(bring_up_onvif(), 0);
    ASSERT_TRUE(pump_until([&] { return m_dlg->video().shown() > 0; }, 20000));
    ASSERT_TRUE(pump_until([&] { return lines().at(4) == m_dlg->lang("IDS_LIVE_STALLED"); }, 20000)) << lines().at(4);
    EXPECT_TRUE(m_dlg->control_as<ui::ClickableFrame>(IDC_VIDEO)->picture().isNull());
}

TEST_F(IpcTestOnvif, RecordCarriesProtocolAndModel) {
    start_onvif("model=BENCH-7");
    list_onvif();
    ASSERT_EQ(bring_up_onvif(), 0);
    const std::string mac = camera().identity().mac;
    OwnWorkingDir here;
    m_dlg->OnBnClickedButtonWriteTestRecord();
    const std::string content = here.record(mac);
    EXPECT_TRUE(m_boxes.shown().empty());
    EXPECT_EQ(content, "{\n\r\"mac\":\"" + mac +
                           "\",\n\r\"board_id\":\"0x0\",\n\r\"board_name\":\"0x20\",\n\r"
                           "\"software_version\":\"1.0.0\",\n\r\"result\":\"PASS\",\n\r\"protocol\":\"onvif\","
                           "\n\r\"model\":\"BENCH-7\"\n\r}");
}

// Another camera, Stop and closing each end the stream with a TEARDOWN.
TEST_F(IpcTestOnvif, MovingOnTearsTheStreamDown) {
    start_onvif("", 2);
    list_onvif(0);
    list_onvif(1);
    ASSERT_EQ(bring_up_onvif(0), 0);
    ASSERT_EQ(bring_up_onvif(1), 0);
    EXPECT_EQ(rtsp(0)["teardown"], 1);
    EXPECT_EQ(m_dlg->text(IDC_STATIC_UID), camera(1).serial_number());
    m_dlg->set_text(IDC_BTN_START, m_dlg->lang("IDS_STOP"));
    m_dlg->OnBnClickedButtonStart();  // running: Stop
    EXPECT_EQ(rtsp(1)["teardown"], 1);
    EXPECT_EQ(m_dlg->onvif_camera(), nullptr);
    ASSERT_EQ(bring_up_onvif(0), 0);
    m_dlg->close();
    EXPECT_EQ(rtsp(0)["teardown"], 2);
}

TEST_F(IpcTestOnvif, RefusedLoginShowsTheNetworkErrorAndKeepsNothing) {
    start_onvif("password=other");
    list_onvif();
    EXPECT_EQ(bring_up_onvif(), -1);
    ASSERT_EQ(m_boxes.shown().size(), 1u);
    EXPECT_EQ(m_boxes.shown()[0].text, m_dlg->lang("IDS_NETWORK_ERROR"));
    EXPECT_EQ(m_dlg->onvif_camera(), nullptr);
    for (int id : kTestButtons) EXPECT_FALSE(m_dlg->is_enabled(id)) << id;
}

// A camera the search first listed as ONVIF and then found native is one row, native.
TEST_F(IpcTestOnvif, OnvifRowThatTurnsNativeIsOneNativeRow) {
    start_onvif();
    list_onvif();
    FoundCamera native;
    native.id = 1000;
    native.protocol = DeviceProtocol::native;
    std::snprintf(native.native.mac_address, sizeof native.native.mac_address, "%s", camera().identity().mac.c_str());
    std::snprintf(native.native.ip_address, sizeof native.native.ip_address, "%s", camera().identity().ip.c_str());
    native.native.device_type = 2;
    native.native.board_type = 0x20;
    m_dlg->update_found_camera(native, false);
    pump();
    ui::ReportList* list = m_dlg->report_list(IDC_LIST_DEVICE);
    ASSERT_EQ(list->row_count(), 1);
    EXPECT_EQ(list->cell(0, 4), "0x20");
    EXPECT_EQ(m_dlg->device_rows().row(0).protocol, DeviceProtocol::native);
}
