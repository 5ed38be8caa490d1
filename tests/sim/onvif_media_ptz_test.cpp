// The media, PTZ and imaging services of the simulator's ONVIF cameras
// without sockets: what each offers as its settings say, the moves and
// settings it takes (seen in its state dump) and the ones it refuses.
#include <gtest/gtest.h>

#include "onvif/ptz_moves.h"
#include "tests/sim/onvif_fixture.h"

namespace {

constexpr const char* kMove =
    "<tptz:ContinuousMove><tptz:ProfileToken>profile_1</tptz:ProfileToken><tptz:Velocity>"
    "<tt:PanTilt x=\"0\" y=\"0.5\" "
    "space=\"http://www.onvif.org/ver10/tptz/PanTiltSpaces/VelocityGenericSpace\"/>"
    "</tptz:Velocity></tptz:ContinuousMove>";
constexpr const char* kStop =
    "<tptz:Stop><tptz:ProfileToken>profile_1</tptz:ProfileToken><tptz:PanTilt>true</tptz:PanTilt>"
    "<tptz:Zoom>true</tptz:Zoom></tptz:Stop>";

std::string zoom(const char* operation, const char* vector, const std::string& x, const std::string& space) {
    std::string element = std::string("tptz:") + operation;
    return "<" + element + "><tptz:ProfileToken>profile_1</tptz:ProfileToken><tptz:" + vector +
           "><tt:Zoom x=\"" + x + "\" space=\"" + space + "\"/></tptz:" + vector + "></" + element + ">";
}

std::string ir_cut(const std::string& mode, const std::string& source = "video_source_1") {
    return "<timg:SetImagingSettings><timg:VideoSourceToken>" + source +
           "</timg:VideoSourceToken><timg:ImagingSettings>"
           "<tt:IrCutFilter>" +
           mode + "</tt:IrCutFilter></timg:ImagingSettings></timg:SetImagingSettings>";
}

void expect_fault(const Answer& answer, const std::string& subcode) {
    ASSERT_TRUE(answer.parsed) << answer.http.body;
    EXPECT_TRUE(answer.envelope.is_fault);
    EXPECT_EQ(answer.envelope.fault_subcode, subcode) << answer.envelope.fault_reason;
}

std::vector<std::string> service_namespaces(OnvifCamera& camera) {
    Answer services =
        call(camera, soap("<tds:GetServices><tds:IncludeCapability>false</tds:IncludeCapability>"
                          "</tds:GetServices>"));
    std::vector<std::string> out;
    for (const TiXmlElement* e = onvif::child(services.body(), "Service"); e; e = onvif::next_sibling(e))
        out.push_back(onvif::path_text(e, {"Namespace"}));
    return out;
}

class OnvifMediaPtz : public testing::Test {
protected:
    void SetUp() override { rt_set_time_speed(100); }
    void TearDown() override { rt_set_time_speed(1); }
};

}  // namespace

TEST_F(OnvifMediaPtz, ServicesListedAsTheSettingsSay) {
    auto full = onvif_camera();
    EXPECT_EQ(service_namespaces(*full),
              (std::vector<std::string>{onvif::kNsDevice, onvif::kNsMedia, onvif::kNsMedia2, onvif::kNsPtz,
                                        onvif::kNsImaging}));
    Answer caps =
        call(*full, soap("<tds:GetCapabilities><tds:Category>All</tds:Category></tds:GetCapabilities>"));
    EXPECT_EQ(caps.text({"Capabilities", "Media", "XAddr"}), full->media_xaddr());
    EXPECT_EQ(caps.text({"Capabilities", "PTZ", "XAddr"}), full->ptz_xaddr());
    EXPECT_EQ(caps.text({"Capabilities", "Imaging", "XAddr"}), full->imaging_xaddr());
    EXPECT_EQ(caps.text({"Capabilities", "Media", "StreamingCapabilities", "RTP_RTSP_TCP"}), "true");

    auto bare = onvif_camera("no_ptz,no_imaging,no_media2");
    EXPECT_EQ(service_namespaces(*bare), (std::vector<std::string>{onvif::kNsDevice, onvif::kNsMedia}));
    caps = call(*bare, soap("<tds:GetCapabilities/>"));
    EXPECT_EQ(caps.text({"Capabilities", "PTZ", "XAddr"}), "");
    EXPECT_EQ(caps.text({"Capabilities", "Imaging", "XAddr"}), "");
    // Services it lacks answer as addresses it does not serve.
    EXPECT_EQ(serve_service(*bare, OnvifService::ptz, {soap(kStop, token()), HttpLogin::none}).status, 404u);
    EXPECT_EQ(
        serve_service(*bare, OnvifService::imaging, {soap(ir_cut("ON"), token()), HttpLogin::none}).status,
        404u);
}

