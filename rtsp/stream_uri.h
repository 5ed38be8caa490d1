#pragma once

// The stream address a camera hands out is network input. It is opened only
// when it is an rtsp:// URI whose host is the camera's own IPv4 address (no
// host name: resolving one could lead anywhere), with an optional port and a
// path of printable characters (nothing that could end an RTSP request line
// early). User information in it is dropped: the login is the caller's.

#include <cstdint>
#include <string>
#include <string_view>

namespace rtsp {

struct StreamUri {
    std::string host;  // dotted IPv4
    std::uint16_t port = 554;
    std::string path = "/";  // with the query, without a fragment
};

enum class UriVerdict { ok, malformed, not_rtsp, not_ipv4, foreign_host };

constexpr std::size_t kMaxUriLength = 1024;

UriVerdict parse_stream_uri(std::string_view uri, std::string_view camera_address, StreamUri* out);

// What FFmpeg opens: the URI with user and password percent-encoded as its
// user information. False when the login cannot go there (a NUL, a quote or
// a line break in the user name, or more than FFmpeg keeps of a login).
bool ffmpeg_url(const StreamUri& uri, const std::string& user, const std::string& password, std::string* out);

// rtsp://host:port/path: what traces and requests name, never with a login.
std::string plain_uri(const StreamUri& uri);

}  // namespace rtsp
