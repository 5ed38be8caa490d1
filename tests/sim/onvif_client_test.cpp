// The tool's own ONVIF session against the simulator's cameras on loopback:
// each side written from the standard by a different hand, so a
// misreading on either shows here.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "onvif/onvif_session.h"
#include "onvif/ptz_moves.h"
#include "runtime/trace.h"
#include "sim/onvif/onvif_side.h"
#include "tests/runtime/wait_for.h"
#include "tests/sim/onvif_fixture.h"

namespace {

class OnvifClientTest : public testing::Test {
protected:
    void SetUp() override {
        set_trace_sink(trace_null_sink, nullptr);
        rt_set_time_speed(20);
    }
    void TearDown() override {
        if (m_side) m_side->stop();
        for (const std::string& path : m_files) std::remove(path.c_str());
        rt_set_time_speed(1);
    }

    void start(const std::string& settings, int count = 1) {
        SimOptions o;
        int pid = static_cast<int>(getpid());
        m_prefix = "127." + std::to_string(100 + pid % 100) + "." + std::to_string(pid / 100 % 250) + ".";
        o.count = 0;
        o.onvif_count = count;
        o.onvif_base_ip = m_prefix + "60";
        o.http_port = 8081;
        o.version = "1.0.0";
        m_simulator = std::make_unique<Simulator>(o);
        OnvifSideOptions onvif;
        onvif.wsd_port = 0;
        // These tests need no picture: streams are the RTSP tests' (and
        // GStreamer's threads, unseen by the sanitizers, stay out of them).
        onvif.rtsp = false;
        onvif.accounts = {{"admin", "secret"}};
        onvif.down_ms = 2000;
        if (!settings.empty()) onvif.settings_texts["*"] = {settings};
        m_side = std::make_unique<OnvifSide>(*m_simulator, onvif);
        ASSERT_EQ(m_side->start(), "");
    }

    OnvifCamera& camera(int index = 0) { return *m_side->cameras().at(index); }
    std::unique_ptr<onvif::IDevice> session(const std::string& password = "secret", int index = 0) {
        return onvif::open_device(camera(index).device_xaddr(), {"admin", password});
    }
    std::string file(const std::string& bytes) {
        std::string path = "/tmp/tervane_sim_onvif_client_" + std::to_string(getpid()) + "_" +
                           std::to_string(m_files.size());
        std::ofstream(path, std::ios::binary) << bytes;
        m_files.push_back(path);
        return path;
    }

    std::string m_prefix;
    std::unique_ptr<Simulator> m_simulator;
    std::unique_ptr<OnvifSide> m_side;
    std::vector<std::string> m_files;
};

}  // namespace

TEST_F(OnvifClientTest, LogsInOnAClockTwoHoursAheadWithTokensAndOnADigestOnlyCamera) {
    for (const char* settings : {"clock_offset=7200", "login=digest"}) {
        start(settings);
        auto device = session();
        ASSERT_TRUE(device->sync_clock().ok() || std::string(settings) == "login=digest");
        onvif::DeviceInformation info;
        onvif::Result result = device->get_device_information(&info);
        ASSERT_TRUE(result.ok()) << settings << ": " << result.detail;
        EXPECT_EQ(info.firmware_version, "1.0.0");
        EXPECT_EQ(info.serial_number, camera().serial_number());
        std::vector<onvif::NetworkInterface> interfaces;
        ASSERT_TRUE(device->get_network_interfaces(&interfaces).ok());
        ASSERT_EQ(interfaces.size(), 1u);
        EXPECT_EQ(interfaces[0].address, m_prefix + "60");

        EXPECT_EQ(session("wrong")->get_device_information(&info).status, onvif::Status::AuthRefused) << settings;
        nlohmann::json dump = camera().to_json();
        EXPECT_EQ(dump["clear_text_logins"], 0) << settings;
        EXPECT_EQ(dump["login_kinds"][0], std::string(settings) == "login=digest" ? "digest" : "token");
        m_side->stop();
    }
}

