#include "discovery/device_list.h"

#include <cstring>

std::string mac_key(const char* mac) { return std::string(mac, strnlen(mac, DEV_TEXT_SIZE)); }

DeviceList::Merge DeviceList::merge(const DEV_INFO& record) {
    std::string mac = mac_key(record.mac_address);
    auto found = m_index.find(mac);
    if (found != m_index.end()) {
        DEV_INFO& listed = m_records[found->second];
        if (std::memcmp(&listed, &record, sizeof record) == 0) return Merge::unchanged;
        listed = record;
        return Merge::changed;
    }
    if (m_records.size() >= m_capacity) return Merge::full;
    m_index.emplace(std::move(mac), m_records.size());
    m_records.push_back(record);
    return Merge::added;
}

DEV_INFO* DeviceList::find(const std::string& mac) {
    auto found = m_index.find(mac);
    return found == m_index.end() ? nullptr : &m_records[found->second];
}

void DeviceList::clear() {
    m_records.clear();
    m_index.clear();
}
