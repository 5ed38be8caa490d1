#include "onvif/xaddr.h"

#include <algorithm>
#include <cctype>

namespace onvif {

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::optional<int> port_number(const std::string& text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535) return std::nullopt;
    return value;
}

}  // namespace

std::optional<XAddrParts> parse_xaddr(const std::string& xaddr) {
    std::size_t colon = xaddr.find("://");
    if (colon == std::string::npos) return std::nullopt;
    XAddrParts parts;
    parts.scheme = lower(xaddr.substr(0, colon));
    if (parts.scheme != "http" && parts.scheme != "https") return std::nullopt;
    std::string rest = xaddr.substr(colon + 3);
    std::size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    parts.path = slash == std::string::npos ? "/" : rest.substr(slash);
    // User information in an address would send a login we never chose.
    if (authority.find('@') != std::string::npos) return std::nullopt;
    std::string port_text;
    if (!authority.empty() && authority.front() == '[') {
        std::size_t close = authority.find(']');
        if (close == std::string::npos) return std::nullopt;
        parts.host = authority.substr(1, close - 1);
        std::string after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return std::nullopt;
            port_text = after.substr(1);
        }
    } else {
        std::size_t port_colon = authority.rfind(':');
        parts.host = authority.substr(0, port_colon);
        if (port_colon != std::string::npos) port_text = authority.substr(port_colon + 1);
    }
    if (parts.host.empty()) return std::nullopt;
    parts.port = parts.scheme == "https" ? 443 : 80;
    if (!port_text.empty() || authority.back() == ':') {
        std::optional<int> port = port_number(port_text);
        if (!port) return std::nullopt;
        parts.port = *port;
    }
    return parts;
}

std::string xaddr_with_host(const std::string& xaddr, const std::string& host) {
    std::optional<XAddrParts> parts = parse_xaddr(xaddr);
    if (!parts) return {};
    bool default_port = parts->port == (parts->scheme == "https" ? 443 : 80);
    std::string out = parts->scheme + "://" + host;
    if (!default_port) out += ":" + std::to_string(parts->port);
    return out + parts->path;
}

}  // namespace onvif
