#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Addresses a device hands out (service XAddrs, the firmware UploadUri) are
// followed only while they stay on that device: plain http, and the host of
// the device service's own address. A camera that names another host is
// either misconfigured or pointing the tool at someone else's machine.
namespace onvif {

// `reference` (absolute, or relative to `device_xaddr`) as an absolute
// http URL on the same host as `device_xaddr`, without any user or password
// part; nothing when it is another host or scheme, or not an address.
// address_on_device(x, x) checks and tidies the device's own address.
std::optional<std::string> address_on_device(const std::string& device_xaddr, const std::string& reference);

// The device service address to follow among the XAddrs of a ProbeMatch:
// the first on `source` (the IPv4 address the reply came from), as
// address_on_device gives it, with its port (the scheme's own when none is
// written). An XAddr on another host is never followed: any host on the LAN
// could name a third one. Nothing when none is on `source`.
std::optional<std::string> xaddr_on_host(const std::vector<std::string>& xaddrs, const std::string& source,
                                         std::uint16_t* port);

// True when `host` is the IPv4 address `ipv4` (both dotted text).
bool same_ipv4(std::string_view host, std::string_view ipv4);

}  // namespace onvif
