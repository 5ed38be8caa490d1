#include "batch/device_list_export.h"

#include "runtime/report_text.h"

namespace {

// Devices without a gateway list 0.0.0.0 (or nothing); a plan takes a mask
// only with a gateway, so neither is written then.
bool has_gateway(const DeviceRow& row) { return !row.gateway.empty() && row.gateway != "0.0.0.0"; }

std::vector<std::string> row_fields(const DeviceRow& row) {
    std::string ip = row.ip, mask, gateway, dhcp, uid;
    if (has_gateway(row) && !row.mask.empty()) {
        mask = row.mask;
        gateway = row.gateway;
    }
    if (row.planned) {
        const PlannedValues& planned = *row.planned;
        if (!planned.ip.empty() || planned.dhcp) {
            ip = planned.ip;
            mask = planned.mask;
            gateway = planned.gateway;
        }
        if (planned.dhcp) dhcp = *planned.dhcp ? "on" : "off";
        uid = planned.uid;
    }
    // Every listed device is reached through the native protocol.
    return {row.mac, ip, mask, gateway, dhcp, uid, row.version, row.bid, "native"};
}

}  // namespace

std::string device_list_csv(const std::vector<DeviceRow>& rows) {
    // UTF-8 with a byte-order mark, as the job reports: spreadsheets then
    // read it as UTF-8.
    std::string csv = "\xEF\xBB\xBF" + csv_line({"mac", "ip", "mask", "gateway", "dhcp", "uid", "version", "board", "protocol"});
    for (const DeviceRow& row : rows) csv += csv_line(row_fields(row));
    return csv;
}
