#include "runtime/ini_file.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string_view>

namespace {

// Language files are a few kilobytes; anything past this is not read.
constexpr std::size_t kMaxFileBytes = 4u << 20;

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

constexpr std::uint32_t kReplacement = 0xFFFD;

// Length of a valid UTF-8 sequence at s[i], or 0 when it is not valid.
std::size_t valid_utf8_at(std::string_view s, std::size_t i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b = byte(i);
    if (b < 0x80) return 1;
    std::size_t len;
    std::uint32_t cp, min;
    if ((b & 0xE0) == 0xC0) { len = 2; cp = b & 0x1F; min = 0x80; }
    else if ((b & 0xF0) == 0xE0) { len = 3; cp = b & 0x0F; min = 0x800; }
    else if ((b & 0xF8) == 0xF0) { len = 4; cp = b & 0x07; min = 0x10000; }
    else return 0;
    if (i + len > s.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}


std::string decode_utf16le(std::string_view s) {
    std::string out;
    auto unit = [&](std::size_t k) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(s[k]) |
                                          (static_cast<unsigned char>(s[k + 1]) << 8));
    };
    for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
        std::uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < s.size()) {
            std::uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        append_utf8(out, (u >= 0xD800 && u <= 0xDFFF) ? kReplacement : u);
    }
    return out;
}

std::string_view trim(std::string_view s) {
    const char* blanks = " \t\r\n\v\f";
    std::size_t b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos) return {};
    std::size_t e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

bool same_name(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string read_file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return {};
    std::streamoff size = in.tellg();
    if (size <= 0) return {};  // empty, or not a regular file
    in.seekg(0);
    std::string bytes(std::min<std::size_t>(static_cast<std::size_t>(size), kMaxFileBytes), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

// Finds the key in the first section of that name; false when absent.
bool find_value(std::string_view text, std::string_view section, std::string_view key, std::string_view& value) {
    bool in_section = false, seen_section = false;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            if (in_section) return false;  // the first section of that name has ended
            std::size_t close = line.find(']');
            std::string_view name = trim(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
            in_section = !seen_section && same_name(name, section);
            seen_section = seen_section || in_section;
            continue;
        }
        if (!in_section) continue;
        std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        if (same_name(trim(line.substr(0, eq)), key)) {
            value = trim(line.substr(eq + 1));
            return true;
        }
    }
    return false;
}

}  // namespace

std::string sanitize_utf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        std::size_t len = valid_utf8_at(s, i);
        if (len == 0) {
            append_utf8(out, kReplacement);
            ++i;
        } else {
            out.append(s.substr(i, len));
            i += len;
        }
    }
    return out;
}

std::string ini_decode_text(const std::string& bytes) {
    std::string_view s(bytes);
    if (s.size() >= 2 && static_cast<unsigned char>(s[0]) == 0xFF && static_cast<unsigned char>(s[1]) == 0xFE)
        return decode_utf16le(s.substr(2));
    if (s.size() >= 3 && s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
    return sanitize_utf8(s);
}

std::string utf8_cut_chars(const std::string& text, std::size_t max_chars) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (chars++ == max_chars) return text.substr(0, i);
    }
    return text;
}

std::string utf8_cut_bytes(const std::string& text, std::size_t max_bytes) {
    if (text.size() <= max_bytes) return text;
    std::size_t end = max_bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

std::string ini_read_string(const std::string& path, const std::string& section, const std::string& key,
                            const std::string& fallback, std::size_t max_chars) {
    std::string text = ini_decode_text(read_file_bytes(path));
    std::string_view value;
    if (!find_value(text, section, key, value)) return utf8_cut_chars(fallback, max_chars);
    return utf8_cut_chars(std::string(value), max_chars);
}
