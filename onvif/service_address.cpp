#include "onvif/service_address.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <charconv>

namespace onvif {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

bool read_port(std::string_view text, std::uint16_t* port) {
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > 0xFFFF) return false;
    *port = static_cast<std::uint16_t>(value);
    return true;
}

// "host", "host:port", "[v6]" or "[v6]:port" into *out.
bool read_authority(std::string_view authority, ServiceAddress* out) {
    if (authority.find('@') != std::string_view::npos) return false;
    std::string_view port;
    if (authority.starts_with('[')) {
        std::size_t close = authority.find(']');
        if (close == std::string_view::npos) return false;
        out->host = std::string(authority.substr(1, close - 1));
        std::string_view rest = authority.substr(close + 1);
        if (!rest.empty() && !rest.starts_with(':')) return false;
        if (!rest.empty()) port = rest.substr(1);
        if (!rest.empty() && port.empty()) return false;
    } else {
        std::size_t colon = authority.find(':');
        out->host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) {
            port = authority.substr(colon + 1);
            if (port.empty()) return false;
        }
    }
    if (out->host.empty()) return false;
    return port.empty() || read_port(port, &out->port);
}

}  // namespace

std::optional<ServiceAddress> parse_service_address(std::string_view url) {
    std::size_t separator = url.find("://");
    if (separator == std::string_view::npos) return std::nullopt;
    ServiceAddress out;
    out.scheme = lower(url.substr(0, separator));
    if (out.scheme == "http")
        out.port = 80;
    else if (out.scheme == "https")
        out.port = 443;
    else
        return std::nullopt;
    std::string_view rest = url.substr(separator + 3);
    std::size_t end = rest.find_first_of("/?#");
    if (!read_authority(rest.substr(0, end), &out)) return std::nullopt;
    out.path = end == std::string_view::npos || rest[end] != '/' ? "/" : std::string(rest.substr(end));
    return out;
}

bool same_ipv4(std::string_view host, std::string_view ipv4) {
    in_addr a{};
    in_addr b{};
    return inet_pton(AF_INET, std::string(host).c_str(), &a) == 1 &&
           inet_pton(AF_INET, std::string(ipv4).c_str(), &b) == 1 && a.s_addr == b.s_addr;
}

std::optional<std::string> xaddr_on_host(const std::vector<std::string>& xaddrs, std::string_view source,
                                         ServiceAddress* parsed) {
    for (const char* scheme : {"http", "https"}) {
        for (const std::string& xaddr : xaddrs) {
            std::optional<ServiceAddress> address = parse_service_address(xaddr);
            if (!address || address->scheme != scheme || !same_ipv4(address->host, source)) continue;
            if (parsed != nullptr) *parsed = *address;
            return xaddr;
        }
    }
    return std::nullopt;
}

}  // namespace onvif
