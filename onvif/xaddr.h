#pragma once

#include <optional>
#include <string>

// Service addresses ("XAddrs") as cameras give them: "http://host[:port]/path".
namespace onvif {

struct XAddrParts {
    std::string scheme;  // "http" or "https", lower case
    std::string host;    // IPv4 address or name, without brackets
    int port = 0;        // the scheme's default when the address has none
    std::string path;    // from the first '/', "/" when absent
};

// Nothing for anything that is not an http(s) address with a host and a
// valid port.
std::optional<XAddrParts> parse_xaddr(const std::string& xaddr);

// The same address on another host (a camera that moved), keeping the
// scheme, port and path; "" when `xaddr` cannot be read.
std::string xaddr_with_host(const std::string& xaddr, const std::string& host);

}  // namespace onvif
