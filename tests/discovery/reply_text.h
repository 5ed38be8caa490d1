#pragma once

#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "discovery/dev_info.h"

// A filled device record for tests.
inline DEV_INFO test_device(const char* mac, const char* ip, const char* version = "V1.0.0") {
    DEV_INFO d;
    std::memset(&d, 0, sizeof d);
    dev_copy_text(d.mac_address, DEV_TEXT_SIZE, mac);
    dev_copy_text(d.ip_address, DEV_TEXT_SIZE, ip);
    dev_copy_text(d.master_ip, DEV_TEXT_SIZE, "0.0.0.0");
    dev_copy_text(d.subnet_mask, DEV_TEXT_SIZE, "255.255.255.0");
    dev_copy_text(d.gateway, DEV_TEXT_SIZE, "192.168.1.1");
    dev_copy_text(d.software_ver, DEV_TEXT_SIZE, version);
    d.port = 1;
    d.cmd_port = 8000;
    d.media_port = 8001;
    d.http_port = 80;
    d.phone_port = 8002;
    d.ipc_type = 3;
    d.board_type = 0x20;
    d.device_type = 2;
    return d;
}

// A reply body written by hand in the order devices use, with some values
// replaced; std::nullopt leaves the attribute out.
using ReplyChanges = std::map<std::string, std::optional<std::string>>;

inline std::string reply_text(const ReplyChanges& changes) {
    const char* order[][2] = {{"mac_address", "AA:BB:CC:00:00:01"}, {"ip_address", "192.168.1.50"},
                              {"cmd_port", "8000"},      {"media_port", "8001"},
                              {"http_port", "80"},       {"phone_port", "8002"},
                              {"ipc_type", "3"},         {"board_type", "32"},
                              {"device_type", "2"},      {"subnet_mask", "255.255.255.0"},
                              {"gateway", "192.168.1.1"}, {"software_ver", "V1.0.0"}};
    std::string text = "<?xml version=\"1.0\" ?>\n<Message Version=\"1\">\n    <Header>\n        <MSG_DEV_INFO_REPLY";
    for (const auto& [name, fallback] : order) {
        std::optional<std::string> value = std::string(fallback);
        if (auto it = changes.find(name); it != changes.end()) value = it->second;
        if (value) text += std::string(" ") + name + "=\"" + *value + "\"";
    }
    return text + " />\n    </Header>\n</Message>\n";
}

// A datagram: header (command, claimed body length) + body, padded with
// zeros or cut to `total` bytes when given.
inline std::string make_datagram(std::uint32_t command, const std::string& body, std::int64_t claimed = -1,
                                 std::int64_t total = -1) {
    PACKET_HEAD head{};
    head.magic = PACKET_MAGIC;
    head.command = command;
    head.body_length = static_cast<std::uint32_t>(claimed < 0 ? static_cast<std::int64_t>(body.size()) : claimed);
    each_htonl(&head);
    std::string bytes(reinterpret_cast<const char*>(&head), sizeof head);
    bytes += body;
    if (total >= 0) bytes.resize(static_cast<std::size_t>(total), '\0');
    return bytes;
}

inline std::string reply_datagram(const std::string& mac, const std::string& ip, const std::string& version = "V1.0.0") {
    return make_datagram(CMD_DEV_INFO_REPLY,
                         reply_text({{"mac_address", mac}, {"ip_address", ip}, {"software_ver", version}}));
}
