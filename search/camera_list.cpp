#include "search/camera_list.h"

#include <arpa/inet.h>

#include <cstring>

#include "runtime/ini_file.h"
#include "runtime/trace.h"
#include "search/mac_text.h"

namespace {

std::string cut(const std::string& text) { return utf8_cut_bytes(text, CameraList::kMaxTextBytes); }

std::string mask_of(int prefix_length) {
    if (prefix_length <= 0 || prefix_length > 32) return {};
    in_addr mask{htonl(prefix_length == 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> prefix_length))};
    char out[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &mask, out, sizeof out);
    return out;
}

}  // namespace

std::optional<std::size_t> CameraList::row_of_key(const std::string& key) const {
    auto found = m_by_key.find(key);
    return found == m_by_key.end() ? std::nullopt : std::optional<std::size_t>(found->second);
}

// A row of this protocol at this address; for ONVIF only one without a MAC
// (a row with one is matched by its MAC). The list is bounded by the two
// searches' caps, so the walk is too.
std::optional<std::size_t> CameraList::row_at_address(const std::string& ip, DeviceProtocol protocol) const {
    for (std::size_t row = 0; row < m_rows.size(); ++row) {
        const FoundCamera& r = m_rows[row];
        if (r.protocol == protocol && r.ip == ip && (protocol == DeviceProtocol::native || r.mac.empty())) return row;
    }
    return std::nullopt;
}

std::size_t CameraList::add_row() {
    m_rows.emplace_back();
    m_rows.back().id = m_next_id++;
    return m_rows.size() - 1;
}

void CameraList::rekey(std::size_t row, const std::string& key) {
    if (m_rows[row].key == key) return;
    if (!m_rows[row].key.empty()) m_by_key.erase(m_rows[row].key);
    m_rows[row].key = key;
    m_by_key[key] = row;
}

void CameraList::fill_native(std::size_t row, const DEV_INFO& record) {
    FoundCamera& r = m_rows[row];
    FoundCamera native = found_native(record);
    const std::string key = native.key;
    native.id = r.id;
    native.key = r.key;  // rekey() moves the index from the old key
    r = std::move(native);
    rekey(row, key);
}

void CameraList::fill_onvif(std::size_t row, const onvif::FoundEndpoint& found, const IdentityReading& reading) {
    FoundCamera& r = m_rows[row];
    const bool known = reading.state == IdentityState::known;
    const std::uint64_t id = r.id;
    const std::string key = r.key;
    r = FoundCamera{};
    r.id = id;
    r.key = key;
    r.protocol = DeviceProtocol::onvif;
    r.ip = found.address;
    r.port = found.port;
    r.endpoint = found.endpoint;
    r.xaddr = found.xaddr;
    r.identity = reading.state;
    r.identity_error = cut(reading.error);
    if (known) {
        r.mac = reading.mac;
        r.software_ver = cut(reading.information.firmware_version);
        r.manufacturer = cut(reading.information.manufacturer);
        r.model = cut(reading.information.model);
        r.serial_number = cut(reading.information.serial_number);
        r.subnet_mask = mask_of(reading.prefix_length);
        r.dhcp = reading.dhcp;
    }
    rekey(row, known ? reading.mac : found.endpoint);
    m_by_endpoint[found.endpoint] = row;
}

std::optional<CameraList::Change> CameraList::native_heard(const DEV_INFO& record) {
    const FoundCamera heard = found_native(record);
    std::optional<std::size_t> row = row_of_key(heard.key);
    if (row && m_rows[*row].protocol == DeviceProtocol::native &&
        std::memcmp(&m_rows[*row].native, &record, sizeof record) == 0)
        return std::nullopt;
    // An ONVIF row of the same camera (by MAC, or without one at the same
    // address) turns native in place: the front end's row stays one row.
    if (!row) row = row_at_address(heard.ip, DeviceProtocol::onvif);
    const bool is_new = !row;
    if (is_new) row = add_row();
    fill_native(*row, record);
    return listed(*row, is_new);
}

std::optional<CameraList::Change> CameraList::onvif_settled(const onvif::FoundEndpoint& found,
                                                            const IdentityReading& reading) {
    auto listed_endpoint = m_by_endpoint.find(found.endpoint);
    if (listed_endpoint != m_by_endpoint.end()) return settle_listed(listed_endpoint->second, found, reading);
    return settle_new(found, reading);
}

// Re-identified (a new XAddr or metadata version): the row changes in place,
// unless the camera is listed as native, or its MAC turns out to be another
// row's (then the rows are left as they are, and a refresh sorts them out).
std::optional<CameraList::Change> CameraList::settle_listed(std::size_t row, const onvif::FoundEndpoint& found,
                                                            const IdentityReading& reading) {
    if (m_rows[row].protocol == DeviceProtocol::native) return std::nullopt;
    if (reading.state == IdentityState::known) {
        std::optional<std::size_t> other = row_of_key(reading.mac);
        if (other && *other != row) {
            TRACE_MSG("CameraList::settle_listed", "%s now gives the MAC %s of another row, left as it was\n",
                      found.endpoint.c_str(), reading.mac.c_str());
            return std::nullopt;
        }
    }
    fill_onvif(row, found, reading);
    return listed(row, false);
}

std::optional<CameraList::Change> CameraList::settle_new(const onvif::FoundEndpoint& found,
                                                         const IdentityReading& reading) {
    std::optional<std::size_t> same;
    if (reading.state == IdentityState::known)
        same = row_of_key(reading.mac);
    else
        same = row_at_address(found.address, DeviceProtocol::native);
    if (same && m_rows[*same].protocol == DeviceProtocol::native) {
        m_by_endpoint[found.endpoint] = *same;  // native wins, and stays the only row
        return std::nullopt;
    }
    if (same) {
        // The same MAC under a new endpoint (some cameras make a new one when
        // flashed): still the same row.
        m_by_endpoint.erase(m_rows[*same].endpoint);
        fill_onvif(*same, found, reading);
        return listed(*same, false);
    }
    std::size_t row = add_row();
    fill_onvif(row, found, reading);
    return listed(row, true);
}

bool CameraList::shown_as_native(const onvif::FoundEndpoint& found) {
    auto listed = m_by_endpoint.find(found.endpoint);
    if (listed != m_by_endpoint.end()) return m_rows[listed->second].protocol == DeviceProtocol::native;
    std::optional<std::size_t> native = row_at_address(found.address, DeviceProtocol::native);
    if (native) m_by_endpoint[found.endpoint] = *native;
    return native.has_value();
}

const FoundCamera* CameraList::find_mac(const std::string& mac) const {
    std::optional<std::size_t> row = row_of_key(mac_list_key(mac));
    return row ? &m_rows[*row] : nullptr;
}

void CameraList::clear() {
    m_rows.clear();
    m_by_key.clear();
    m_by_endpoint.clear();
}
