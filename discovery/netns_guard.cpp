#include "discovery/netns_guard.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

// Kernels from 6.18 give the initial network namespace this fixed number;
// namespaces made later are numbered from 0xF0000000 up, so it never names a
// private one.
constexpr std::string_view kInitialNetns = "net:[4026531833]";

std::string namespace_of(const char* link) {
    char target[64];
    ssize_t length = ::readlink(link, target, sizeof target - 1);
    return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

}  // namespace

bool netns_is_private_in(const char* guard, std::string_view own, std::string_view machine) {
    if (own.empty() || own == kInitialNetns || own == machine) return false;
    bool outside_known = !machine.empty();
    std::istringstream listed{std::string(guard != nullptr ? guard : "")};
    for (std::string name; listed >> name;) {
        if (name.rfind("net:[", 0) != 0) continue;
        if (name == own) return false;
        outside_known = true;
    }
    return outside_known;
}

bool netns_guard_refuses_in(const char* guard, std::string_view own, std::string_view machine) {
    if (guard == nullptr || guard[0] == '\0') return false;
    return !netns_is_private_in(guard, own, machine);
}

bool netns_guard_refuses(const in_addr& destination) {
    const char* guard = std::getenv(kNetnsGuardVariable);
    if (guard == nullptr || guard[0] == '\0') return false;
    if ((ntohl(destination.s_addr) >> 24) == 127) return false;
    return netns_guard_refuses_in(guard, namespace_of("/proc/self/ns/net"), namespace_of("/proc/1/ns/net"));
}

bool netns_guard_refuses(const sockaddr* destination) {
    if (destination->sa_family == AF_INET)
        return netns_guard_refuses(reinterpret_cast<const sockaddr_in*>(destination)->sin_addr);
    in_addr outside{htonl(INADDR_BROADCAST)};
    if (destination->sa_family != AF_INET6) return netns_guard_refuses(outside);
    const in6_addr& v6 = reinterpret_cast<const sockaddr_in6*>(destination)->sin6_addr;
    if (IN6_IS_ADDR_LOOPBACK(&v6)) return false;
    if (!IN6_IS_ADDR_V4MAPPED(&v6)) return netns_guard_refuses(outside);
    in_addr mapped{};
    std::memcpy(&mapped, &v6.s6_addr[12], sizeof mapped);
    return netns_guard_refuses(mapped);
}

std::string developer_send_refusal_in(bool card_named, const char* guard, std::string_view own,
                                      std::string_view machine) {
    if (card_named || netns_is_private_in(guard, own, machine)) return "";
    return "refusing to send: nothing tells that this network namespace (" +
           (own.empty() ? std::string("unreadable") : std::string(own)) +
           ") is a private one; run it through scripts/in-netns.sh or scripts/sim-lan.sh, "
           "or name the card to send from";
}

std::string developer_send_refusal(bool card_named) {
    return developer_send_refusal_in(card_named, std::getenv(kNetnsGuardVariable),
                                     namespace_of("/proc/self/ns/net"), namespace_of("/proc/1/ns/net"));
}
