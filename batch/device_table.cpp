#include "batch/device_table.h"

#include <cstdio>

#include "batch/job_report.h"
#include "runtime/lang.h"
#include "runtime/trace.h"

namespace {

std::string format_int(const char* format, long long value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The BID column of an ONVIF camera: the protocol, where a native device
// shows its board type, and the model, which tells the camera apart as the
// board type does.
std::string onvif_mark(const ListedDevice& device) {
    return device.model.empty() ? "ONVIF" : "ONVIF " + device.model;
}

void write_columns(DeviceRow& row, const ListedDevice& device) {
    bool onvif = device.protocol == DeviceProtocol::onvif;
    if (!device.mac.empty()) row.mac = device.mac;
    row.ip = device.ip;
    row.port = format_int("%lld", device.cmd_port);
    row.version = device.software_ver;
    row.bid = onvif ? onvif_mark(device) : format_int("0x%llx", device.board_type);
    row.group1 = !onvif && CDeviceTable::is_group1_type(device.device_type) ? 1 : 0;
    row.protocol = device.protocol;
    row.endpoint = onvif ? device.endpoint : std::string();
    row.xaddr = onvif ? device.xaddr : std::string();
    row.note = device.note;
    row.mask = device.mask;
    row.gateway = device.gateway;
}

std::optional<PlannedValues> planned_copy(const PlannedByMac& plan, const std::string& mac) {
    const PlannedValues* planned = planned_for(plan, mac);
    return planned ? std::optional<PlannedValues>(*planned) : std::nullopt;
}

}  // namespace

CDeviceTable::CDeviceTable(TextLookup lookup) : m_lookup(std::move(lookup)) {
    if (!m_lookup) m_lookup = [](const std::string& key) { return lang_string(lang_default_file(), key); };
}

void CDeviceTable::set_change_notifier(std::function<void(int row)> notifier) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_notifier = std::move(notifier);
}

void CDeviceTable::notify(int row) const {
    std::function<void(int)> notifier;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        notifier = m_notifier;
    }
    if (notifier) notifier(row);
}

bool CDeviceTable::is_group1_type(std::int32_t device_type) {
    return device_type >= 200 || device_type == 2 || device_type == 19;
}

DeviceRow* CDeviceTable::find_device(const ListedDevice& device) {
    for (DeviceRow& r : m_rows) {
        if (!device.mac.empty() && r.mac == device.mac) return &r;
        if (!device.endpoint.empty() && r.endpoint == device.endpoint) return &r;
    }
    return nullptr;
}

int CDeviceTable::update_dev_find_list(const ListedDevice& device, bool is_new) {
    if (device.protocol == DeviceProtocol::native && device.device_type < 1)
        TRACE_MSG("CDeviceTable::update_dev_find_list", "unknown device type: %d\n", device.device_type);
    // A native device without a version runs firmware too old to tell it;
    // an ONVIF camera without one is one whose login failed, which its note
    // says: "upgrade first" would send the user the wrong way.
    const bool needs_upgrade = device.software_ver.empty() && device.protocol == DeviceProtocol::native;
    std::string need_update_text;
    if (needs_upgrade) need_update_text = m_lookup("IDS_NEED_UPDATE_FIRST");
    int changed = -1;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        DeviceRow* row = find_device(device);
        if (row == nullptr && is_new) {
            if (static_cast<int>(m_rows.size()) >= kMaxRows) {
                TRACE_MSG("CDeviceTable::update_dev_find_list", "device list full (%d rows), %s not listed\n",
                          kMaxRows, device.mac.empty() ? device.endpoint.c_str() : device.mac.c_str());
                return 0;
            }
            DeviceRow added;
            added.index = format_int("%02lld", static_cast<long long>(m_rows.size()) + 1);
            m_rows.push_back(std::move(added));
            row = &m_rows.back();
        }
        if (row == nullptr) return 0;
        write_columns(*row, device);
        // An ONVIF camera is listed before its MAC is known: a plan finds it
        // once its login has told the MAC.
        if (!row->planned && !row->mac.empty()) {
            row->planned = planned_copy(m_plan, row->mac);
            if (row->planned) row->checked = true;
        }
        if (needs_upgrade) row->results[COL_UPGRADE - COL_NETWORK] = need_update_text;
        changed = static_cast<int>(row - m_rows.data());
    }
    notify(changed);
    return 0;
}

