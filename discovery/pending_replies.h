#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>

#include "discovery/dev_info.h"

// Replies waiting between the receiving thread and the merge thread, in
// arrival order, at most one per MAC: a later reply of a waiting MAC takes
// the place of the earlier one, since only the latest state gets listed.
// New MACs are taken up to `new_mac_limit` waiting records; a reply of a
// MAC the caller says is listed is always taken, so a flood of invented
// MACs cannot crowd out the devices already found (their number is capped
// by the device list, so the queue stays bounded). Not thread-safe.
class PendingReplies {
public:
    explicit PendingReplies(std::size_t new_mac_limit) : m_new_mac_limit(new_mac_limit) {}

    // false: the queue is full and the MAC is neither waiting nor listed.
    bool push(const DEV_INFO& record, bool listed);
    bool pop(DEV_INFO* record);
    bool full() const { return m_records.size() >= m_new_mac_limit; }
    std::size_t size() const { return m_records.size(); }
    void clear();

private:
    std::size_t m_new_mac_limit;
    std::deque<DEV_INFO> m_records;
    // MAC -> sequence number of its waiting record; its position in
    // m_records is that number less m_popped.
    std::unordered_map<std::string, std::uint64_t> m_waiting;
    std::uint64_t m_popped = 0;
};
