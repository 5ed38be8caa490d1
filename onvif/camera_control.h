#pragma once

#include <optional>
#include <string>
#include <vector>

#include "onvif/onvif_device.h"

// What the test bench asks of an ONVIF camera beyond its device service:
// the media profiles and their stream address, pan/tilt/zoom and the IR-cut
// filter. One session serves both interfaces (onvif_session.h), so the
// batch's use of IDevice stays as it is and the bench reaches these through
// the same login.
namespace onvif {

enum class VideoCodec { h264, h265, jpeg, mpeg4, other };

// One media profile as the bench uses it.
struct VideoProfile {
    std::string token;
    std::string name;
    std::string video_source;  // VideoSourceConfiguration/SourceToken: what imaging is asked about
    VideoCodec codec = VideoCodec::other;
    std::string encoding;  // as the camera wrote it ("H264", "H265", ...); "" without an encoder
    int width = 0;
    int height = 0;
    std::string ptz_node;  // NodeToken of the profile's PTZConfiguration; "" without one
};

// A coordinate space a PTZ node offers, one axis (the X range of it).
struct PtzSpace {
    std::string uri;
    double min = 0;
    double max = 0;
};

// What a PTZ node can do, as far as the bench drives it.
struct PtzNode {
    std::string token;
    std::vector<PtzSpace> absolute_zoom;        // AbsoluteZoomPositionSpace
    std::vector<PtzSpace> relative_zoom;        // RelativeZoomTranslationSpace
    std::vector<PtzSpace> continuous_pan_tilt;  // ContinuousPanTiltVelocitySpace (X range)
    std::vector<PtzSpace> continuous_zoom;      // ContinuousZoomVelocitySpace
};

// A ContinuousMove's velocity; an axis left out is not sent (pan or tilt
// alone sends the other as 0). The spaces named ("" : the configuration's
// default velocity space).
struct PtzVelocity {
    std::optional<double> pan;
    std::optional<double> tilt;
    std::optional<double> zoom;
    std::string pan_tilt_space;
    std::string zoom_space;
};

// One move of the zoom axis: AbsoluteMove to a position, or RelativeMove by
// a translation, in the space named (its URI goes in the request).
struct ZoomMove {
    enum class Kind { absolute, relative } kind = Kind::absolute;
    double x = 0;
    std::string space;
};

enum class IrCutMode { on, off, automatic };

// The spellings of the schema's tt:IrCutFilterMode: "ON", "OFF", "AUTO".
const char* ir_cut_text(IrCutMode mode);
const char* codec_text(VideoCodec codec);  // "H.264", "H.265", "JPEG", "MPEG4", "other"

class ICamera : public IDevice {
public:
    // The service addresses, by GetServices or, from a camera that lacks it,
    // GetCapabilities; every address checked to be on the device. Kept for
    // the calls below, which read them first when they were not read yet.
    virtual Result discover_services(Services* out) = 0;
    // The media profiles (media service 2.0 when the camera offers it,
    // else 1.0), in the camera's order.
    virtual Result get_profiles(std::vector<VideoProfile>* out) = 0;
    // The RTSP address of the profile for RTP over RTSP over TCP (unicast).
    // Not yet checked to be on the camera: that is the stream's to judge.
    virtual Result get_stream_uri(const std::string& profile, std::string* uri) = 0;

    virtual Result get_ptz_node(const std::string& node, PtzNode* out) = 0;
    virtual Result continuous_move(const std::string& profile, const PtzVelocity& velocity) = 0;
    // Stop of both pan/tilt and zoom.
    virtual Result stop_move(const std::string& profile) = 0;
    virtual Result move_zoom(const std::string& profile, const ZoomMove& move) = 0;

    // The IR-cut filter modes the imaging service offers for the video source.
    virtual Result get_ir_cut_modes(const std::string& video_source, std::vector<IrCutMode>* out) = 0;
    // SetImagingSettings with the IR-cut filter alone.
    virtual Result set_ir_cut(const std::string& video_source, IrCutMode mode) = 0;
};

}  // namespace onvif