TEST_F(OnvifMediaPtz, ProfilesAndStreamAddressInBothMediaServices) {
    auto camera = onvif_camera("video=1920x1080");
    camera->set_stream_uri("rtsp://127.0.0.20:8554/stream1");
    Answer one = call_as_admin(*camera, "<trt:GetProfiles/>", "secret", OnvifService::media);
    ASSERT_EQ(one.http.status, 200u) << one.http.body;
    const TiXmlElement* profile = onvif::child(one.body(), "Profiles");
    EXPECT_EQ(onvif::attribute(profile, "token"), kProfileToken);
    EXPECT_EQ(onvif::path_text(profile, {"VideoEncoderConfiguration", "Encoding"}), "H264");
    EXPECT_EQ(onvif::path_text(profile, {"VideoEncoderConfiguration", "Resolution", "Width"}), "1920");
    EXPECT_EQ(onvif::path_text(profile, {"VideoSourceConfiguration", "SourceToken"}), kVideoSourceToken);
    EXPECT_EQ(onvif::path_text(profile, {"PTZConfiguration", "NodeToken"}), kPtzNodeToken);

    Answer uri =
        call_as_admin(*camera,
                      "<trt:GetStreamUri><trt:StreamSetup><tt:Stream>RTP-Unicast</tt:Stream><tt:Transport>"
                      "<tt:Protocol>RTSP</tt:Protocol></tt:Transport></trt:StreamSetup><trt:ProfileToken>"
                      "profile_1</trt:ProfileToken></trt:GetStreamUri>",
                      "secret", OnvifService::media);
    EXPECT_EQ(uri.text({"MediaUri", "Uri"}), "rtsp://127.0.0.20:8554/stream1");
    expect_fault(
        call_as_admin(*camera,
                      "<trt:GetStreamUri><trt:StreamSetup><tt:Stream>RTP-Multicast</tt:Stream><tt:Transport>"
                      "<tt:Protocol>UDP</tt:Protocol></tt:Transport></trt:StreamSetup><trt:ProfileToken>"
                      "profile_1</trt:ProfileToken></trt:GetStreamUri>",
                      "secret", OnvifService::media),
        "InvalidStreamSetup");

    // An H.265 camera: 1.0 has no word for its encoder, 2.0 names it.
    auto hevc = onvif_camera("codec=h265");
    one = call_as_admin(*hevc, "<trt:GetProfiles/>", "secret", OnvifService::media);
    EXPECT_EQ(onvif::child(onvif::child(one.body(), "Profiles"), "VideoEncoderConfiguration"), nullptr);
    Answer two = call_as_admin(*hevc, "<tr2:GetProfiles><tr2:Type>All</tr2:Type></tr2:GetProfiles>", "secret",
                               OnvifService::media2);
    EXPECT_EQ(two.text({"Profiles", "Configurations", "VideoEncoder", "Encoding"}), "H265");
    EXPECT_EQ(two.text({"Profiles", "Configurations", "PTZ", "NodeToken"}), kPtzNodeToken);
    Answer names = call_as_admin(*hevc, "<tr2:GetProfiles/>", "secret", OnvifService::media2);
    EXPECT_EQ(names.text({"Profiles", "Name"}), "MainStream");
    EXPECT_EQ(onvif::child(onvif::child(names.body(), "Profiles"), "Configurations"), nullptr);
    Answer uri2 =
        call_as_admin(*hevc,
                      "<tr2:GetStreamUri><tr2:Protocol>RTSP</tr2:Protocol><tr2:ProfileToken>profile_1"
                      "</tr2:ProfileToken></tr2:GetStreamUri>",
                      "secret", OnvifService::media2);
    EXPECT_EQ(uri2.text({"Uri"}).rfind("rtsp://127.0.0.20:", 0), 0u);
    expect_fault(call_as_admin(*hevc,
                               "<tr2:GetStreamUri><tr2:Protocol>RTSP</tr2:Protocol><tr2:ProfileToken>other"
                               "</tr2:ProfileToken></tr2:GetStreamUri>",
                               "secret", OnvifService::media2),
                 "NoProfile");
    // Without a login, nothing.
    expect_fault(call_service(*hevc, OnvifService::media2, soap("<tr2:GetProfiles/>")), "NotAuthorized");
}

