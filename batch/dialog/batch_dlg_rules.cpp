#include "batch/dialog/batch_dlg_rules.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstdlib>

#include "runtime/regular_file.h"

namespace {

// Text up to (not including) the last '.'; the whole text when it has none.
std::string prefix_of(const std::string& address) {
    std::size_t dot = address.rfind('.');
    return dot == std::string::npos ? address : address.substr(0, dot);
}

// The number after the last '.', read as atoi reads it.
int last_number(const std::string& address) {
    std::size_t dot = address.rfind('.');
    return std::atoi(address.c_str() + (dot == std::string::npos ? 0 : dot + 1));
}

bool bad_side(const std::string& text) { return text.empty() || text == "0.0.0.0" || !is_valid_ip(text); }

}  // namespace

bool is_valid_ip(const std::string& text) { return inet_addr(text.c_str()) != INADDR_NONE; }

std::size_t utf8_length(const std::string& text) {
    std::size_t count = 0;
    for (unsigned char c : text) count += (c & 0xC0) != 0x80 ? 1 : 0;
    return count;
}

bool firmware_path_acceptable(const std::string& path) { return utf8_length(path) > 7 && is_regular_file(path); }

RangeCheck check_ip_range(const std::string& start, const std::string& end, bool order_check) {
    RangeCheck check;
    check.start = start;
    check.end = end;
    const bool start_bad = bad_side(start), end_bad = bad_side(end);
    if (start_bad && end_bad) {
        check.outcome = RangeCheck::BothInvalid;
        return check;
    }
    if (start_bad) {
        check.start = end;
        check.start_replaced = true;
    } else if (end_bad) {
        check.end = start;
        check.end_replaced = true;
    }
    if (prefix_of(check.start) != prefix_of(check.end))
        check.outcome = RangeCheck::PrefixMismatch;
    else if (order_check && last_number(check.end) < last_number(check.start))
        check.outcome = RangeCheck::EndBeforeStart;
    return check;
}

std::string time_zone_text(int index) {
    char text[32];
    if (index < 13)
        std::snprintf(text, sizeof text, "UTC:-%02d:00", 12 - index);
    else
        std::snprintf(text, sizeof text, "UTC:+%02d:00", index - 12);
    return text;
}

int time_zone_seconds(int index) { return (index - 12) * 3600; }
