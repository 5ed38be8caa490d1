#pragma once

#include <string>

// ONVIF devices take their time zone as a POSIX TZ text, whose offset counts
// hours WEST of Greenwich: UTC+08:00 is "UTC-8", UTC-05:00 is "UTC5".
namespace onvif {

// The TZ text for a zone `seconds_east` of UTC ("UTC-8", "UTC5:30", "UTC0").
std::string posix_tz_for_offset(int seconds_east);

}  // namespace onvif
