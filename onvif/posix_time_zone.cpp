#include "onvif/posix_time_zone.h"

#include <cstdio>
#include <cstdlib>

namespace onvif {

std::string posix_tz_for_offset(int seconds_east) {
    int west = -seconds_east;
    int magnitude = std::abs(west);
    int hours = magnitude / 3600;
    int minutes = magnitude % 3600 / 60;
    char text[24];
    const char* sign = west < 0 ? "-" : "";
    if (minutes == 0)
        std::snprintf(text, sizeof text, "UTC%s%d", sign, hours);
    else
        std::snprintf(text, sizeof text, "UTC%s%d:%02d", sign, hours, minutes);
    return text;
}

}  // namespace onvif
