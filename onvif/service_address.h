#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The address of an ONVIF service (an XAddr): "http://10.0.0.5:8080/onvif/device_service".
namespace onvif {

struct ServiceAddress {
    std::string scheme;  // "http" or "https", lower case
    std::string host;    // as written, IPv6 without its brackets
    std::uint16_t port = 0;  // as written, else the scheme's own
    std::string path;    // from the first '/', "/" when none
};

// Reads an http or https URL. Nothing for another scheme, a missing host, a
// port that is not 1..65535, or user information before the host (a login
// never travels in an address).
std::optional<ServiceAddress> parse_service_address(std::string_view url);

// True when `host` is the IPv4 address `ipv4` (both dotted text).
bool same_ipv4(std::string_view host, std::string_view ipv4);

// The XAddr to follow among a camera's list: the first http one whose host is
// `source` (the address its reply came from), else the first such https
// one. An address on another host is never followed: any host on the LAN
// could name a third one. Nothing when none is on `source`.
std::optional<std::string> xaddr_on_host(const std::vector<std::string>& xaddrs, std::string_view source,
                                         ServiceAddress* parsed);

}  // namespace onvif
