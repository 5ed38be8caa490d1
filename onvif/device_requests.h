#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "onvif/onvif_device.h"

// The bodies of the device service's requests, as build_envelope takes
// them (prefixes tds and tt). Values are escaped here; whether an address
// is one is the caller's to check (is_ipv4_address).
namespace onvif {

// The SOAP action of a device service operation, and the name of its answer.
std::string device_action(std::string_view operation);
std::string response_name(std::string_view operation);

// A request without parameters: "<tds:GetDeviceInformation/>".
std::string empty_request(std::string_view operation);

std::string get_services_request();
std::string set_ipv4_request(const std::string& token, bool dhcp, const std::string& address, int prefix_length);
// An empty `ipv4` clears the default gateway.
std::string set_default_gateway_request(const std::string& ipv4);
// `utc` (ms since the epoch) is written only with Manual.
std::string set_system_date_and_time_request(DateTimeType type, bool daylight_savings, const std::string& time_zone,
                                             std::optional<std::int64_t> utc);
// An IPv4 address is sent as one, anything else as a DNS name.
std::string set_ntp_request(const std::string& server);
std::string set_user_request(const User& user, const std::string& password);
std::string set_factory_default_soft_request();

// True for a dotted IPv4 address ("192.168.1.10").
bool is_ipv4_address(const std::string& text);

}  // namespace onvif
