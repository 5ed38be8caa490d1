#include "cli/discover_output.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace {

// Record texts are NUL-terminated within their field; never read past it.
std::string text(const char (&field)[DEV_TEXT_SIZE]) { return std::string(field, strnlen(field, DEV_TEXT_SIZE)); }

}  // namespace

std::string devices_table(const std::vector<DEV_INFO>& devices) {
    std::string out;
    char line[256];
    std::snprintf(line, sizeof line, "%-5s  %-31s  %-15s  %-5s  %-31s  %s\n", "Index", "MAC", "IP", "Port", "Version",
                  "BID");
    out += line;
    int index = 0;
    for (const DEV_INFO& d : devices) {
        std::snprintf(line, sizeof line, "%02d     %-31s  %-15s  %-5d  %-31s  0x%x\n", ++index, text(d.mac_address).c_str(),
                      text(d.ip_address).c_str(), d.cmd_port, text(d.software_ver).c_str(),
                      static_cast<unsigned>(d.board_type));
        out += line;
    }
    return out;
}

std::string devices_json(const std::vector<DEV_INFO>& devices) {
    nlohmann::json list = nlohmann::json::array();
    for (const DEV_INFO& d : devices) {
        // Texts from devices may be any bytes; replace what is not UTF-8.
        list.push_back({
            {"mac_address", text(d.mac_address)},
            {"ip_address", text(d.ip_address)},
            {"port", d.port},
            {"cmd_port", d.cmd_port},
            {"media_port", d.media_port},
            {"phone_port", d.phone_port},
            {"master_ip", text(d.master_ip)},
            {"ipc_type", d.ipc_type},
            {"board_type", d.board_type},
            {"device_type", d.device_type},
            {"subnet_mask", text(d.subnet_mask)},
            {"gateway", text(d.gateway)},
            {"software_ver", text(d.software_ver)},
            {"http_port", d.http_port},
        });
    }
    return list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}
