#pragma once

#include <cstdint>
#include <deque>
#include <set>
#include <string>

#include "onvif/username_token.h"

// How a camera judges a WS-UsernameToken: a PasswordDigest over a nonce and a
// Created time near the camera's own clock, with a nonce it has not seen in
// that window. A token outside the window could only be a replay (or a client
// that ignored the camera's clock), one seen before is one.
enum class TokenVerdict {
    ok,
    clear_text,     // PasswordText: refused, and counted by the caller
    incomplete,     // no nonce or no (readable) Created
    stale,          // Created too far from the camera's clock
    wrong_password, // unknown user, or a digest of another password
    replayed,       // this nonce was already used within the window
};

const char* token_verdict_text(TokenVerdict verdict);

class TokenChecker {
public:
    // With `allow_reused_nonces` a nonce may come again under a new Created
    // (as some clients send it, against the token profile); a token resent
    // as it was is still refused.
    TokenChecker(std::int64_t window_ms, bool allow_reused_nonces)
        : m_window_ms(window_ms), m_allow_reused_nonces(allow_reused_nonces) {}

    // `password` is the user's (null: no such user); `camera_now_ms` the
    // camera's UTC clock. Not thread-safe: the camera's lock guards it.
    TokenVerdict check(const onvif::UsernameToken& token, const std::string* password, std::int64_t camera_now_ms);

private:
    void remember(const std::string& key, std::int64_t created_ms);
    void prune(std::int64_t camera_now_ms);

    std::int64_t m_window_ms;
    bool m_allow_reused_nonces;
    std::set<std::string> m_seen;
    std::deque<std::pair<std::int64_t, std::string>> m_order;  // (Created, key), oldest first
};
