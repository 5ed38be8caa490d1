#include "cli/terminal_text.h"

#include <utf8proc.h>

#include <cstdio>

namespace {

void append_escape(std::string& out, const char* format, unsigned value) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, format, value);
    out += escaped;
}

// Control characters drive the terminal; format characters (bidi overrides,
// zero-width marks) and line or paragraph separators would disguise or
// reorder what is shown.
bool shown_escaped(utf8proc_int32_t code) {
    switch (utf8proc_category(code)) {
        case UTF8PROC_CATEGORY_CC:
        case UTF8PROC_CATEGORY_CF:
        case UTF8PROC_CATEGORY_ZL:
        case UTF8PROC_CATEGORY_ZP: return true;
        default: return false;
    }
}

}  // namespace

std::string terminal_text(std::string_view text) {
    std::string out;
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    utf8proc_ssize_t left = static_cast<utf8proc_ssize_t>(text.size());
    while (left > 0) {
        utf8proc_int32_t code = 0;
        utf8proc_ssize_t length = utf8proc_iterate(bytes, left, &code);
        if (length < 0) {
            append_escape(out, "\\x%02x", *bytes);
            length = 1;
        } else if (code == '\\') {
            out += "\\\\";
        } else if (shown_escaped(code)) {
            append_escape(out, code < 0x80 ? "\\x%02x" : "\\u%04x", static_cast<unsigned>(code));
        } else {
            out.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
        }
        bytes += length;
        left -= length;
    }
    return out;
}
