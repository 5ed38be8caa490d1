#pragma once

#include <ctime>

#include "client/kaltro_client.h"

// Writes the host's local time into the date and time fields of a time
// record, leaving the device's own fields as they are.
inline void device_time_set_now(DEVICE_TIME& record) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    record.year = local.tm_year + 1900;
    record.month = local.tm_mon + 1;
    record.day = local.tm_mday;
    record.hour = local.tm_hour;
    record.minute = local.tm_min;
    record.second = local.tm_sec;
}
