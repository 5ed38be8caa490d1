#include "sim/onvif/token_check.h"

#include <cstdlib>

namespace {
// A flood of valid tokens must not grow the camera without bound; past this
// the oldest nonces go first (they are the nearest to leaving the window).
constexpr std::size_t kMaxNonces = 4096;
}  // namespace

const char* token_verdict_text(TokenVerdict verdict) {
    switch (verdict) {
    case TokenVerdict::ok: return "ok";
    case TokenVerdict::clear_text: return "password sent in clear text";
    case TokenVerdict::incomplete: return "token without nonce or creation time";
    case TokenVerdict::stale: return "token created too far from the device's clock";
    case TokenVerdict::wrong_password: return "wrong user name or password";
    case TokenVerdict::replayed: return "token nonce used before";
    }
    return "?";
}

TokenVerdict TokenChecker::check(const onvif::UsernameToken& token, const std::string* password,
                                 std::int64_t camera_now_ms) {
    if (!token.is_digest) return TokenVerdict::clear_text;
    std::optional<std::int64_t> created = onvif::parse_xs_datetime(token.created);
    if (token.nonce.empty() || !created) return TokenVerdict::incomplete;
    if (std::llabs(*created - camera_now_ms) > m_window_ms) return TokenVerdict::stale;
    if (password == nullptr || !onvif::digest_matches(token, *password)) return TokenVerdict::wrong_password;
    prune(camera_now_ms);
    std::string key = m_allow_reused_nonces ? token.nonce + '\n' + token.created : token.nonce;
    if (m_seen.count(key) != 0) return TokenVerdict::replayed;
    remember(key, *created);
    return TokenVerdict::ok;
}

void TokenChecker::remember(const std::string& key, std::int64_t created_ms) {
    if (m_order.size() >= kMaxNonces) {
        m_seen.erase(m_order.front().second);
        m_order.pop_front();
    }
    m_seen.insert(key);
    m_order.emplace_back(created_ms, key);
}

// A nonce whose Created has left the window can never pass the time check
// again, so it need not be remembered. Created times arrive roughly in
// order; one out of order only stays a little longer.
void TokenChecker::prune(std::int64_t camera_now_ms) {
    while (!m_order.empty() && m_order.front().first + m_window_ms < camera_now_ms) {
        m_seen.erase(m_order.front().second);
        m_order.pop_front();
    }
}
