#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class TiXmlElement;

// The WS-Security UsernameToken with a PasswordDigest, as ONVIF's device
// service takes its login: the password itself never travels, only
// Base64(SHA-1(nonce + created + password)). `created` must be near the
// device's own clock, so the caller passes the time the device would read.
namespace onvif {

std::string base64_encode(std::string_view bytes);
// Nothing for text that is not Base64 (white space is allowed and skipped).
std::optional<std::string> base64_decode(std::string_view text);

// `count` bytes from OpenSSL's random generator (nonces).
std::string random_bytes(std::size_t count);

// Base64(SHA-1(nonce + created + password)); nonce as raw bytes.
std::string password_digest(std::string_view nonce, std::string_view created, std::string_view password);

// xs:dateTime in UTC with seconds, "2026-12-09T03:00:00Z".
std::string xs_datetime_utc(std::int64_t ms_since_epoch);
// Reads "YYYY-MM-DDThh:mm:ss[.fff](Z|+hh:mm|-hh:mm)"; nothing for anything else.
std::optional<std::int64_t> parse_xs_datetime(std::string_view text);

// The wsse:Security header (for build_envelope's header) for `user`, with
// a fresh nonce and `created` from `device_now_ms`.
std::string security_header(std::string_view user, std::string_view password, std::int64_t device_now_ms);

// A UsernameToken read from a request's Header (the device's side).
struct UsernameToken {
    std::string user;
    std::string password;  // the digest, or the clear text for PasswordText
    bool is_digest = false;
    std::string nonce;     // raw bytes, decoded
    std::string created;
};
std::optional<UsernameToken> read_username_token(const TiXmlElement* header);

// True when `token` is a digest made with `password`.
bool digest_matches(const UsernameToken& token, std::string_view password);

}  // namespace onvif