TEST_F(OnvifMediaPtz, ContinuousMoveUntilStopOrTimeout) {
    auto camera = onvif_camera();
    Answer move = call_as_admin(*camera, kMove, "secret", OnvifService::ptz);
    ASSERT_EQ(move.http.status, 200u) << move.http.body;
    nlohmann::json ptz = camera->to_json()["ptz"];
    EXPECT_TRUE(ptz["moving"]);
    EXPECT_DOUBLE_EQ(ptz["velocity"]["tilt"].get<double>(), 0.5);
    rt_sleep_ms(1000);
    ASSERT_EQ(call_as_admin(*camera, kStop, "secret", OnvifService::ptz).http.status, 200u);
    ptz = camera->to_json()["ptz"];
    EXPECT_FALSE(ptz["moving"]);
    EXPECT_GT(ptz["position"]["tilt"].get<double>(), 0.05);  // it went up while it moved
    EXPECT_EQ(ptz["moves"], 1);
    EXPECT_EQ(ptz["stops"], 1);
    ASSERT_EQ(ptz["requests"].size(), 2u);
    EXPECT_EQ(ptz["requests"][0]["op"], "ContinuousMove");
    EXPECT_EQ(ptz["requests"][1]["op"], "Stop");

    // No Stop: the node's default timeout ends the move.
    call_as_admin(*camera, kMove, "secret", OnvifService::ptz);
    rt_sleep_ms(SimPtz::kDefaultTimeoutMs + 500);
    EXPECT_FALSE(camera->to_json()["ptz"]["moving"]);
    EXPECT_LE(camera->to_json()["ptz"]["position"]["tilt"].get<double>(), 1.0);
}

TEST_F(OnvifMediaPtz, BadMovesAreRefused) {
    auto camera = onvif_camera("zoom=none");
    std::string too_fast = kMove;
    too_fast.replace(too_fast.find("y=\"0.5\""), 7, "y=\"1.5\"");
    expect_fault(call_as_admin(*camera, too_fast, "secret", OnvifService::ptz), "InvalidVelocity");
    std::string other = kMove;
    other.replace(other.find("profile_1"), 9, "profile_9");
    expect_fault(call_as_admin(*camera, other, "secret", OnvifService::ptz), "NoProfile");
    expect_fault(
        call_as_admin(*camera,
                      "<tptz:ContinuousMove><tptz:ProfileToken>profile_1</tptz:ProfileToken><tptz:Velocity>"
                      "<tt:Zoom x=\"0.5\"/></tptz:Velocity></tptz:ContinuousMove>",
                      "secret", OnvifService::ptz),
        "SpaceNotSupported");
    expect_fault(call_as_admin(*camera, zoom("AbsoluteMove", "Position", "1", onvif::kGenericZoomPosition),
                               "secret", OnvifService::ptz),
                 "SpaceNotSupported");
    expect_fault(call_service(*camera, OnvifService::ptz, soap(kMove)), "NotAuthorized");
    EXPECT_EQ(camera->to_json()["ptz"]["moves"], 0);
}

