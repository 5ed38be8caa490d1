#pragma once

#include <optional>
#include <string>

// The version stored in a firmware file's header: "%d.%d.%d" of the three
// signed 32-bit little-endian integers at bytes 32, 36 and 40 of its first
// 456 bytes. Nothing when the file cannot be read or is shorter than 456 bytes.
std::optional<std::string> firmware_file_version(const std::string& path);

// 1 when the firmware file's version is a prefix of version_text, else 0; a
// file without a readable version never matches.
int firmware_version_matches(const std::string& path, const std::string& version_text);
