#pragma once

#include <string>
#include <vector>

namespace ui {

// The addresses a network-card combo offers, from the host's IPv4 interface
// addresses in their order: loopback addresses left out (getifaddrs lists
// 127.0.0.1 first, and no camera answers a search from it), each address once.
std::vector<std::string> network_card_addresses(const std::vector<std::string>& host_addresses);

}  // namespace ui
