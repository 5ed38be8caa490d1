#include "factory_test/device_rows.h"

#include <cstdio>
#include <cstring>

namespace {
std::string text_of(const char* field) { return std::string(field, strnlen(field, DEV_TEXT_SIZE)); }
}  // namespace

bool bench_lists_device_type(std::int32_t type) { return type == 2 || type == 19 || type >= 200; }

bool DeviceRows::apply(const DEV_INFO& record, bool is_new) {
    const std::string mac = text_of(record.mac_address);
    std::lock_guard<std::mutex> guard(m_lock);
    BenchDeviceRow* row = nullptr;
    for (BenchDeviceRow& candidate : m_rows)
        if (candidate.mac == mac) {
            row = &candidate;
            break;
        }
    if (!row) {
        if (!is_new) return false;
        char number[16];
        std::snprintf(number, sizeof(number), "%02d", static_cast<int>(m_rows.size()) + 1);
        row = &m_rows.emplace_back(BenchDeviceRow{number, mac, "", "", ""});
    }
    char board[16];
    std::snprintf(board, sizeof(board), "0x%x", static_cast<unsigned>(record.board_type));
    row->ip = text_of(record.ip_address);
    row->version = text_of(record.software_ver);
    row->board = board;
    return true;
}

void DeviceRows::clear() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_rows.clear();
}

std::vector<BenchDeviceRow> DeviceRows::rows() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_rows;
}

BenchDeviceRow DeviceRows::row(int index) const {
    std::lock_guard<std::mutex> guard(m_lock);
    return index >= 0 && index < static_cast<int>(m_rows.size()) ? m_rows[static_cast<std::size_t>(index)]
                                                                   : BenchDeviceRow{};
}

int DeviceRows::count() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return static_cast<int>(m_rows.size());
}
