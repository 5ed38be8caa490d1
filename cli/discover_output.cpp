#include "cli/discover_output.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/terminal_text.h"

namespace {

// Record texts are NUL-terminated within their field; never read past it.
std::string text(const char (&field)[DEV_TEXT_SIZE]) { return std::string(field, strnlen(field, DEV_TEXT_SIZE)); }

// A column of the table: the text padded to its width (never cut), then the gap.
std::string cell(const std::string& text, std::size_t width) {
    return text + std::string(text.size() < width ? width - text.size() : 0, ' ') + "  ";
}

}  // namespace

std::string devices_table(const std::vector<DEV_INFO>& devices) {
    std::string out = cell("Index", 5) + cell("MAC", 31) + cell("IP", 15) + cell("Port", 5) + cell("Version", 31) + "BID\n";
    int index = 0;
    for (const DEV_INFO& d : devices) {
        char number[16];
        std::snprintf(number, sizeof number, "%02d", ++index);
        char board[16];
        std::snprintf(board, sizeof board, "0x%x", static_cast<unsigned>(d.board_type));
        out += cell(number, 5) + cell(terminal_text(text(d.mac_address)), 31) +
               cell(terminal_text(text(d.ip_address)), 15) + cell(std::to_string(d.cmd_port), 5) +
               cell(terminal_text(text(d.software_ver)), 31) + board + "\n";
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
