#include "cli/fleet_list.h"

#include <algorithm>

#include "batch/discovery_link.h"

namespace {

const std::string& key_of(const ListedDevice& device) { return device.key.empty() ? device.mac : device.key; }

}  // namespace

int FleetList::feed(DEV_INFO* record, int /*is_new*/, void* fleet) {
    static_cast<FleetList*>(fleet)->add(listed_device_from(*record));
    return 0;
}

void FleetList::add(const ListedDevice& device) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto [found, added] = m_index.try_emplace(key_of(device), m_devices.size());
    if (added)
        m_devices.push_back(device);
    else
        m_devices[found->second] = device;
    // Under the lock, so end_wave() never returns while a row is written.
    if (m_wave != nullptr && m_wave_keys.count(key_of(device)) != 0) m_wave->update_dev_find_list(device, false);
}

int FleetList::size() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return static_cast<int>(m_devices.size());
}

std::vector<ListedDevice> FleetList::devices() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_devices;
}

void FleetList::begin_wave(CDeviceTable& table, const std::vector<ListedDevice>& wave) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_wave = &table;
    m_wave_keys.clear();
    for (const ListedDevice& device : wave) {
        // Listed as the search knows it now: the selection may be older.
        auto found = m_index.find(key_of(device));
        table.update_dev_find_list(found == m_index.end() ? device : m_devices[found->second], true);
        m_wave_keys.insert(key_of(device));
    }
    table.select_all();
}

void FleetList::end_wave() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_wave = nullptr;
    m_wave_keys.clear();
}

std::vector<std::vector<ListedDevice>> split_into_waves(const std::vector<ListedDevice>& devices, int size) {
    std::vector<std::vector<ListedDevice>> waves;
    const std::size_t step = static_cast<std::size_t>(std::max(size, 1));
    for (std::size_t first = 0; first < devices.size(); first += step) {
        const std::size_t last = std::min(devices.size(), first + step);
        waves.emplace_back(devices.begin() + static_cast<std::ptrdiff_t>(first),
                           devices.begin() + static_cast<std::ptrdiff_t>(last));
    }
    return waves;
}
