#include "onvif/service_replies.h"

#include <tinyxml.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "onvif/device_replies.h"

namespace onvif {

namespace {

Result bad(std::string detail) { return {Status::BadAnswer, std::move(detail)}; }

// A bounded count of pixels; 0 for anything that is not one.
int read_dimension(const TiXmlElement* element) {
    std::string value = text(element);
    int n = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), n);
    if (error != std::errc() || end != value.data() + value.size() || n < 0 || n > 65535) return 0;
    return n;
}

bool read_float(const std::string& value, double* out) {
    float parsed = 0;
    auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), parsed);
    if (error != std::errc() || end != value.data() + value.size() || !std::isfinite(parsed)) return false;
    *out = parsed;
    return true;
}

// Text from the camera that the bench shows or sends back: within `bound`.
std::string bounded(std::string value, std::size_t bound) { return value.size() > bound ? "" : value; }

void read_encoder(const TiXmlElement* encoder, VideoProfile* profile) {
    if (encoder == nullptr) return;
    profile->encoding = one_line(text(child(encoder, "Encoding")), 32);
    profile->codec = codec_of(profile->encoding);
    profile->width = read_dimension(path(encoder, {"Resolution", "Width"}));
    profile->height = read_dimension(path(encoder, {"Resolution", "Height"}));
}

VideoProfile read_profile(const TiXmlElement* e, bool media2) {
    VideoProfile profile;
    profile.token = bounded(attribute(e, "token"), kMaxTokenBytes);
    profile.name = one_line(text(child(e, "Name")), 64);
    // 2.0 keeps the configurations in a set of their own, under other names.
    const TiXmlElement* set = media2 ? child(e, "Configurations") : e;
    const TiXmlElement* source = child(set, media2 ? "VideoSource" : "VideoSourceConfiguration");
    const TiXmlElement* ptz = child(set, media2 ? "PTZ" : "PTZConfiguration");
    profile.video_source = bounded(text(child(source, "SourceToken")), kMaxTokenBytes);
    profile.ptz_node = bounded(text(child(ptz, "NodeToken")), kMaxTokenBytes);
    read_encoder(child(set, media2 ? "VideoEncoder" : "VideoEncoderConfiguration"), &profile);
    return profile;
}

void read_spaces(const TiXmlElement* spaces, std::string_view kind, std::vector<PtzSpace>* out) {
    for (const TiXmlElement* e = child(spaces, kind); e != nullptr && out->size() < kMaxSpaces;
         e = next_sibling(e)) {
        PtzSpace space;
        space.uri = bounded(text(child(e, "URI")), 256);
        bool ranged = read_float(path_text(e, {"XRange", "Min"}), &space.min) &&
                      read_float(path_text(e, {"XRange", "Max"}), &space.max);
        if (!space.uri.empty() && ranged && space.min <= space.max) out->push_back(std::move(space));
    }
}

}  // namespace

VideoCodec codec_of(const std::string& encoding) {
    std::string word;
    for (char c : encoding)
        if (c != '.' && c != '-' && c != ' ')
            word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (word == "H264") return VideoCodec::h264;
    if (word == "H265" || word == "HEVC") return VideoCodec::h265;
    if (word == "JPEG") return VideoCodec::jpeg;
    if (word == "MPEG4" || word == "MPV4ES") return VideoCodec::mpeg4;
    return VideoCodec::other;
}

Result read_capabilities(const Envelope& answer, Services* out) {
    *out = Services{};
    const TiXmlElement* capabilities = child(answer.body_element, "Capabilities");
    if (capabilities == nullptr) return bad("no Capabilities");
    out->device = path_text(capabilities, {"Device", "XAddr"});
    out->media = path_text(capabilities, {"Media", "XAddr"});
    out->ptz = path_text(capabilities, {"PTZ", "XAddr"});
    out->imaging = path_text(capabilities, {"Imaging", "XAddr"});
    return {};
}

Result read_profiles(const Envelope& answer, bool media2, std::vector<VideoProfile>* out) {
    out->clear();
    for (const TiXmlElement* e = child(answer.body_element, "Profiles");
         e != nullptr && out->size() < kMaxProfiles; e = next_sibling(e)) {
        VideoProfile profile = read_profile(e, media2);
        if (!profile.token.empty()) out->push_back(std::move(profile));
    }
    if (out->empty()) return bad("no media profile");
    return {};
}

Result read_stream_uri(const Envelope& answer, bool media2, std::string* out) {
    *out = media2 ? path_text(answer.body_element, {"Uri"})
                  : path_text(answer.body_element, {"MediaUri", "Uri"});
    if (out->empty()) return bad("no stream Uri");
    if (out->size() > kMaxStreamUriBytes) {
        out->clear();
        return bad("stream Uri too long");
    }
    return {};
}

Result read_ptz_node(const Envelope& answer, PtzNode* out) {
    *out = PtzNode{};
    const TiXmlElement* node = child(answer.body_element, "PTZNode");
    if (node == nullptr) return bad("no PTZNode");
    out->token = bounded(attribute(node, "token"), kMaxTokenBytes);
    const TiXmlElement* spaces = child(node, "SupportedPTZSpaces");
    read_spaces(spaces, "AbsoluteZoomPositionSpace", &out->absolute_zoom);
    read_spaces(spaces, "RelativeZoomTranslationSpace", &out->relative_zoom);
    read_spaces(spaces, "ContinuousPanTiltVelocitySpace", &out->continuous_pan_tilt);
    read_spaces(spaces, "ContinuousZoomVelocitySpace", &out->continuous_zoom);
    return {};
}

Result read_ir_cut_modes(const Envelope& answer, std::vector<IrCutMode>* out) {
    out->clear();
    const TiXmlElement* options = child(answer.body_element, "ImagingOptions");
    if (options == nullptr) return bad("no ImagingOptions");
    for (const TiXmlElement* e = child(options, "IrCutFilterModes"); e != nullptr; e = next_sibling(e)) {
        for (IrCutMode mode : {IrCutMode::on, IrCutMode::off, IrCutMode::automatic})
            if (text(e) == ir_cut_text(mode) && std::find(out->begin(), out->end(), mode) == out->end())
                out->push_back(mode);
    }
    return {};
}

}  // namespace onvif
