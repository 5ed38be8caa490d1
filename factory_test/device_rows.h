#pragma once

// The test bench's device list as data: the rows the dialog shows, kept by
// the discovery thread and read by the auto-show worker and the window.
// Thread-safe; the list widget mirrors it.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "discovery/dev_info.h"
#include "search/found_camera.h"

struct BenchDeviceRow {
    std::string number;  // "%02d" in order of arrival, from 1
    std::string mac;     // the row's key: the MAC, or an ONVIF camera's endpoint while its MAC is unknown
    std::string ip;
    std::string version;
    std::string board;   // board type as "0x%x"; "ONVIF <model>" for an ONVIF camera
    DeviceProtocol protocol = DeviceProtocol::native;
    // ONVIF only.
    std::uint64_t search_id = 0;  // the camera search's row
    std::string xaddr;            // its device service
    std::string model;
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
    // An ONVIF camera of the combined search: its row is the one of the
    // same search row (or, failing that, key); otherwise as for a native device.
    bool apply_onvif(const FoundCamera& camera, bool is_new);
    // Drops the ONVIF row of that search row (it turned out native); false
    // when there is none.
    bool forget_onvif(std::uint64_t search_id);
    void clear();
    std::vector<BenchDeviceRow> rows() const;
    // Row `index`, or an empty row when there is none.
    BenchDeviceRow row(int index) const;
    int count() const;

private:
    // Under m_lock: the row of `search_id` (0: none) or `key`; a new one
    // when none is and `is_new`, else null.
    BenchDeviceRow* find_or_add(const std::string& key, std::uint64_t search_id, bool is_new);

    mutable std::mutex m_lock;
    std::vector<BenchDeviceRow> m_rows;
};
