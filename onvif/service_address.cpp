#include "onvif/service_address.h"

#include <curl/curl.h>
#include <strings.h>

#include <memory>

namespace onvif {

namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using Url = std::unique_ptr<CURLU, UrlDeleter>;

std::optional<std::string> part(CURLU* url, CURLUPart which) {
    char* value = nullptr;
    if (curl_url_get(url, which, &value, 0) != CURLUE_OK) return std::nullopt;
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

}  // namespace onvif
