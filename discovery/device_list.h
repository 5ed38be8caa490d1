#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "discovery/dev_info.h"

// The MAC text of a record, as the key every lookup uses (at most
// DEV_TEXT_SIZE bytes, up to the first NUL).
std::string mac_key(const char* mac);

// The discovered devices: one record per MAC in order of first arrival,
// found by MAC in constant time, and at most `capacity` of them, so that a
// host inventing MACs can neither grow it without end nor make each reply
// cost a walk through the list. Not thread-safe; the facade locks it.
class DeviceList {
public:
    enum class Merge { unchanged, changed, added, full };

    explicit DeviceList(std::size_t capacity) : m_capacity(capacity) {}

    // A record of a listed MAC replaces the listed one in place (unchanged
    // when byte for byte equal); a new MAC is appended while there is room,
    // else left out (full).
    Merge merge(const DEV_INFO& record);
    // The listed record of this MAC, or null; valid until the next change.
    DEV_INFO* find(const std::string& mac);
    bool contains(const std::string& mac) const { return m_index.count(mac) != 0; }
    const std::vector<DEV_INFO>& records() const { return m_records; }
    std::size_t size() const { return m_records.size(); }
    void clear();

private:
    std::size_t m_capacity;
    std::vector<DEV_INFO> m_records;
    std::unordered_map<std::string, std::size_t> m_index;  // MAC -> position in m_records
};