TEST_F(OnvifMediaPtz, ZoomByPositionOrTranslation) {
    auto camera = onvif_camera();
    Answer node =
        call_as_admin(*camera, "<tptz:GetNode><tptz:NodeToken>ptz_node_1</tptz:NodeToken></tptz:GetNode>",
                      "secret", OnvifService::ptz);
    EXPECT_NE(node.http.body.find(onvif::kMillimeterZoomPosition), std::string::npos);
    auto magnification = [&] { return camera->to_json()["ptz"]["magnification"].get<double>(); };
    ASSERT_EQ(call_as_admin(*camera, zoom("AbsoluteMove", "Position", "20", onvif::kMillimeterZoomPosition),
                            "secret", OnvifService::ptz)
                  .http.status,
              200u);
    EXPECT_DOUBLE_EQ(magnification(), 5);
    call_as_admin(*camera, zoom("AbsoluteMove", "Position", "0", onvif::kGenericZoomPosition), "secret",
                  OnvifService::ptz);
    EXPECT_DOUBLE_EQ(magnification(), 1);
    expect_fault(
        call_as_admin(*camera, zoom("AbsoluteMove", "Position", "41", onvif::kMillimeterZoomPosition),
                      "secret", OnvifService::ptz),
        "InvalidPosition");

    auto relative = onvif_camera("zoom=relative");
    expect_fault(call_as_admin(*relative, zoom("AbsoluteMove", "Position", "1", onvif::kGenericZoomPosition),
                               "secret", OnvifService::ptz),
                 "SpaceNotSupported");
    call_as_admin(*relative, zoom("RelativeMove", "Translation", "0.5", onvif::kGenericZoomTranslation),
                  "secret", OnvifService::ptz);
    call_as_admin(*relative, zoom("RelativeMove", "Translation", "0.75", onvif::kGenericZoomTranslation),
                  "secret", OnvifService::ptz);
    nlohmann::json ptz = relative->to_json()["ptz"];
    EXPECT_DOUBLE_EQ(ptz["position"]["zoom"].get<double>(), 1);  // kept at the tele end
    EXPECT_EQ(ptz["zoom_moves"], 2);
    EXPECT_EQ(ptz["requests"][1]["op"], "RelativeMove");
}

TEST_F(OnvifMediaPtz, IrCutFilterSetThroughImaging) {
    auto camera = onvif_camera();
    EXPECT_EQ(camera->to_json()["imaging"]["ir_cut_filter"], "AUTO");
    Answer options = call_as_admin(
        *camera,
        "<timg:GetOptions><timg:VideoSourceToken>video_source_1</timg:VideoSourceToken></timg:GetOptions>",
        "secret", OnvifService::imaging);
    EXPECT_NE(options.http.body.find("<tt:IrCutFilterModes>OFF</tt:IrCutFilterModes>"), std::string::npos);
    ASSERT_EQ(call_as_admin(*camera, ir_cut("OFF"), "secret", OnvifService::imaging).http.status, 200u);
    ASSERT_EQ(call_as_admin(*camera, ir_cut("ON"), "secret", OnvifService::imaging).http.status, 200u);
    Answer settings = call_as_admin(*camera,
                                    "<timg:GetImagingSettings><timg:VideoSourceToken>video_source_1"
                                    "</timg:VideoSourceToken></timg:GetImagingSettings>",
                                    "secret", OnvifService::imaging);
    EXPECT_EQ(settings.text({"ImagingSettings", "IrCutFilter"}), "ON");
    expect_fault(call_as_admin(*camera, ir_cut("HALF"), "secret", OnvifService::imaging), "SettingsInvalid");
    expect_fault(call_as_admin(*camera, ir_cut("OFF", "video_source_2"), "secret", OnvifService::imaging),
                 "NoSource");
    nlohmann::json imaging = camera->to_json()["imaging"];
    EXPECT_EQ(imaging["ir_cut_filter"], "ON");
    EXPECT_EQ(imaging["sets"], 2);
    EXPECT_EQ(imaging["requests"], (nlohmann::json{"OFF", "ON"}));
    EXPECT_FALSE(onvif_camera("no_imaging")->to_json().contains("imaging"));
}

TEST_F(OnvifMediaPtz, SettingsItemsAreChecked) {
    OnvifCameraSettings settings;
    EXPECT_EQ(apply_onvif_settings("video=1280x720,codec=h265,zoom=relative", settings), "");
    EXPECT_EQ(settings.media.width, 1280);
    EXPECT_TRUE(settings.media.h265);
    EXPECT_EQ(settings.media.zoom, ZoomSpaces::relative);
    for (const char* bad : {"video=1281x720", "video=640", "video=99999x720", "codec=mjpeg", "zoom=optical"})
        EXPECT_NE(apply_onvif_settings(bad, settings), "") << bad;
}