TEST_F(OnvifClientTest, UpgradeDeliversTheExactBytesAndTheCameraComesBackWithTheirVersion) {
    start("");
    auto device = session();
    ASSERT_TRUE(device->sync_clock().ok());
    onvif::FirmwareUpgradeTicket ticket;
    ASSERT_TRUE(device->start_firmware_upgrade(&ticket).ok());
    EXPECT_EQ(ticket.expected_down_time_ms, 2000);
    std::string bytes(2 * 1024 * 1024 + 3, 'a');
    for (std::size_t i = 0; i < bytes.size(); i += 4093) bytes[i] = static_cast<char>(i);
    onvif::Result sent = device->upload_firmware(ticket, file(bytes), nullptr);
    ASSERT_TRUE(sent.ok()) << sent.detail;
    ASSERT_TRUE(wait_for([&] { return !camera().online(); }));
    onvif::DeviceInformation info;
    ASSERT_TRUE(wait_for([&] { return session()->get_device_information(&info).ok(); }));
    EXPECT_EQ(info.firmware_version, "fw-" + sha256_hex(bytes).substr(0, 8));
    EXPECT_EQ(camera().to_json()["image_sha256"], sha256_hex(bytes));
}

TEST_F(OnvifClientTest, RefusedUploadIsAFailureNotASuccess) {
    start("refuse_upload=post");
    auto device = session();
    onvif::FirmwareUpgradeTicket ticket;
    ASSERT_TRUE(device->start_firmware_upgrade(&ticket).ok());
    EXPECT_FALSE(device->upload_firmware(ticket, file("image"), nullptr).ok());
    start("refuse_upload=start");
    EXPECT_FALSE(session()->start_firmware_upgrade(&ticket).ok());
}

TEST_F(OnvifClientTest, SettingsTheBatchStepsMakeLandOnTheCamera) {
    start("");
    auto device = session();
    ASSERT_TRUE(device->set_system_date_and_time(onvif::DateTimeType::Manual, false, "CST-8", rt_calendar_ms()).ok());
    ASSERT_TRUE(device->set_ntp("10.77.0.1").ok());
    ASSERT_TRUE(device->set_default_gateway(m_prefix + "1").ok());
    ASSERT_TRUE(device->set_user({"admin", ""}, "n3w").ok());
    onvif::DeviceInformation info;
    EXPECT_TRUE(device->get_device_information(&info).ok());  // the session took the new password
    EXPECT_EQ(session("secret")->get_device_information(&info).status, onvif::Status::AuthRefused);
    nlohmann::json dump = camera().to_json();
    EXPECT_EQ(dump["time_zone"], "CST-8");
    EXPECT_EQ(dump["ntp"]["servers"][0], "10.77.0.1");
    EXPECT_EQ(dump["users"]["admin"]["password"], "n3w");

    bool reboot = true;
    ASSERT_TRUE(device->set_ipv4("eth0", false, m_prefix + "61", 24, &reboot).ok());
    EXPECT_FALSE(reboot);
    EXPECT_EQ(camera().identity().ip, m_prefix + "61");
    auto moved = onvif::open_device(camera().device_xaddr(), {"admin", "n3w"});
    ASSERT_TRUE(wait_for([&] { return moved->get_device_information(&info).ok(); }));
    ASSERT_TRUE(moved->set_system_factory_default_soft().ok());
    EXPECT_EQ(camera().identity().ip, m_prefix + "61");
    EXPECT_EQ(camera().to_json()["users"]["admin"]["password"], "secret");
}

TEST_F(OnvifClientTest, BrokenAnswersAreNeverTakenForSuccess) {
    for (const char* settings : {"malformed=redirect", "malformed=truncated", "malformed=garbage"}) {
        start(settings);
        onvif::DeviceInformation info;
        onvif::Result result = session()->get_device_information(&info);
        EXPECT_FALSE(result.ok()) << settings;
        m_side->stop();
    }
}

