// The dialog as an operator sees it, rendered offscreen: a simulated camera
// brought up, its live picture, QR symbol and result lines. With
// TERVANE_SCREENSHOT (the native camera) or TERVANE_SCREENSHOT_ONVIF (an
// ONVIF one) set, the picture is also saved there (docs/screenshots).

#include <QImage>

#include "factory_test/dialog/live_video_bridge.h"
#include "ipc_test_fixture.h"
#include "tests/factory_test/ipc_test_onvif_fixture.h"

using IpcTestScreenshot = IpcTestFixture;
using IpcTestOnvifScreenshot = IpcTestOnvif;

TEST_F(IpcTestScreenshot, BroughtUpCameraWithLiveFrameQrAndLines) {
    start_cameras(3);
    open();
    for (int i = 0; i < 3; ++i) list_camera(i, "1.0.0");
    version_check(true, "1.0.0");
    m_dlg->set_checked(IDC_CHECK_AUTO_CONFIG, true);
    m_dlg->set_fixed_client_size(QSize(1440, 780));
    m_dlg->scale_controls(m_dlg->size());
    ASSERT_EQ(m_dlg->ipc_login_live(0), 0);
    ASSERT_TRUE(pump_until([&] { return m_dlg->video().shown() >= 3; }));
    // Real time for the last picture, so its clock reads as a person would see it.
    rt_set_time_speed(1);
    pump_until([&] { return m_dlg->video().shown() >= 6; }, 2000);
    const QImage shot = m_dlg->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    // The video area shows a picture, not the empty frame.
    const QRect video = m_dlg->control_rect(IDC_VIDEO);
    EXPECT_NE(shot.pixelColor(video.center()), m_dlg->palette().color(QPalette::Window));
    EXPECT_EQ(lines().size(), 7u);
    if (const char* path = std::getenv("TERVANE_SCREENSHOT")) {
        EXPECT_TRUE(shot.save(path, "PNG"));
    }
}

TEST_F(IpcTestOnvifScreenshot, OnvifCameraWithItsStreamQrAndLines) {
    start_onvif("model=SIMCAM-PT5");
    list_onvif();
    m_dlg->set_fixed_client_size(QSize(1440, 780));
    m_dlg->scale_controls(m_dlg->size());
    ASSERT_EQ(bring_up_onvif(), 0);
    ASSERT_TRUE(pump_until([&] { return m_dlg->video().shown() >= 10; }, 20000));
    const QImage shot = m_dlg->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_NE(shot.pixelColor(m_dlg->control_rect(IDC_VIDEO).center()), m_dlg->palette().color(QPalette::Window));
    EXPECT_EQ(lines().size(), 9u);
    if (const char* path = std::getenv("TERVANE_SCREENSHOT_ONVIF")) {
        EXPECT_TRUE(shot.save(path, "PNG"));
    }
}
