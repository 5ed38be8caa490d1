#pragma once

#include <optional>
#include <string>

// The version stored in a firmware file's header: "%d.%d.%d" of the three
// signed 32-bit little-endian integers at bytes 32, 36 and 40 of its first
// 456 bytes. Nothing when the file cannot be read, is not a regular file or
// is shorter than 456 bytes.
std::optional<std::string> firmware_file_version(const std::string& path);

// The version of a file in the native firmware format (its header sound:
// magic, format and header hash); nothing for any other file, whose bytes
// may be anything, a version field included.
std::optional<std::string> native_firmware_version(const std::string& path);

// True when a device's version text (as listed) starts with the firmware's
// version.
bool version_listed_matches(const std::string& firmware_version, const std::string& version_text);
