#include "batch/net_prefix.h"

#include <arpa/inet.h>

int prefix_length_of(const std::string& mask) {
    in_addr address{};
    if (inet_pton(AF_INET, mask.c_str(), &address) != 1) return -1;
    std::uint32_t bits = ntohl(address.s_addr);
    int length = 0;
    while (length < 32 && (bits & (0x80000000u >> length)) != 0) ++length;
    // Every bit after the first zero must be zero too.
    std::uint32_t rest = length == 32 ? 0 : bits << length;
    return rest == 0 ? length : -1;
}
