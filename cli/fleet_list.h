#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "batch/device_table.h"
#include "discovery/dev_info.h"

// Every device the search lists, without the device table's limit: the
// command line works on more devices than one job takes, one wave after the
// other. While a wave runs, what discovery hears of the wave's devices also
// reaches the wave's table (the verdict of an upgrade reads the version
// discovery lists after the reboot).
class FleetList {
public:
    // The discovery callback; user data is the FleetList. Runs on
    // discovery's merge thread.
    static int feed(DEV_INFO* record, int is_new, void* fleet);
    void add(const ListedDevice& device);

    int size() const;
    std::vector<ListedDevice> devices() const;  // in the order they were first heard

    // Lists `wave` in `table` (checked, in this order) and keeps the rows
    // current until end_wave(). The table must outlive the wave.
    void begin_wave(CDeviceTable& table, const std::vector<ListedDevice>& wave);
    void end_wave();

private:
    mutable std::mutex m_lock;
    std::vector<ListedDevice> m_devices;
    std::map<std::string, std::size_t> m_index;  // key (else MAC) -> position in m_devices
    CDeviceTable* m_wave = nullptr;
    std::set<std::string> m_wave_keys;
};

// The waves of a selection: consecutive groups of at most `size` devices.
std::vector<std::vector<ListedDevice>> split_into_waves(const std::vector<ListedDevice>& devices, int size);
