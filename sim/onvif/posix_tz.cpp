#include "sim/onvif/posix_tz.h"

#include <cctype>

namespace {

// A cursor over the text; every reader advances it only on success.
struct Reader {
    std::string_view text;
    std::size_t at = 0;

    bool done() const { return at == text.size(); }
    char peek() const { return done() ? '\0' : text[at]; }
    bool take(char c) {
        if (peek() != c) return false;
        ++at;
        return true;
    }
};

bool is_alpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// std or dst: three or more letters, or <...> of letters, digits, '+' and '-'.
bool read_name(Reader& r) {
    std::size_t start = r.at;
    if (r.take('<')) {
        while (is_alpha(r.peek()) || is_digit(r.peek()) || r.peek() == '+' || r.peek() == '-') ++r.at;
        if (r.at - start - 1 >= 3 && r.take('>')) return true;
    } else {
        while (is_alpha(r.peek())) ++r.at;
        if (r.at - start >= 3) return true;
    }
    r.at = start;
    return false;
}

// One to three digits, no greater than `max`.
bool read_number(Reader& r, int max, int* out) {
    if (!is_digit(r.peek())) return false;
    int value = 0;
    int digits = 0;
    while (is_digit(r.peek()) && digits < 3) {
        value = value * 10 + (r.peek() - '0');
        ++r.at;
        ++digits;
    }
    if (value > max) return false;
    *out = value;
    return true;
}

// [+-]hh[:mm[:ss]] in seconds.
bool read_offset(Reader& r, int max_hours, int* seconds) {
    int sign = 1;
    if (r.take('-')) sign = -1;
    else r.take('+');
    int h = 0, m = 0, s = 0;
    if (!read_number(r, max_hours, &h)) return false;
    if (r.take(':') && (!read_number(r, 59, &m) || (r.take(':') && !read_number(r, 59, &s)))) return false;
    *seconds = sign * (h * 3600 + m * 60 + s);
    return true;
}

// Jn, n or Mm.w.d, then an optional /time.
bool read_rule_date(Reader& r) {
    int a = 0, b = 0, c = 0;
    bool ok = false;
    if (r.take('J')) ok = read_number(r, 365, &a) && a >= 1;
    else if (r.take('M')) ok = read_number(r, 12, &a) && a >= 1 && r.take('.') && read_number(r, 5, &b) && b >= 1 &&
                              r.take('.') && read_number(r, 6, &c);
    else ok = read_number(r, 365, &a);
    int time = 0;
    return ok && (!r.take('/') || read_offset(r, 167, &time));
}

}  // namespace

std::optional<int> posix_tz_utc_offset_s(std::string_view tz) {
    Reader r{tz};
    int standard = 0;
    if (!read_name(r) || !read_offset(r, 24, &standard)) return std::nullopt;
    if (!r.done()) {
        int daylight = 0;
        if (!read_name(r)) return std::nullopt;
        if (!r.done() && r.peek() != ',' && !read_offset(r, 24, &daylight)) return std::nullopt;
        if (r.take(',') && !(read_rule_date(r) && r.take(',') && read_rule_date(r))) return std::nullopt;
    }
    if (!r.done()) return std::nullopt;
    return -standard;
}
