#include "onvif/service_address.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <strings.h>

#include <charconv>
#include <memory>

namespace onvif {

namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using Url = std::unique_ptr<CURLU, UrlDeleter>;

std::optional<std::string> part(CURLU* url, CURLUPart which, unsigned flags = 0) {
    char* value = nullptr;
    if (curl_url_get(url, which, &value, flags) != CURLUE_OK) return std::nullopt;
    std::string out(value);
    curl_free(value);
    return out;
}

// The host of an http URL; nothing for another scheme or no host.
std::optional<std::string> http_host(CURLU* url) {
    std::optional<std::string> scheme = part(url, CURLUPART_SCHEME);
    if (!scheme || ::strcasecmp(scheme->c_str(), "http") != 0) return std::nullopt;
    std::optional<std::string> host = part(url, CURLUPART_HOST);
    if (!host || host->empty()) return std::nullopt;
    return host;
}

std::optional<std::uint16_t> port_of(const std::string& address) {
    Url url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, address.c_str(), 0) != CURLUE_OK) return std::nullopt;
    std::optional<std::string> text = part(url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
    unsigned port = 0;
    if (!text || std::from_chars(text->data(), text->data() + text->size(), port).ec != std::errc() || port == 0 ||
        port > 0xFFFF)
        return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

}  // namespace

std::optional<std::string> address_on_device(const std::string& device_xaddr, const std::string& reference) {
    Url url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, device_xaddr.c_str(), 0) != CURLUE_OK) return std::nullopt;
    std::optional<std::string> device_host = http_host(url.get());
    if (!device_host) return std::nullopt;
    // Setting a second URL resolves it against the first, as a browser
    // would a link: a relative UploadUri stays on the device by itself.
    if (curl_url_set(url.get(), CURLUPART_URL, reference.c_str(), 0) != CURLUE_OK) return std::nullopt;
    std::optional<std::string> host = http_host(url.get());
    if (!host || ::strcasecmp(host->c_str(), device_host->c_str()) != 0) return std::nullopt;
    curl_url_set(url.get(), CURLUPART_USER, nullptr, 0);
    curl_url_set(url.get(), CURLUPART_PASSWORD, nullptr, 0);
    curl_url_set(url.get(), CURLUPART_OPTIONS, nullptr, 0);
    return part(url.get(), CURLUPART_URL);
}

std::optional<std::string> xaddr_on_host(const std::vector<std::string>& xaddrs, const std::string& source,
                                         std::uint16_t* port) {
    const std::string replier = "http://" + source + "/";
    for (const std::string& xaddr : xaddrs) {
        std::optional<std::string> on_host = address_on_device(replier, xaddr);
        std::optional<std::uint16_t> its_port = on_host ? port_of(*on_host) : std::nullopt;
        if (!its_port) continue;
        *port = *its_port;
        return on_host;
    }
    return std::nullopt;
}

bool same_ipv4(std::string_view host, std::string_view ipv4) {
    in_addr a{};
    in_addr b{};
    return inet_pton(AF_INET, std::string(host).c_str(), &a) == 1 &&
           inet_pton(AF_INET, std::string(ipv4).c_str(), &b) == 1 && a.s_addr == b.s_addr;
}

}  // namespace onvif