void CDeviceTable::clear() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_rows.clear();
    }
    notify(-1);
}

void CDeviceTable::set_plan(PlannedByMac plan) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_plan = std::move(plan);
        for (DeviceRow& row : m_rows) {
            row.planned = planned_copy(m_plan, row.mac);
            if (!m_plan.empty()) row.checked = row.planned.has_value();
        }
    }
    notify(-1);
}

bool CDeviceTable::has_plan() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return !m_plan.empty();
}

int CDeviceTable::row_count() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return static_cast<int>(m_rows.size());
}

std::optional<DeviceRow> CDeviceTable::row(int index) const {
    std::lock_guard<std::mutex> guard(m_lock);
    if (index < 0 || index >= static_cast<int>(m_rows.size())) return std::nullopt;
    return m_rows[index];
}

std::vector<DeviceRow> CDeviceTable::rows() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_rows;
}

DeviceRow* CDeviceTable::find_row(int index) {
    if (index < 0 || index >= static_cast<int>(m_rows.size())) return nullptr;
    return &m_rows[index];
}

void CDeviceTable::set_checked(int index, bool checked) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        DeviceRow* row = find_row(index);
        if (row == nullptr) return;
        row->checked = checked;
    }
    notify(index);
}

void CDeviceTable::select_all() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (DeviceRow& row : m_rows) row.checked = true;
    }
    notify(-1);
}

void CDeviceTable::select_invert() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (DeviceRow& row : m_rows) row.checked = !row.checked;
    }
    notify(-1);
}

int CDeviceTable::checked_count() const {
    std::lock_guard<std::mutex> guard(m_lock);
    int count = 0;
    for (const DeviceRow& row : m_rows) count += row.checked ? 1 : 0;
    return count;
}

std::vector<std::string> CDeviceTable::listed_ips() const {
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<std::string> ips;
    for (const DeviceRow& row : m_rows) ips.push_back(row.ip);
    return ips;
}

std::string CDeviceTable::ip_of(int index) const {
    std::optional<DeviceRow> r = row(index);
    return r ? r->ip : std::string();
}

std::string CDeviceTable::version_of(int index) const {
    std::optional<DeviceRow> r = row(index);
    return r ? r->version : std::string();
}

std::int32_t CDeviceTable::group1_of(int index) const {
    std::lock_guard<std::mutex> guard(m_lock);
    return index >= 0 && index < static_cast<int>(m_rows.size()) ? m_rows[index].group1 : 0;
}

void CDeviceTable::apply_status(int index, int code) {
    if (code < 0 || code >= kStatusCount) return;
    StatusEffect effect = status_effect(code);
    std::string message = effect.message_key ? m_lookup(effect.message_key) : std::string();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        DeviceRow* row = find_row(index);
        if (row == nullptr) return;
        row->last_status = code;
        if (code == kStatusClearRow) {
            for (std::string& cell : row->results) cell = kMarkBlank;
        } else {
            if (effect.column >= 0) row->results[effect.column - COL_NETWORK] = effect.mark;
            if (effect.message_key) row->results[COL_STATUS - COL_NETWORK] = message;
        }
    }
    notify(index);
}

void CDeviceTable::set_result(int index, int column, const std::string& text) {
    if (column < COL_NETWORK || column > COL_STATUS) return;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        DeviceRow* row = find_row(index);
        if (row == nullptr) return;
        row->results[column - COL_NETWORK] = text;
    }
    notify(index);
}

void CDeviceTable::set_version(int index, const std::string& version) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        DeviceRow* row = find_row(index);
        if (row == nullptr) return;
        row->version = version;
    }
    notify(index);
}