// The bench's chain of calls on the simulator's cameras: services, the
// first profile's stream, pan/tilt pressed and released, zoom to 5x and
// back, the IR-cut filter; each seen by the camera in its state dump.
TEST_F(OnvifClientTest, BenchCallsReachTheCamerasServices) {
    for (const char* settings : {"", "no_media2,login=digest", "zoom=relative,codec=h265"}) {
        start(settings);
        camera().set_stream_uri("rtsp://" + camera().identity().ip + ":8554/stream1");
        auto session = onvif::open_camera(camera().device_xaddr(), {"admin", "secret"});
        session->sync_clock();
        onvif::Services services;
        ASSERT_TRUE(session->discover_services(&services).ok()) << settings;
        EXPECT_EQ(services.ptz, camera().ptz_xaddr());
        EXPECT_EQ(services.media2.empty(), std::string(settings).find("no_media2") != std::string::npos);
        std::vector<onvif::VideoProfile> profiles;
        onvif::Result read = session->get_profiles(&profiles);
        ASSERT_TRUE(read.ok()) << settings << ": " << read.detail;
        const onvif::VideoProfile& main = profiles.at(0);
        EXPECT_EQ(main.codec, std::string(settings).find("h265") != std::string::npos ? onvif::VideoCodec::h265
                                                                                     : onvif::VideoCodec::h264);
        EXPECT_EQ(main.width, 640);
        std::string uri;
        ASSERT_TRUE(session->get_stream_uri(main.token, &uri).ok());
        EXPECT_EQ(uri, camera().stream_uri());

        onvif::PtzNode node;
        ASSERT_TRUE(session->get_ptz_node(main.ptz_node, &node).ok());
        ASSERT_TRUE(session->continuous_move(main.token, *onvif::pan_tilt_velocity(node, onvif::PanTiltDirection::right))
                        .ok());
        EXPECT_TRUE(camera().to_json()["ptz"]["moving"]);
        EXPECT_GT(camera().to_json()["ptz"]["velocity"]["pan"].get<double>(), 0);
        ASSERT_TRUE(session->stop_move(main.token).ok());
        EXPECT_FALSE(camera().to_json()["ptz"]["moving"]);

        onvif::Result zoomed = session->move_zoom(main.token, *onvif::zoom_move(node, 5));
        ASSERT_TRUE(zoomed.ok()) << zoomed.detail;
        // Absolute zoom names the focal length, so 5x is 5x; relative goes to the tele end.
        EXPECT_DOUBLE_EQ(camera().to_json()["ptz"]["magnification"].get<double>(),
                         node.absolute_zoom.empty() ? 10 : 5);
        ASSERT_TRUE(session->move_zoom(main.token, *onvif::zoom_move(node, 1)).ok());
        EXPECT_DOUBLE_EQ(camera().to_json()["ptz"]["magnification"].get<double>(), 1);

        std::vector<onvif::IrCutMode> modes;
        ASSERT_TRUE(session->get_ir_cut_modes(main.video_source, &modes).ok());
        EXPECT_EQ(modes.size(), 3u);
        ASSERT_TRUE(session->set_ir_cut(main.video_source, onvif::IrCutMode::off).ok());
        EXPECT_EQ(camera().to_json()["imaging"]["ir_cut_filter"], "OFF");
        EXPECT_EQ(camera().to_json()["clear_text_logins"], 0);
        m_side->stop();
    }
}

TEST_F(OnvifClientTest, CameraWithoutPtzOrImagingSaysSo) {
    start("no_ptz,no_imaging");
    auto session = onvif::open_camera(camera().device_xaddr(), {"admin", "secret"});
    std::vector<onvif::VideoProfile> profiles;
    ASSERT_TRUE(session->get_profiles(&profiles).ok());
    EXPECT_EQ(profiles.at(0).ptz_node, "");
    EXPECT_EQ(session->stop_move(profiles[0].token).status, onvif::Status::NotSupported);
    EXPECT_EQ(session->set_ir_cut(profiles[0].video_source, onvif::IrCutMode::on).status, onvif::Status::NotSupported);
    EXPECT_FALSE(camera().to_json().contains("ptz"));
}
