#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Texts of the files the tools write for people and spreadsheets (job
// reports, record exports).

// One CSV field (RFC 4180): valid UTF-8 (stray bytes become U+FFFD), quoted
// when it holds a comma, quote or line break. A field that a spreadsheet
// would run as a formula (starting with = + - @, tab or CR) gets a leading
// apostrophe, so device texts stay text.
std::string csv_field(const std::string& text);

// The fields joined by commas, ending in CR LF.
std::string csv_line(const std::vector<std::string>& fields);

// ISO 8601 in local time with the zone's offset, "2024-05-01T14:03:27+08:00";
// "" for 0 or less. `ms` counts from the epoch.
std::string iso_local_time(std::int64_t ms);
