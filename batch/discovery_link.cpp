#include "batch/discovery_link.h"

#include <cstring>
#include <vector>

namespace {

// Copies text into a fixed request field; longer texts are cut so the field
// always keeps its terminator.
template <std::size_t N>
void copy_field(char (&field)[N], const std::string& text) {
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N - 1));
}

NETWORK_INFO request_from(const IpChangeRequest& request) {
    NETWORK_INFO info{};
    copy_field(info.dev_mac, request.mac);
    copy_field(info.new_dev_ip, request.ip);
    copy_field(info.new_dev_submask, request.mask);
    copy_field(info.new_dev_gateway, request.gateway);
    return info;
}

std::string text_of(const char* field, std::size_t size) {
    return std::string(field, strnlen(field, size));
}

}  // namespace

int CDiscoveryLink::ChangeIpPort(const IpChangeRequest& request) {
    NETWORK_INFO info = request_from(request);
    return m_discovery.ChangeIpPort(&info);
}

int CDiscoveryLink::ChangeIp(const IpChangeRequest& request) {
    NETWORK_INFO info = request_from(request);
    return m_discovery.ChangeIp(&info);
}

std::optional<std::string> CDiscoveryLink::FindIp(const std::string& mac) {
    std::vector<DEV_INFO> list;
    int count = 0;
    if (m_discovery.GetDeviceList(&list, &count) != 0) return std::nullopt;
    for (const DEV_INFO& record : list)
        if (text_of(record.mac_address, sizeof record.mac_address) == mac)
            return text_of(record.ip_address, sizeof record.ip_address);
    return std::nullopt;
}

ListedDevice listed_device_from(const DEV_INFO& record) {
    ListedDevice device;
    device.mac = text_of(record.mac_address, sizeof record.mac_address);
    device.ip = text_of(record.ip_address, sizeof record.ip_address);
    device.cmd_port = record.cmd_port;
    device.software_ver = text_of(record.software_ver, sizeof record.software_ver);
    device.board_type = static_cast<std::uint32_t>(record.board_type);
    device.device_type = record.device_type;
    device.mask = text_of(record.subnet_mask, sizeof record.subnet_mask);
    device.gateway = text_of(record.gateway, sizeof record.gateway);
    return device;
}

int feed_device_table(DEV_INFO* record, int is_new, void* table) {
    if (record == nullptr || table == nullptr) return 0;
    static_cast<CDeviceTable*>(table)->update_dev_find_list(listed_device_from(*record), is_new != 0);
    return 0;
}
