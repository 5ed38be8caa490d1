// The media services of a simulated camera: one fixed profile of its
// stream, with its video source, its encoder (H.264 in both services; H.265
// in 2.0 alone, since 1.0's VideoEncoding names no H.265) and, when the
// camera has one, its PTZ configuration; and the stream's RTSP address.

#include <tinyxml.h>

#include "onvif/ptz_moves.h"
#include "sim/onvif/operation_xml.h"
#include "sim/onvif/service_operations.h"

namespace {

using namespace sim_soap;
using onvif::path_text;
using onvif::text;

constexpr int kFrameRate = 25;

// <name token="...">inner</name>
std::string entity(std::string_view name, std::string_view token, std::string_view inner) {
    return "<" + std::string(name) + " token=\"" + std::string(token) + "\">" + std::string(inner) + "</" +
           std::string(name) + ">";
}

std::string configuration_head(const char* name) { return el("tt:Name", name) + num("tt:UseCount", 1); }

std::string resolution(const OnvifMediaSettings& m) {
    return wrap("tt:Resolution", num("tt:Width", m.width) + num("tt:Height", m.height));
}

std::string bitrate_kbps(const OnvifMediaSettings& m) {
    return std::to_string(std::min(8000, std::max(300, m.width * m.height * 5 / 1000)));
}

std::string video_source_inner(const OnvifMediaSettings& m) {
    return configuration_head("VideoSourceConfig") + el("tt:SourceToken", kVideoSourceToken) +
           "<tt:Bounds x=\"0\" y=\"0\" width=\"" + std::to_string(m.width) + "\" height=\"" +
           std::to_string(m.height) + "\"/>";
}

std::string encoder_1_inner(const OnvifMediaSettings& m) {
    std::string multicast = wrap("tt:Address", el("tt:Type", "IPv4") + el("tt:IPv4Address", "0.0.0.0")) +
                            num("tt:Port", 0) + num("tt:TTL", 1) + flag("tt:AutoStart", false);
    return configuration_head("VideoEncoderConfig") + el("tt:Encoding", "H264") + resolution(m) +
           el("tt:Quality", "5") +
           wrap("tt:RateControl", num("tt:FrameRateLimit", kFrameRate) + num("tt:EncodingInterval", 1) +
                                      el("tt:BitrateLimit", bitrate_kbps(m))) +
           wrap("tt:H264", num("tt:GovLength", 2 * kFrameRate) + el("tt:H264Profile", "Baseline")) +
           wrap("tt:Multicast", multicast) + el("tt:SessionTimeout", "PT60S");
}

std::string encoder_2_inner(const OnvifMediaSettings& m) {
    return configuration_head("VideoEncoderConfig") + el("tt:Encoding", m.h265 ? "H265" : "H264") +
           resolution(m) +
           wrap("tt:RateControl",
                num("tt:FrameRateLimit", kFrameRate) + el("tt:BitrateLimit", bitrate_kbps(m))) +
           el("tt:Quality", "5");
}

std::string profile_1(const OnvifCameraSettings& s) {
    const OnvifMediaSettings& m = s.media;
    std::string inner = el("tt:Name", "MainStream") +
                        entity("tt:VideoSourceConfiguration", "video_source_config_1", video_source_inner(m));
    if (!m.h265)
        inner += entity("tt:VideoEncoderConfiguration", "video_encoder_config_1", encoder_1_inner(m));
    if (m.ptz) inner += entity("tt:PTZConfiguration", "ptz_config_1", ptz_configuration_xml(s));
    return "<trt:Profiles token=\"" + std::string(kProfileToken) + "\" fixed=\"true\">" + inner +
           "</trt:Profiles>";
}

// Media 2.0 names a profile's parts only when asked for their types.
bool wanted(const TiXmlElement* request, const char* type) {
    for (const TiXmlElement* e = onvif::child(request, "Type"); e != nullptr; e = onvif::next_sibling(e))
        if (text(e) == type || text(e) == "All") return true;
    return false;
}

std::string profile_2(const OnvifCameraSettings& s, const TiXmlElement* request) {
    const OnvifMediaSettings& m = s.media;
    std::string set;
    if (wanted(request, "VideoSource"))
        set += entity("tr2:VideoSource", "video_source_config_1", video_source_inner(m));
    if (wanted(request, "VideoEncoder"))
        set += entity("tr2:VideoEncoder", "video_encoder_config_1", encoder_2_inner(m));
    if (m.ptz && wanted(request, "PTZ")) set += entity("tr2:PTZ", "ptz_config_1", ptz_configuration_xml(s));
    std::string inner = el("tr2:Name", "MainStream") + (set.empty() ? "" : wrap("tr2:Configurations", set));
    return "<tr2:Profiles token=\"" + std::string(kProfileToken) + "\" fixed=\"true\">" + inner +
           "</tr2:Profiles>";
}

OperationResult no_profile(const std::string& token) {
    return invalid_value("NoProfile", "no profile " + token);
}

OperationResult stream_uri_answer(OnvifCamera& camera, bool media2) {
    if (media2) return answer(wrap("tr2:GetStreamUriResponse", el("tr2:Uri", camera.stream_uri())));
    std::string uri = el("tt:Uri", camera.stream_uri()) + flag("tt:InvalidAfterConnect", false) +
                      flag("tt:InvalidAfterReboot", false) + el("tt:Timeout", "PT0S");
    return answer(wrap("trt:GetStreamUriResponse", wrap("trt:MediaUri", uri)));
}

// ---- media 1.0 ---------------------------------------------------------------

OperationResult get_profiles(OnvifCamera& camera, const TiXmlElement*) {
    return answer(wrap("trt:GetProfilesResponse", profile_1(camera.settings())));
}

OperationResult get_profile(OnvifCamera& camera, const TiXmlElement* request) {
    std::string token = path_text(request, {"ProfileToken"});
    if (token != kProfileToken) return no_profile(token);
    std::string profile = profile_1(camera.settings());
    // The same element, named Profile in this answer.
    profile.replace(0, std::string("<trt:Profiles").size(), "<trt:Profile");
    profile.replace(profile.size() - std::string("</trt:Profiles>").size(), std::string::npos,
                    "</trt:Profile>");
    return answer(wrap("trt:GetProfileResponse", profile));
}

OperationResult get_video_sources(OnvifCamera& camera, const TiXmlElement*) {
    const OnvifMediaSettings& m = camera.settings().media;
    return answer(
        wrap("trt:GetVideoSourcesResponse",
             entity("trt:VideoSources", kVideoSourceToken, num("tt:Framerate", kFrameRate) + resolution(m))));
}

OperationResult get_stream_uri(OnvifCamera& camera, const TiXmlElement* request) {
    std::string token = path_text(request, {"ProfileToken"});
    if (token != kProfileToken) return no_profile(token);
    std::string stream = path_text(request, {"StreamSetup", "Stream"});
    std::string protocol = path_text(request, {"StreamSetup", "Transport", "Protocol"});
    // RTP over UDP, or interleaved on the RTSP connection: the server does both.
    if (stream != "RTP-Unicast" || (protocol != "RTSP" && protocol != "UDP" && protocol != "TCP"))
        return invalid_value("InvalidStreamSetup", "only RTP-Unicast over RTSP or UDP is streamed");
    return stream_uri_answer(camera, false);
}

OperationResult media_capabilities(OnvifCamera&, const TiXmlElement*) {
    return answer(wrap("trt:GetServiceCapabilitiesResponse",
                       "<trt:Capabilities SnapshotUri=\"false\" Rotation=\"false\"><trt:ProfileCapabilities "
                       "MaximumNumberOfProfiles=\"1\"/><trt:StreamingCapabilities RTPMulticast=\"false\" "
                       "RTP_TCP=\"true\" RTP_RTSP_TCP=\"true\"/></trt:Capabilities>"));
}

constexpr OperationEntry kMedia[] = {
    {"GetProfiles", get_profiles, false},
    {"GetProfile", get_profile, false},
    {"GetVideoSources", get_video_sources, false},
    {"GetStreamUri", get_stream_uri, false},
    {"GetServiceCapabilities", media_capabilities, true},
};

// ---- media 2.0 ---------------------------------------------------------------

OperationResult get_profiles_2(OnvifCamera& camera, const TiXmlElement* request) {
    std::string token = path_text(request, {"Token"});
    if (!token.empty() && token != kProfileToken) return no_profile(token);
    return answer(wrap("tr2:GetProfilesResponse", profile_2(camera.settings(), request)));
}

OperationResult get_stream_uri_2(OnvifCamera& camera, const TiXmlElement* request) {
    std::string token = path_text(request, {"ProfileToken"});
    if (token != kProfileToken) return no_profile(token);
    std::string protocol = path_text(request, {"Protocol"});
    if (protocol != "RTSP" && protocol != "RtspUnicast")
        return invalid_value("InvalidStreamSetup", "only RTSP and RtspUnicast are streamed");
    return stream_uri_answer(camera, true);
}

OperationResult media2_capabilities(OnvifCamera&, const TiXmlElement*) {
    return answer(wrap("tr2:GetServiceCapabilitiesResponse",
                       "<tr2:Capabilities SnapshotUri=\"false\" Rotation=\"false\"><tr2:ProfileCapabilities "
                       "MaximumNumberOfProfiles=\"1\"/><tr2:StreamingCapabilities RTSPStreaming=\"true\" "
                       "RTPMulticast=\"false\" RTP_RTSP_TCP=\"true\"/></tr2:Capabilities>"));
}

constexpr OperationEntry kMedia2[] = {
    {"GetProfiles", get_profiles_2, false},
    {"GetStreamUri", get_stream_uri_2, false},
    {"GetServiceCapabilities", media2_capabilities, true},
};

}  // namespace

const OperationEntry* find_media_operation(std::string_view name) { return find_in(kMedia, name); }
const OperationEntry* find_media2_operation(std::string_view name) { return find_in(kMedia2, name); }

std::string ptz_configuration_xml(const OnvifCameraSettings& s) {
    const char* generic_velocity = onvif::kGenericPanTiltVelocity;
    std::string inner = configuration_head("PTZConfig") + el("tt:NodeToken", kPtzNodeToken);
    if (s.media.zoom == ZoomSpaces::absolute)
        inner += el("tt:DefaultAbsoluteZoomPositionSpace", onvif::kGenericZoomPosition);
    if (s.media.zoom == ZoomSpaces::relative)
        inner += el("tt:DefaultRelativeZoomTranslationSpace", onvif::kGenericZoomTranslation);
    inner += el("tt:DefaultContinuousPanTiltVelocitySpace", generic_velocity);
    if (s.media.zoom != ZoomSpaces::none)
        inner += el("tt:DefaultContinuousZoomVelocitySpace",
                    "http://www.onvif.org/ver10/tptz/ZoomSpaces/VelocityGenericSpace");
    return inner + el("tt:DefaultPTZTimeout", "PT10S");
}
