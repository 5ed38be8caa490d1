#include "search/mac_text.h"

#include <cctype>

namespace {

bool is_hex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

std::optional<std::string> normalise_mac(std::string_view text) {
    // Digits per group: 12 (no separators), 2 ("aa:bb:..." or "aa-bb-..."),
    // 4 ("aabb.ccdd.eeff").
    const std::size_t group = text.size() == 12 ? 12 : text.size() == 17 ? 2 : text.size() == 14 ? 4 : 0;
    if (group == 0) return std::nullopt;
    std::string digits;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (group != 12 && i % (group + 1) == group) {
            if (group == 4 ? c != '.' : c != ':' && c != '-') return std::nullopt;
        } else if (is_hex(c)) {
            digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        } else {
            return std::nullopt;
        }
    }
    std::string out;
    for (std::size_t i = 0; i < digits.size(); i += 2) out += (i ? ":" : "") + digits.substr(i, 2);
    return out;
}

std::string mac_list_key(std::string_view text) { return normalise_mac(text).value_or(std::string(text)); }
