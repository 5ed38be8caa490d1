#pragma once

#include <cstddef>
#include <string>

// Cuts UTF-8 text to at most max_bytes bytes without splitting a character.
std::string cut_utf8(const std::string& text, std::size_t max_bytes);

// Reads a decimal number the C library way: leading blanks and a sign are
// allowed, reading stops at the first non-digit, no digits give 0.
int leading_number(const std::string& text);

// Is the UID safe inside the device's shell line "echo <uid> >/config/tuya.cfg"?
// Only letters, digits, '-', '_' and '.', 1 to 100 of them: nothing the shell
// would read as a separator, redirection, quote, expansion or comment.
bool uid_is_shell_safe(const std::string& uid);

// A time server as a job takes it: a dotted IPv4 address (other than
// 255.255.255.255) or a DNS name (letters, digits, '-' and '.', at most 253,
// not starting with '.' or '-').
bool is_host_name_or_ip(const std::string& text);
