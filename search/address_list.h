#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The addresses a user asks to be probed directly (cameras behind a router,
// on another VLAN): "A", "A,B,C", "START-END", or a mix ("A,START-END").

// At most this many in all (a /22): enough for any segment a technician
// works on, few enough that a typing slip cannot send a sweep of millions.
constexpr std::size_t kMaxProbedAddresses = 1024;

// The IPv4 addresses of `text` in order, each once. False, with a one-line
// reason, for an item that is no IPv4 address, a range whose end comes
// before its start, an address no camera can have (0.x.x.x, multicast,
// 240.0.0.0 and above with the limited broadcast), or more than
// kMaxProbedAddresses addresses.
bool parse_address_list(std::string_view text, std::vector<std::string>* out, std::string* error);
