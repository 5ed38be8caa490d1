#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The WS-Discovery (2005/04) messages of the client side: the Probe the tool
// sends for network video transmitters, and the ProbeMatches the cameras
// answer with. Read by local name (cameras use every prefix), bounded in
// every count and length, so a datagram can cost only so much.
namespace onvif {

inline constexpr const char* kWsDiscoveryTo = "urn:schemas-xmlsoap-org:ws:2005:04:discovery";
inline constexpr const char* kProbeAction = "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe";
inline constexpr const char* kProbeType = "dn:NetworkVideoTransmitter";

// Bounds on one ProbeMatches: matches past the first few, list items past
// the counts and texts longer than these are left out.
constexpr std::size_t kMaxProbeMatches = 16;
constexpr std::size_t kMaxListItems = 64;
constexpr std::size_t kMaxXAddrs = 16;
constexpr std::size_t kMaxEndpointChars = 256;
constexpr std::size_t kMaxUriChars = 1024;

struct ProbeMatch {
    std::string endpoint;  // EndpointReference/Address, "urn:uuid:..."
    std::vector<std::string> types;
    std::vector<std::string> scopes;
    std::vector<std::string> xaddrs;  // in the camera's order
    std::uint32_t metadata_version = 0;
};

struct ProbeMatches {
    std::string relates_to;  // the MessageID of the Probe answered
    std::string message_id;
    std::vector<ProbeMatch> matches;
    std::size_t left_out = 0;  // matches without an endpoint or past the bound
};

// A fresh "urn:uuid:" + random (version 4) UUID.
std::string new_message_id();

// The Probe for dn:NetworkVideoTransmitter with this MessageID.
std::string build_probe(std::string_view message_id);

// Reads a ProbeMatches envelope. False, with a one-line reason in *error,
// for anything else: not an envelope, a fault, another message, no
// RelatesTo.
bool parse_probe_matches(std::string_view bytes, ProbeMatches* out, std::string* error);

// The items of a white-space separated list (xs:list: Types, Scopes,
// XAddrs), at most `limit`, each at most `max_chars` long (longer ones
// left out).
std::vector<std::string> split_list(std::string_view text, std::size_t limit, std::size_t max_chars);

}  // namespace onvif
