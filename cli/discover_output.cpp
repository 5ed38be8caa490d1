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

// What the Version column shows of an ONVIF camera whose identity is not known.
std::string unknown_identity(IdentityState identity) {
    switch (identity) {
        case IdentityState::not_asked: return "(no login given)";
        case IdentityState::refused: return "(login refused)";
        case IdentityState::timed_out: return "(no identity in time)";
        default: return "(identity not read)";
    }
}

std::string table_line(int index, const FoundCamera& c) {
    char number[16];
    std::snprintf(number, sizeof number, "%02d", index);
    const bool onvif = c.protocol == DeviceProtocol::onvif;
    const bool known = !onvif || c.identity == IdentityState::known;
    char board[16];
    std::snprintf(board, sizeof board, "0x%x", static_cast<unsigned>(c.board_type));
    return cell(number, 5) + cell(terminal_text(known ? c.mac : c.endpoint), 31) + cell(terminal_text(c.ip), 15) +
           cell(std::to_string(c.port), 5) + cell(terminal_text(known ? c.software_ver : unknown_identity(c.identity)), 31) +
           cell(protocol_name(c.protocol), 8) + (onvif ? terminal_text(c.model) : std::string(board)) + "\n";
}

nlohmann::json native_json(const DEV_INFO& d) {
    return {
        {"protocol", "native"},
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
    };
}

nlohmann::json onvif_json(const FoundCamera& c) {
    nlohmann::json camera = {
        {"protocol", "onvif"},
        {"mac_address", c.mac},
        {"ip_address", c.ip},
        {"port", c.port},
        {"software_ver", c.software_ver},
        {"endpoint", c.endpoint},
        {"xaddr", c.xaddr},
        {"manufacturer", c.manufacturer},
        {"model", c.model},
        {"serial_number", c.serial_number},
        {"subnet_mask", c.subnet_mask},
        {"dhcp", c.dhcp},
        {"identity", identity_name(c.identity)},
    };
    if (c.identity != IdentityState::known) camera["identity_error"] = c.identity_error;
    return camera;
}

}  // namespace

std::string devices_table(const std::vector<FoundCamera>& cameras) {
    std::string out = cell("Index", 5) + cell("MAC", 31) + cell("IP", 15) + cell("Port", 5) + cell("Version", 31) +
                      cell("Protocol", 8) + "BID\n";
    int index = 0;
    for (const FoundCamera& c : cameras) out += table_line(++index, c);
    return out;
}

std::string devices_json(const std::vector<FoundCamera>& cameras) {
    nlohmann::json list = nlohmann::json::array();
    for (const FoundCamera& c : cameras)
        list.push_back(c.protocol == DeviceProtocol::onvif ? onvif_json(c) : native_json(c.native));
    // Texts from devices may be any bytes; replace what is not UTF-8.
    return list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}
