#pragma once

#include <optional>
#include <string>

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

}  // namespace onvif
