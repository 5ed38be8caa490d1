// The media, PTZ and imaging answers read as cameras of different shapes
// write them, the requests the bench sends, and the zoom and pan/tilt moves
// chosen from a node's spaces.
#include "onvif/service_replies.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <clocale>

#include "onvif/device_replies.h"
#include "onvif/ptz_moves.h"
#include "onvif/service_requests.h"
#include "tests/onvif/camera_replies.h"
#include "tests/onvif/judged_answer.h"

namespace onvif {
namespace {

namespace r = onvif_replies;

// A media 1.0 answer with a main H.264 stream on a PTZ node, a second
// stream without an encoder, and a profile a camera left without a token.
const std::string kProfiles1 =
    "<trt:GetProfilesResponse xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\">"
    "<trt:Profiles token=\"Profile_1\" fixed=\"true\"><tt:Name>mainStream</tt:Name>"
    "<tt:VideoSourceConfiguration token=\"VSC\"><tt:Name>v</tt:Name><tt:UseCount>2</tt:UseCount>"
    "<tt:SourceToken>VideoSource_1</tt:SourceToken><tt:Bounds x=\"0\" y=\"0\" width=\"1920\" "
    "height=\"1080\"/>"
    "</tt:VideoSourceConfiguration><tt:VideoEncoderConfiguration token=\"VEC\"><tt:Name>e</tt:Name>"
    "<tt:UseCount>1</tt:UseCount><tt:Encoding>H264</tt:Encoding><tt:Resolution><tt:Width>1920</tt:Width>"
    "<tt:Height>1080</tt:Height></tt:Resolution><tt:Quality>4</tt:Quality></tt:VideoEncoderConfiguration>"
    "<tt:PTZConfiguration token=\"PTZ\"><tt:Name>p</tt:Name><tt:UseCount>2</tt:UseCount>"
    "<tt:NodeToken>PTZNODE</tt:NodeToken></tt:PTZConfiguration></trt:Profiles>"
    "<trt:Profiles token=\"Profile_2\"><tt:Name>sub</tt:Name></trt:Profiles>"
    "<trt:Profiles><tt:Name>no token</tt:Name></trt:Profiles>"
    "</trt:GetProfilesResponse>";

const std::string kProfiles2 =
    "<GetProfilesResponse xmlns=\"http://www.onvif.org/ver20/media/wsdl\">"
    "<Profiles token=\"main\"><Name>Main</Name><Configurations>"
    "<VideoSource "
    "token=\"vs\"><Name>v</Name><UseCount>1</UseCount><SourceToken>src0</SourceToken></VideoSource>"
    "<VideoEncoder token=\"ve\" GovLength=\"50\"><Name>e</Name><UseCount>1</UseCount>"
    "<Encoding xmlns=\"http://www.onvif.org/ver10/schema\">H265</Encoding>"
    "<Resolution "
    "xmlns=\"http://www.onvif.org/ver10/schema\"><Width>2560</Width><Height>1440</Height></Resolution>"
    "</VideoEncoder><PTZ token=\"p\"><Name>p</Name><UseCount>1</UseCount><NodeToken>n0</NodeToken></PTZ>"
    "</Configurations></Profiles></GetProfilesResponse>";

TEST(ServiceReplies, ReadsProfilesOfBothMediaServices) {
    Read one = answer(r::soap_env(kProfiles1), "GetProfiles");
    ASSERT_TRUE(one.result.ok()) << one.result.detail;
    std::vector<VideoProfile> profiles;
    ASSERT_TRUE(read_profiles(one.envelope, false, &profiles).ok());
    ASSERT_EQ(profiles.size(), 2u);  // the one without a token cannot be asked for
    EXPECT_EQ(profiles[0].token, "Profile_1");
    EXPECT_EQ(profiles[0].codec, VideoCodec::h264);
    EXPECT_EQ(profiles[0].width, 1920);
    EXPECT_EQ(profiles[0].height, 1080);
    EXPECT_EQ(profiles[0].video_source, "VideoSource_1");
    EXPECT_EQ(profiles[0].ptz_node, "PTZNODE");
    EXPECT_EQ(profiles[1].codec, VideoCodec::other);
    EXPECT_EQ(profiles[1].encoding, "");
    EXPECT_EQ(profiles[1].ptz_node, "");

    Read two = answer(r::env(kProfiles2), "GetProfiles");
    ASSERT_TRUE(two.result.ok()) << two.result.detail;
    ASSERT_TRUE(read_profiles(two.envelope, true, &profiles).ok());
    ASSERT_EQ(profiles.size(), 1u);
    EXPECT_EQ(profiles[0].codec, VideoCodec::h265);
    EXPECT_EQ(profiles[0].width, 2560);
    EXPECT_EQ(profiles[0].video_source, "src0");
    EXPECT_EQ(profiles[0].ptz_node, "n0");

    // Read as 1.0, a 2.0 answer names no configuration: nothing is guessed.
    ASSERT_TRUE(read_profiles(two.envelope, false, &profiles).ok());
    EXPECT_EQ(profiles[0].video_source, "");
    EXPECT_EQ(profiles[0].codec, VideoCodec::other);
}

TEST(ServiceReplies, ProfilesAreBoundedAndATokenMustFitOne) {
    std::string many = "<trt:GetProfilesResponse xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\">";
    for (int i = 0; i < 100; ++i) many += "<trt:Profiles token=\"p" + std::to_string(i) + "\"/>";
    many += "<trt:Profiles token=\"" + std::string(65, 't') + "\"/></trt:GetProfilesResponse>";
    Read a = answer(r::soap_env(many), "GetProfiles");
    std::vector<VideoProfile> profiles;
    ASSERT_TRUE(read_profiles(a.envelope, false, &profiles).ok());
    EXPECT_EQ(profiles.size(), kMaxProfiles);

    Read none =
        answer(r::soap_env("<trt:GetProfilesResponse xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\">"
                           "<trt:Profiles token=\"" +
                           std::string(65, 't') + "\"/></trt:GetProfilesResponse>"),
               "GetProfiles");
    EXPECT_EQ(read_profiles(none.envelope, false, &profiles).status, Status::BadAnswer);

    // Dimensions that are no pixel counts read as unknown.
    Read odd = answer(r::env("<GetProfilesResponse><Profiles token=\"a\"><VideoEncoderConfiguration>"
                             "<Encoding>h.264</Encoding><Resolution><Width>-5</Width><Height>1e9</Height>"
                             "</Resolution></VideoEncoderConfiguration></Profiles></GetProfilesResponse>"),
                      "GetProfiles");
    ASSERT_TRUE(read_profiles(odd.envelope, false, &profiles).ok());
    EXPECT_EQ(profiles[0].codec, VideoCodec::h264);
    EXPECT_EQ(profiles[0].width, 0);
    EXPECT_EQ(profiles[0].height, 0);
}

TEST(ServiceReplies, StreamUriOfEitherShape) {
    std::string uri;
    Read one =
        answer(r::env("<GetStreamUriResponse><MediaUri><Uri>rtsp://10.0.0.5:554/live</Uri>"
                      "<InvalidAfterConnect>false</InvalidAfterConnect></MediaUri></GetStreamUriResponse>"),
               "GetStreamUri");
    ASSERT_TRUE(read_stream_uri(one.envelope, false, &uri).ok());
    EXPECT_EQ(uri, "rtsp://10.0.0.5:554/live");
    Read two = answer(r::env("<GetStreamUriResponse><Uri>rtsp://10.0.0.5/h265</Uri></GetStreamUriResponse>"),
                      "GetStreamUri");
    ASSERT_TRUE(read_stream_uri(two.envelope, true, &uri).ok());
    EXPECT_EQ(uri, "rtsp://10.0.0.5/h265");
    EXPECT_EQ(read_stream_uri(two.envelope, false, &uri).status, Status::BadAnswer);
    Read huge = answer(r::env("<GetStreamUriResponse><Uri>rtsp://10.0.0.5/" + std::string(2000, 'a') +
                              "</Uri></GetStreamUriResponse>"),
                       "GetStreamUri");
    EXPECT_EQ(read_stream_uri(huge.envelope, true, &uri).status, Status::BadAnswer);
    EXPECT_EQ(uri, "");
}

const std::string kNode =
    "<tptz:GetNodeResponse xmlns:tptz=\"http://www.onvif.org/ver20/ptz/wsdl\"><tptz:PTZNode "
    "token=\"PTZNODE\">"
    "<tt:SupportedPTZSpaces>"
    "<tt:AbsoluteZoomPositionSpace><tt:URI>http://www.onvif.org/ver10/tptz/ZoomSpaces/PositionGenericSpace</"
    "tt:URI>"
    "<tt:XRange><tt:Min>0</tt:Min><tt:Max>1</tt:Max></tt:XRange></tt:AbsoluteZoomPositionSpace>"
    "<tt:AbsoluteZoomPositionSpace><tt:URI>http://www.onvif.org/ver10/tptz/ZoomSpaces/PositionSpaceMillimeter"
    "</tt:URI><tt:XRange><tt:Min>2.8</tt:Min><tt:Max>12</tt:Max></tt:XRange></tt:AbsoluteZoomPositionSpace>"
    "<tt:AbsoluteZoomPositionSpace><tt:URI>http://example/broken</tt:URI><tt:XRange><tt:Min>5</tt:Min>"
    "<tt:Max>1</tt:Max></tt:XRange></tt:AbsoluteZoomPositionSpace>"
    "<tt:ContinuousPanTiltVelocitySpace><tt:URI>http://www.onvif.org/ver10/tptz/PanTiltSpaces/"
    "VelocityGenericSpace"
    "</tt:URI><tt:XRange><tt:Min>-1</tt:Min><tt:Max>1</tt:Max></tt:XRange><tt:YRange><tt:Min>-1</tt:Min>"
    "<tt:Max>1</tt:Max></tt:YRange></tt:ContinuousPanTiltVelocitySpace>"
    "<tt:ContinuousZoomVelocitySpace><tt:URI>http://www.onvif.org/ver10/tptz/ZoomSpaces/VelocityGenericSpace"
    "</tt:URI><tt:XRange><tt:Min>-1</tt:Min><tt:Max>1</tt:Max></tt:XRange></tt:ContinuousZoomVelocitySpace>"
    "</tt:SupportedPTZSpaces><tt:MaximumNumberOfPresets>0</tt:MaximumNumberOfPresets>"
    "<tt:HomeSupported>false</tt:HomeSupported></tptz:PTZNode></tptz:GetNodeResponse>";

TEST(ServiceReplies, NodeSpacesAndTheMovesMadeOfThem) {
    Read a = answer(r::soap_env(kNode), "GetNode");
    ASSERT_TRUE(a.result.ok()) << a.result.detail;
    PtzNode node;
    ASSERT_TRUE(read_ptz_node(a.envelope, &node).ok());
    EXPECT_EQ(node.token, "PTZNODE");
    ASSERT_EQ(node.absolute_zoom.size(), 2u);  // the one with Min above Max is left out
    EXPECT_DOUBLE_EQ(node.absolute_zoom[1].min, 2.8f);
    EXPECT_TRUE(offers_pan_tilt(node));
    EXPECT_TRUE(offers_zoom(node));

    // The millimetre space says what 5x is: five times the shortest focal
    // length, kept within the lens's range.
    std::optional<ZoomMove> five = zoom_move(node, 5);
    ASSERT_TRUE(five);
    EXPECT_EQ(five->kind, ZoomMove::Kind::absolute);
    EXPECT_EQ(five->space, kMillimeterZoomPosition);
    EXPECT_NEAR(five->x, 12.0, 1e-5);  // 14 mm is past the tele end
    EXPECT_NEAR(zoom_move(node, 1)->x, 2.8, 1e-5);

    std::optional<PtzVelocity> left = pan_tilt_velocity(node, PanTiltDirection::left);
    ASSERT_TRUE(left);
    EXPECT_DOUBLE_EQ(*left->pan, -0.5);
    EXPECT_DOUBLE_EQ(*left->tilt, 0);
    EXPECT_EQ(left->pan_tilt_space, kGenericPanTiltVelocity);
    EXPECT_DOUBLE_EQ(*pan_tilt_velocity(node, PanTiltDirection::up)->tilt, 0.5);
}

TEST(ServiceReplies, ZoomMovesOnNodesOfOtherKinds) {
    PtzNode digital;
    digital.absolute_zoom = {{kGenericZoomPosition, 0, 1}, {kDigitalZoomPosition, 1, 4}};
    EXPECT_DOUBLE_EQ(zoom_move(digital, 5)->x, 4);  // the factor itself, up to the node's most
    EXPECT_DOUBLE_EQ(zoom_move(digital, 1)->x, 1);

    PtzNode generic;
    generic.absolute_zoom = {{kGenericZoomPosition, 0, 1}};
    EXPECT_DOUBLE_EQ(zoom_move(generic, 1)->x, 0);  // wide end
    EXPECT_DOUBLE_EQ(zoom_move(generic, 5)->x, 1);  // no magnification known: the tele end

    PtzNode relative;
    relative.relative_zoom = {{kGenericZoomTranslation, -1, 1}};
    std::optional<ZoomMove> back = zoom_move(relative, 1);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->kind, ZoomMove::Kind::relative);
    EXPECT_DOUBLE_EQ(back->x, -1);  // the whole range towards wide, from anywhere
    EXPECT_DOUBLE_EQ(zoom_move(relative, 5)->x, 1);

