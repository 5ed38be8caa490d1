#include "batch/text_limits.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

std::string cut_utf8(const std::string& text, std::size_t max_bytes) {
    if (text.size() <= max_bytes) return text;
    std::size_t end = max_bytes;
    // Step back over continuation bytes (10xxxxxx) to a character start.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

int leading_number(const std::string& text) {
    return std::atoi(text.c_str());
}

bool uid_is_shell_safe(const std::string& uid) {
    if (uid.empty() || uid.size() > 100) return false;
    return std::all_of(uid.begin(), uid.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
               c == '_' || c == '.';
    });
}

bool is_host_name_or_ip(const std::string& text) {
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) == 1) return address.s_addr != 0xFFFFFFFFu;
    if (text.empty() || text.size() > 253 || text.front() == '.' || text.front() == '-') return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-';
    });
}
