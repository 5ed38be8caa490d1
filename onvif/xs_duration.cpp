#include "onvif/xs_duration.h"

#include <array>

namespace onvif {

namespace {

constexpr std::int64_t kSecondMs = 1000;
constexpr std::int64_t kDayMs = 24 * 3600 * kSecondMs;
// Far beyond any wait a device could mean (about 300 years), and far
// inside int64 milliseconds.
constexpr std::int64_t kMaxTotalMs = 10'000'000'000'000;

struct Unit {
    char designator;
    std::int64_t ms;
    bool time_part;  // after the 'T'
};

// In the order the grammar allows them.
constexpr std::array<Unit, 6> kUnits = {{
    {'Y', 365 * kDayMs, false},
    {'M', 30 * kDayMs, false},
    {'D', kDayMs, false},
    {'H', 3600 * kSecondMs, true},
    {'M', 60 * kSecondMs, true},
    {'S', kSecondMs, true},
}};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads the digits at the front of `text` into *value; false when there are
// none or too many.
bool read_integer(std::string_view* text, std::int64_t* value) {
    std::size_t n = 0;
    *value = 0;
    while (n < text->size() && is_digit((*text)[n])) {
        *value = *value * 10 + ((*text)[n] - '0');
        if (*value > kMaxTotalMs) return false;
        ++n;
    }
    text->remove_prefix(n);
    return n > 0;
}

// The ".fff" after a number of seconds, as milliseconds; *present tells
// whether there was one.
bool read_fraction_ms(std::string_view* text, std::int64_t* ms, bool* present) {
    *ms = 0;
    *present = !text->empty() && text->front() == '.';
    if (!*present) return true;
    text->remove_prefix(1);
    std::size_t n = 0;
    std::int64_t scale = 100;
    while (n < text->size() && is_digit((*text)[n])) {
        *ms += ((*text)[n] - '0') * scale;
        scale /= 10;
        ++n;
    }
    text->remove_prefix(n);
    return n > 0;
}

}  // namespace

std::optional<std::int64_t> parse_xs_duration(std::string_view text) {
    bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    if (text.empty() || text.front() != 'P') return std::nullopt;
    text.remove_prefix(1);
    std::int64_t total = 0;
    std::size_t next_unit = 0;
    bool in_time = false;
    int components = 0;
    int time_components = 0;
    while (!text.empty()) {
        if (text.front() == 'T' && !in_time) {
            in_time = true;
            text.remove_prefix(1);
            while (next_unit < kUnits.size() && !kUnits[next_unit].time_part) ++next_unit;
            continue;
        }
        std::int64_t value = 0;
        if (!read_integer(&text, &value)) return std::nullopt;
        std::int64_t fraction_ms = 0;
        bool has_fraction = false;
        if (in_time && !read_fraction_ms(&text, &fraction_ms, &has_fraction)) return std::nullopt;
        if (text.empty()) return std::nullopt;
        char designator = text.front();
        text.remove_prefix(1);
        while (next_unit < kUnits.size() && (kUnits[next_unit].time_part != in_time ||
                                             kUnits[next_unit].designator != designator))
            ++next_unit;
        if (next_unit == kUnits.size()) return std::nullopt;
        const Unit& unit = kUnits[next_unit++];
        if (has_fraction && unit.designator != 'S') return std::nullopt;
        if (value > (kMaxTotalMs - total) / unit.ms) return std::nullopt;
        total += value * unit.ms + fraction_ms;
        ++components;
        if (in_time) ++time_components;
    }
    if (components == 0 || (in_time && time_components == 0)) return std::nullopt;
    return negative ? -total : total;
}

}  // namespace onvif
