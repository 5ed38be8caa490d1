#include "rtsp/login_probe.h"

#include <unistd.h>

#include <cctype>
#include <string>

#include "client/call_abort.h"
#include "client/socket_io.h"
#include "runtime/rt_time.h"

namespace rtsp {

namespace {

bool equal_nocase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// "RTSP/1.0 401 Unauthorized": the version, one space, three digits.
bool parse_status_line(std::string_view line, int* status) {
    if (line.size() < 12 || line.substr(0, 5) != "RTSP/" || line.find(' ') == std::string_view::npos) return false;
    std::string_view code = line.substr(line.find(' ') + 1, 3);
    if (code.size() != 3 || !std::isdigit(static_cast<unsigned char>(code[0])) ||
        !std::isdigit(static_cast<unsigned char>(code[1])) || !std::isdigit(static_cast<unsigned char>(code[2])))
        return false;
    *status = (code[0] - '0') * 100 + (code[1] - '0') * 10 + (code[2] - '0');
    return *status >= 100;
}

void read_challenge(std::string_view value, ReplyHead* out) {
    const std::string_view scheme = value.substr(0, value.find(' '));
    if (equal_nocase(scheme, "digest")) out->digest = true;
    if (equal_nocase(scheme, "basic")) out->basic = true;
}

ProbeResult verdict(const ReplyHead& head) {
    if (head.status >= 300 && head.status < 400) return ProbeResult::redirected;
    if (head.status == 404) return ProbeResult::not_found;
    if (head.status == 200) return ProbeResult::open;
    if (head.status != 401) return ProbeResult::failed;
    if (head.digest) return ProbeResult::digest;
    return head.basic ? ProbeResult::clear_text_only : ProbeResult::failed;
}

struct StopCheck {
    const std::function<bool()>* stop;
    static std::int32_t ask(void* self) { return (*static_cast<StopCheck*>(self)->stop)() ? 1 : 0; }
};

}  // namespace

HeadParse parse_reply_head(std::string_view bytes, ReplyHead* out) {
    const std::size_t end = bytes.find("\r\n\r\n");
    if (end == std::string_view::npos) return bytes.size() > kMaxReplyHead ? HeadParse::malformed : HeadParse::incomplete;
    if (end > kMaxReplyHead) return HeadParse::malformed;
    ReplyHead head;
    std::string_view rest = bytes.substr(0, end + 2);
    bool first = true;
    while (!rest.empty()) {
        const std::size_t eol = rest.find("\r\n");
        const std::string_view line = rest.substr(0, eol);
        rest.remove_prefix(eol + 2);
        if (first) {
            if (!parse_status_line(line, &head.status)) return HeadParse::malformed;
            first = false;
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;  // folded or broken lines carry nothing the probe needs
        if (equal_nocase(trimmed(line.substr(0, colon)), "WWW-Authenticate"))
            read_challenge(trimmed(line.substr(colon + 1)), &head);
    }
    *out = head;
    return HeadParse::done;
}

ProbeResult probe_login(const StreamUri& uri, std::int64_t budget_ms, const std::function<bool()>& stop, int* status) {
    *status = 0;
    const std::int64_t deadline = rt_clock_ms() + budget_ms;
    StopCheck check{&stop};
    kaltro::set_thread_abort_check(&StopCheck::ask, &check);
    const int fd = kaltro::connect_tcp(uri.host, uri.port, budget_ms);
    ProbeResult result = ProbeResult::unreachable;
    const std::string request = "DESCRIBE " + plain_uri(uri) +
                                " RTSP/1.0\r\nCSeq: 1\r\nAccept: application/sdp\r\nUser-Agent: tervane\r\n\r\n";
    if (fd >= 0 && kaltro::send_all(fd, request.data(), request.size(), deadline)) {
        std::string reply;
        ReplyHead head;
        char buffer[4096];
        while (!stop() && rt_clock_ms() < deadline) {
            if (kaltro::wait_readable(fd, std::min<std::int64_t>(100, deadline - rt_clock_ms())) < 0) break;
            const long n = kaltro::read_some(fd, buffer, sizeof buffer);
            if (n == -2) continue;
            if (n <= 0) break;
            reply.append(buffer, static_cast<std::size_t>(n));
            const HeadParse parse = parse_reply_head(reply, &head);
            if (parse == HeadParse::incomplete) continue;
            *status = head.status;
            result = parse == HeadParse::done ? verdict(head) : ProbeResult::failed;
            break;
        }
    }
    if (stop()) result = ProbeResult::stopped;
    if (fd >= 0) ::close(fd);
    kaltro::set_thread_abort_check(nullptr, nullptr);
    return result;
}

}  // namespace rtsp
