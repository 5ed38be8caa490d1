#pragma once

#include <string>
#include <string_view>

// Reads one value from an INI file with the rules of the classic private
// profile functions: section and key names compare case-insensitively, the
// first matching section and the first matching key in it win, names and
// values are trimmed of blanks, lines starting with ';' are comments, and the
// value is returned as written (no quotes or escapes interpreted).
// The file may be UTF-8 (with or without BOM) or UTF-16LE with BOM; the result
// is UTF-8, with invalid sequences replaced by U+FFFD. A missing file, section
// or key gives `fallback`. The value is cut to at most max_chars characters.
std::string ini_read_string(const std::string& path, const std::string& section, const std::string& key,
                            const std::string& fallback, std::size_t max_chars);

// Decodes a whole file's bytes to UTF-8 text as above (BOM removed).
std::string ini_decode_text(const std::string& bytes);

// The text with every byte that is not part of a valid UTF-8 sequence
// replaced by U+FFFD.
std::string sanitize_utf8(std::string_view text);

// Cuts UTF-8 text to at most max_chars code points.
std::string utf8_cut_chars(const std::string& text, std::size_t max_chars);

// Cuts UTF-8 text to at most max_bytes bytes without splitting a character.
std::string utf8_cut_bytes(const std::string& text, std::size_t max_bytes);
