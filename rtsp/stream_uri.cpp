#include "rtsp/stream_uri.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

namespace rtsp {

namespace {

// FFmpeg keeps a login of up to 127 bytes, as given (still encoded).
constexpr std::size_t kMaxLogin = 127;

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char lower, char c) { return std::tolower(static_cast<unsigned char>(c)) == lower; });
}

bool printable(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c > 0x20 && c < 0x7F; });
}

bool parse_port(std::string_view text, std::uint16_t* port) {
    if (text.empty() || text.size() > 5 || !std::all_of(text.begin(), text.end(), ::isdigit)) return false;
    const unsigned long value = std::stoul(std::string(text));
    if (value == 0 || value > 65535) return false;
    *port = static_cast<std::uint16_t>(value);
    return true;
}

std::string percent_encoded(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

}  // namespace

UriVerdict parse_stream_uri(std::string_view uri, std::string_view camera_address, StreamUri* out) {
    constexpr std::string_view kScheme = "rtsp://";
    if (uri.size() > kMaxUriLength) return UriVerdict::malformed;
    if (!starts_with_nocase(uri, kScheme)) return UriVerdict::not_rtsp;
    std::string_view rest = uri.substr(kScheme.size());
    rest = rest.substr(0, rest.find('#'));
    if (!printable(rest)) return UriVerdict::malformed;
    const std::size_t authority_end = std::min(rest.find('/'), rest.find('?'));
    std::string_view authority = rest.substr(0, authority_end);
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
    if (authority.empty()) return UriVerdict::malformed;
    if (authority.front() == '[') return UriVerdict::not_ipv4;
    StreamUri parsed;
    const std::size_t colon = authority.find(':');
    if (colon != std::string_view::npos && !parse_port(authority.substr(colon + 1), &parsed.port))
        return UriVerdict::malformed;
    parsed.host = std::string(authority.substr(0, colon));
    in_addr host{}, camera{};
    if (inet_pton(AF_INET, parsed.host.c_str(), &host) != 1) return UriVerdict::not_ipv4;
    if (inet_pton(AF_INET, std::string(camera_address).c_str(), &camera) != 1 || host.s_addr != camera.s_addr)
        return UriVerdict::foreign_host;
    if (authority_end != std::string_view::npos) {
        parsed.path = std::string(rest.substr(authority_end));
        if (parsed.path.front() == '?') parsed.path.insert(0, "/");
    }
    *out = std::move(parsed);
    return UriVerdict::ok;
}

bool ffmpeg_url(const StreamUri& uri, const std::string& user, const std::string& password, std::string* out) {
    // The user name goes into a quoted header field unescaped.
    if (user.find_first_of(std::string("\"\r\n\0", 4)) != std::string::npos ||
        password.find('\0') != std::string::npos)
        return false;
    std::string login;
    if (!user.empty()) login = percent_encoded(user) + ":" + percent_encoded(password);
    if (login.size() > kMaxLogin) return false;
    *out = "rtsp://" + (login.empty() ? "" : login + "@") + uri.host + ":" + std::to_string(uri.port) + uri.path;
    return true;
}

std::string plain_uri(const StreamUri& uri) {
    return "rtsp://" + uri.host + ":" + std::to_string(uri.port) + uri.path;
}

}  // namespace rtsp
