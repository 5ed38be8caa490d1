#include "discovery/pending_replies.h"

#include "discovery/device_list.h"

bool PendingReplies::push(const DEV_INFO& record, bool listed) {
    std::string mac = mac_key(record.mac_address);
    auto waiting = m_waiting.find(mac);
    if (waiting != m_waiting.end()) {
        m_records[waiting->second - m_popped] = record;
        return true;
    }
    if (full() && !listed) return false;
    m_waiting.emplace(std::move(mac), m_popped + m_records.size());
    m_records.push_back(record);
    return true;
}

bool PendingReplies::pop(DEV_INFO* record) {
    if (m_records.empty()) return false;
    *record = m_records.front();
    m_records.pop_front();
    m_waiting.erase(mac_key(record->mac_address));
    ++m_popped;
    return true;
}

void PendingReplies::clear() {
    m_records.clear();
    m_popped = 0;
    m_waiting.clear();
}
