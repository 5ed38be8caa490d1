#pragma once

#include <string>
#include <vector>

#include "onvif/camera_control.h"
#include "onvif/soap_xml.h"

// The answers of the media, PTZ and imaging services (and GetCapabilities)
// read into records, from the response element of an envelope that
// read_answer (device_replies.h) judged to be the operation's. Nothing here
// touches the network, so tests and the fuzz target feed these the bytes a
// camera could send. Lists and texts are bounded: a camera cannot make the
// bench hold more than the few profiles and spaces it shows.
namespace onvif {

constexpr std::size_t kMaxProfiles = 32;
constexpr std::size_t kMaxSpaces = 16;      // per kind of space
constexpr std::size_t kMaxTokenBytes = 64;  // tt:ReferenceToken's own bound
constexpr std::size_t kMaxStreamUriBytes = 1024;

// GetCapabilities: the XAddr of each service named (not yet checked to be
// on the device). Media 2.0 is not among them: GetServices alone names it.
Result read_capabilities(const Envelope& answer, Services* out);

// GetProfiles of media 1.0 (trt:Profiles) or 2.0 (tr2:Profiles with their
// Configurations). A profile whose token is missing or longer than a
// token may be is left out; none at all is BadAnswer.
Result read_profiles(const Envelope& answer, bool media2, std::vector<VideoProfile>* out);
// GetStreamUri: MediaUri/Uri (1.0) or Uri (2.0); empty or longer than
// kMaxStreamUriBytes is BadAnswer.
Result read_stream_uri(const Envelope& answer, bool media2, std::string* out);

// GetNode: the node's zoom and pan/tilt spaces with their X ranges. A
// space without a URI, or whose range is not two finite numbers in order,
// is left out.
Result read_ptz_node(const Envelope& answer, PtzNode* out);

// Imaging GetOptions: the IrCutFilterModes offered (unknown words left out).
Result read_ir_cut_modes(const Envelope& answer, std::vector<IrCutMode>* out);

// "H264", "h.264", "H265", "HEVC", "JPEG", "MPEG4", "MPV4-ES".
VideoCodec codec_of(const std::string& encoding);

}  // namespace onvif
