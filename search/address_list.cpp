#include "search/address_list.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdint>
#include <optional>

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

std::optional<std::uint32_t> read_ipv4(std::string_view text) {
    in_addr address{};
    if (inet_pton(AF_INET, std::string(trim(text)).c_str(), &address) != 1) return std::nullopt;
    return ntohl(address.s_addr);
}

std::string ipv4_text(std::uint32_t host_order) {
    in_addr address{htonl(host_order)};
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

// What a unicast ask may go to: not "this network" (0.x.x.x), multicast
// (224-239) or the reserved and limited-broadcast block (240-255), where a
// "unicast" ask would reach every host or none.
bool camera_address(std::uint32_t host_order) {
    const std::uint32_t first_byte = host_order >> 24;
    return first_byte != 0 && first_byte < 224;
}

}  // namespace

bool parse_address_list(std::string_view text, std::vector<std::string>* out, std::string* error) {
    out->clear();
    std::vector<std::uint32_t> addresses;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = std::min(text.find(',', start), text.size());
        std::string_view item = trim(text.substr(start, comma - start));
        start = comma + 1;
        std::size_t dash = item.find('-');
        std::optional<std::uint32_t> first = read_ipv4(item.substr(0, dash));
        std::optional<std::uint32_t> last = dash == std::string_view::npos ? first : read_ipv4(item.substr(dash + 1));
        if (!first || !last) {
            *error = "\"" + std::string(item) + "\" is not an IPv4 address or START-END range";
            return false;
        }
        if (*last < *first) {
            *error = "the range \"" + std::string(item) + "\" ends before it starts";
            return false;
        }
        const std::uint64_t count = static_cast<std::uint64_t>(*last) - *first + 1;
        if (addresses.size() + count > kMaxProbedAddresses) {
            *error = "more than " + std::to_string(kMaxProbedAddresses) + " addresses to ask";
            return false;
        }
        for (std::uint64_t a = *first; a <= *last; ++a) {
            if (!camera_address(static_cast<std::uint32_t>(a))) {
                *error = ipv4_text(static_cast<std::uint32_t>(a)) + " is a broadcast, multicast or reserved address";
                return false;
            }
            if (std::find(addresses.begin(), addresses.end(), a) == addresses.end())
                addresses.push_back(static_cast<std::uint32_t>(a));
        }
    }
    for (std::uint32_t a : addresses) out->push_back(ipv4_text(a));
    return true;
}
