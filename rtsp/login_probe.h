#pragma once

// Before FFmpeg sends a login, one DESCRIBE without it asks the camera what
// it wants. FFmpeg would answer a challenge for Basic login with the
// password in clear text, and would follow a redirect to any address; a
// camera that asks for either is refused here, before any password leaves.

#include <cstdint>
#include <functional>
#include <string_view>

#include "rtsp/stream_uri.h"

namespace rtsp {

// The status line and headers of an RTSP reply, as far as the probe needs them.
struct ReplyHead {
    int status = 0;
    bool digest = false;  // a WWW-Authenticate: Digest challenge
    bool basic = false;   // a WWW-Authenticate: Basic challenge
};

enum class HeadParse { incomplete, done, malformed };

// Reads `bytes` from the start of a reply up to its blank line. A head
// longer than kMaxReplyHead is malformed.
constexpr std::size_t kMaxReplyHead = 16384;
HeadParse parse_reply_head(std::string_view bytes, ReplyHead* out);

enum class ProbeResult {
    digest,           // the camera asks for a digest login
    open,             // the camera streams without a login
    clear_text_only,  // it offers Basic login alone
    redirected,       // it sends the client elsewhere
    not_found,        // no such stream
    unreachable,      // no connection, or no answer in time
    stopped,          // `stop` said so
    failed,           // another status, or an answer that is not RTSP
};

// Connects to the URI's host and port, sends the DESCRIBE and reads the
// head of the reply, within `budget_ms` of the runtime's time, asking `stop`
// at least every 100 ms. `status` gets the reply's status (0 without one).
ProbeResult probe_login(const StreamUri& uri, std::int64_t budget_ms, const std::function<bool()>& stop, int* status);

}  // namespace rtsp
