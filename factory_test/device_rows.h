#pragma once

// The test bench's device list as data: the rows the dialog shows, kept by
// the discovery thread and read by the auto-show worker and the window.
// Thread-safe; the list widget mirrors it.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "discovery/dev_info.h"

struct BenchDeviceRow {
    std::string number;  // "%02d" in order of arrival, from 1
    std::string mac;     // the row's key
    std::string ip;
    std::string version;
    std::string board;   // board type as "0x%x"
};

// Device types the bench lists: 2, 19, and 200 and above.
bool bench_lists_device_type(std::int32_t type);

class DeviceRows {
public:
    // A device updates the row with its MAC; a new one without such a row
    // appends one, a changed one without it changes nothing. A device
    // reported new twice (discovery empties its own list at every search,
    // while a reply merged just before stays in the rows) keeps one row.
    // False when nothing changed.
    bool apply(const DEV_INFO& record, bool is_new);
    void clear();
    std::vector<BenchDeviceRow> rows() const;
    // Row `index`, or an empty row when there is none.
    BenchDeviceRow row(int index) const;
    int count() const;

private:
    mutable std::mutex m_lock;
    std::vector<BenchDeviceRow> m_rows;
};
