#include "factory_test/version_check.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

VersionParts parse_version(const std::string& text) {
    VersionParts parts{};
    std::size_t start = 0;
    for (std::size_t i = 0; i < parts.size() && start <= text.size(); ++i) {
        std::size_t end = text.find_first_of(".-", start);
        if (end == std::string::npos) end = text.size();
        parts[i] = static_cast<std::uint32_t>(std::atoi(text.substr(start, end - start).c_str()));
        start = end + 1;
    }
    return parts;
}

namespace {
// Characters, not bytes: the typed text is counted as the user sees it.
std::size_t character_count(const std::string& utf8) {
    std::size_t count = 0;
    for (unsigned char c : utf8)
        if ((c & 0xC0) != 0x80) ++count;
    return count;
}
}  // namespace

VersionVerdict check_version(const std::string& typed, const std::string& device_version) {
    const VersionParts t = parse_version(typed);
    const VersionParts d = parse_version(device_version);
    if (t[0] > d[0] || t[1] > d[1] || t[2] > d[2]) return VersionVerdict::TooHigh;
    if (t[0] < d[0] || t[1] < d[1] || t[2] < d[2]) return VersionVerdict::TooLow;
    char formatted[48];
    std::snprintf(formatted, sizeof(formatted), "%u.%u.%u", t[0], t[1], t[2]);
    return std::strncmp(formatted, device_version.c_str(), character_count(typed)) == 0 ? VersionVerdict::Normal
                                                                                         : VersionVerdict::Unconfirmed;
}