    PtzNode pan_only;
    pan_only.continuous_pan_tilt = {{"http://example/velocity", -2, 2}};
    EXPECT_FALSE(offers_zoom(pan_only));
    EXPECT_DOUBLE_EQ(*pan_tilt_velocity(pan_only, PanTiltDirection::right)->pan, 1);
    EXPECT_FALSE(pan_tilt_velocity(PtzNode{}, PanTiltDirection::up));
}

TEST(ServiceReplies, CapabilitiesAndImagingOptions) {
    Read caps =
        answer(r::soap_env("<tds:GetCapabilitiesResponse><tds:Capabilities><tt:Device><tt:XAddr>"
                           "http://10.0.0.5/onvif/device_service</tt:XAddr></tt:Device><tt:Media><tt:XAddr>"
                           "http://10.0.0.5/onvif/Media</tt:XAddr></tt:Media><tt:PTZ><tt:XAddr>"
                           "http://10.0.0.5/onvif/PTZ</tt:XAddr></tt:PTZ></tds:Capabilities>"
                           "</tds:GetCapabilitiesResponse>"),
               "GetCapabilities");
    Services services;
    ASSERT_TRUE(read_capabilities(caps.envelope, &services).ok());
    EXPECT_EQ(services.media, "http://10.0.0.5/onvif/Media");
    EXPECT_EQ(services.ptz, "http://10.0.0.5/onvif/PTZ");
    EXPECT_EQ(services.imaging, "");
    EXPECT_EQ(services.media2, "");

    Read options =
        answer(r::env("<GetOptionsResponse><ImagingOptions><IrCutFilterModes>ON</IrCutFilterModes>"
                      "<IrCutFilterModes>OFF</IrCutFilterModes><IrCutFilterModes>on</IrCutFilterModes>"
                      "<IrCutFilterModes>ON</IrCutFilterModes></ImagingOptions></GetOptionsResponse>"),
               "GetOptions");
    std::vector<IrCutMode> modes;
    ASSERT_TRUE(read_ir_cut_modes(options.envelope, &modes).ok());
    EXPECT_EQ(modes, (std::vector<IrCutMode>{IrCutMode::on, IrCutMode::off}));
}

// Requests carry numbers as xs:float writes them, whatever the locale says.
TEST(ServiceRequests, NumbersAndTokensWhateverTheLocale) {
    const char* before = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = before ? before : "C";
    // A decimal comma where the machine has such a locale; the C locale's point otherwise.
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    PtzVelocity velocity;
    velocity.pan = -0.5;
    velocity.pan_tilt_space = kGenericPanTiltVelocity;
    std::string move = continuous_move_request("a<b", velocity);
    EXPECT_NE(
        move.find("<tt:PanTilt x=\"-0.5\" y=\"0\" space=\"" + std::string(kGenericPanTiltVelocity) + "\"/>"),
        std::string::npos)
        << move;
    EXPECT_NE(move.find("<tptz:ProfileToken>a&lt;b</tptz:ProfileToken>"), std::string::npos);
    EXPECT_EQ(move.find("Zoom"), std::string::npos);
    EXPECT_EQ(move.find("Timeout"), std::string::npos);  // the node's default ends a lost move
    EXPECT_NE(
        zoom_move_request("p", {ZoomMove::Kind::absolute, 14, kMillimeterZoomPosition}).find("x=\"14\""),
        std::string::npos);
    EXPECT_NE(zoom_move_request("p", {ZoomMove::Kind::relative, -1, ""})
                  .find("<tptz:Translation><tt:Zoom x=\"-1\"/>"),
              std::string::npos);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(ServiceRequests, EachServiceItsOwnAction) {
    EXPECT_EQ(service_action(Service::ptz, "ContinuousMove"),
              "http://www.onvif.org/ver20/ptz/wsdl/ContinuousMove");
    EXPECT_EQ(service_action(Service::media2, "GetProfiles"),
              "http://www.onvif.org/ver20/media/wsdl/GetProfiles");
    EXPECT_EQ(service_action(Service::imaging, "SetImagingSettings"),
              "http://www.onvif.org/ver20/imaging/wsdl/SetImagingSettings");
    EXPECT_NE(get_stream_uri_request(Service::media, "p")
                  .find("<tt:Stream>RTP-Unicast</tt:Stream><tt:Transport><tt:Protocol>RTSP</tt:Protocol>"),
              std::string::npos);
    EXPECT_NE(get_stream_uri_request(Service::media2, "p").find("<tr2:Protocol>RTSP</tr2:Protocol>"),
              std::string::npos);
    EXPECT_NE(set_ir_cut_request("src", IrCutMode::off)
                  .find("<timg:ImagingSettings><tt:IrCutFilter>OFF</tt:IrCutFilter></timg:ImagingSettings>"),
              std::string::npos);
    EXPECT_EQ(codec_of("MPV4-ES"), VideoCodec::mpeg4);
    EXPECT_EQ(codec_of("hevc"), VideoCodec::h265);
}

}  // namespace
}  // namespace onvif
