#pragma once

// The firmware version check of the test bench: a typed version against the
// version a camera reports.

#include <array>
#include <cstdint>
#include <string>

using VersionParts = std::array<std::uint32_t, 4>;

// Cuts `text` at each '.' and '-' into at most four parts, each read as a
// decimal number the way atoi reads (leading digits; none give 0). Parts the
// text does not reach stay 0.
VersionParts parse_version(const std::string& text);

enum class VersionVerdict {
    Normal,       // IDS_VERSION_NORMAL
    Unconfirmed,  // numbers agree but the texts differ: no line
    TooHigh,      // IDS_VERSION_ERROR: a typed part above the device's
    TooLow,       // UDS_INSERT_VERSION_LOW: a typed part below the device's
};

// Compares parts 0 to 2 one by one (any typed part above the device's wins
// over one below), then the typed version written as "%u.%u.%u" with the
// device's text over as many bytes as the typed text has characters.
VersionVerdict check_version(const std::string& typed, const std::string& device_version);

// Typed versions shorter than this many bytes are refused before a login.
constexpr std::size_t kMinTypedVersion = 5;
