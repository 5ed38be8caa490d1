#include "factory_test/device_rows.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {
std::string text_of(const char* field) { return std::string(field, strnlen(field, DEV_TEXT_SIZE)); }
}  // namespace

bool bench_lists_device_type(std::int32_t type) { return type == 2 || type == 19 || type >= 200; }

BenchDeviceRow* DeviceRows::find_or_add(const std::string& key, std::uint64_t search_id, bool is_new) {
    for (BenchDeviceRow& candidate : m_rows)
        if ((search_id != 0 && candidate.search_id == search_id) || candidate.mac == key) return &candidate;
    if (!is_new) return nullptr;
    char number[16];
    std::snprintf(number, sizeof(number), "%02d", static_cast<int>(m_rows.size()) + 1);
    BenchDeviceRow& row = m_rows.emplace_back();
    row.number = number;
    row.mac = key;
    return &row;
}

bool DeviceRows::apply_onvif(const FoundCamera& camera, bool is_new) {
    std::lock_guard<std::mutex> guard(m_lock);
    BenchDeviceRow* row = find_or_add(camera.key, camera.id, is_new);
    // A camera listed as native stays so: the native login reaches more of it.
    if (!row || (row->protocol == DeviceProtocol::native && !row->ip.empty())) return false;
    row->mac = camera.key;
    row->ip = camera.ip;
    row->version = camera.software_ver;
    // Where a native device shows its board type, the protocol and the
    // model tell the camera apart.
    row->board = camera.model.empty() ? "ONVIF" : "ONVIF " + camera.model;
    row->protocol = DeviceProtocol::onvif;
    row->search_id = camera.id;
    row->xaddr = camera.xaddr;
    row->model = camera.model;
    return true;
}

bool DeviceRows::forget_onvif(std::uint64_t search_id) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = std::find_if(m_rows.begin(), m_rows.end(), [search_id](const BenchDeviceRow& row) {
        return row.protocol == DeviceProtocol::onvif && row.search_id == search_id;
    });
    if (it == m_rows.end()) return false;
    m_rows.erase(it);
    return true;
}

bool DeviceRows::apply(const DEV_INFO& record, bool is_new) {
    const std::string mac = text_of(record.mac_address);
    std::lock_guard<std::mutex> guard(m_lock);
    BenchDeviceRow* row = find_or_add(mac, 0, is_new);
    if (!row) return false;
    if (row->protocol != DeviceProtocol::native) {
        BenchDeviceRow native;  // nothing of the ONVIF row stays but its place
        native.number = row->number;
        native.mac = mac;
        *row = std::move(native);
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
