#pragma once

#include <optional>
#include <string_view>

// A POSIX TZ text ("CST-8", "EST5EDT,M3.2.0,M11.1.0", "<+0330>-3:30"), as
// IEEE 1003.1 section 8.3 writes it and ONVIF's SetSystemDateAndTime takes
// it. The camera refuses anything else, and shows its local time by the
// standard offset (daylight saving rules are checked, not applied).
//
// Returns the standard time's offset from UTC in seconds, east positive (so
// "CST-8" gives +28800: POSIX counts west), or nothing for a malformed text.
std::optional<int> posix_tz_utc_offset_s(std::string_view tz);
