#pragma once

#include <string>
#include <string_view>

#include "onvif/camera_control.h"

// The request bodies of the media (1.0 and 2.0), PTZ and imaging services
// and of the device service's GetCapabilities, from media.wsdl, ver20
// media.wsdl, ptz.wsdl, imaging.wsdl, devicemgmt.wsdl and onvif.xsd, as
// build_envelope takes them (prefixes trt, tr2, tptz, timg, tds, tt).
// Tokens and URIs are escaped here.
namespace onvif {

// The services a request goes to, and the namespace its SOAP action is in.
enum class Service { device, media, media2, ptz, imaging };
const char* service_namespace(Service service);
// "<namespace>/<Operation>".
std::string service_action(Service service, std::string_view operation);

std::string get_capabilities_request();

std::string get_profiles_request(Service media);
// RTP unicast over RTSP over TCP: media 1.0 StreamSetup RTP-Unicast/RTSP,
// media 2.0 Protocol RTSP.
std::string get_stream_uri_request(Service media, const std::string& profile);

std::string get_node_request(const std::string& node);
std::string continuous_move_request(const std::string& profile, const PtzVelocity& velocity);
std::string stop_request(const std::string& profile);
std::string zoom_move_request(const std::string& profile, const ZoomMove& move);

std::string imaging_options_request(const std::string& video_source);
std::string set_ir_cut_request(const std::string& video_source, IrCutMode mode);

// A float as xs:float writes it, whatever the process's locale: "0.5", "-1", "5".
std::string xs_float(double value);

}  // namespace onvif
