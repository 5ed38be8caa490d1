#include "search/found_camera.h"

#include <cstring>

#include "search/mac_text.h"

namespace {

std::string text(const char (&field)[DEV_TEXT_SIZE]) { return std::string(field, strnlen(field, DEV_TEXT_SIZE)); }

}  // namespace

const char* protocol_name(DeviceProtocol protocol) { return protocol == DeviceProtocol::onvif ? "onvif" : "native"; }

const char* identity_name(IdentityState identity) {
    switch (identity) {
        case IdentityState::native: return "native";
        case IdentityState::known: return "known";
        case IdentityState::not_asked: return "not_asked";
        case IdentityState::refused: return "refused";
        case IdentityState::failed: return "failed";
        case IdentityState::timed_out: return "timed_out";
    }
    return "failed";
}

FoundCamera found_native(const DEV_INFO& record) {
    FoundCamera r;
    r.protocol = DeviceProtocol::native;
    r.mac = text(record.mac_address);
    r.key = mac_list_key(r.mac);
    r.ip = text(record.ip_address);
    r.port = record.cmd_port;
    r.software_ver = text(record.software_ver);
    r.board_type = record.board_type;
    r.device_type = record.device_type;
    r.subnet_mask = text(record.subnet_mask);
    r.gateway = text(record.gateway);
    r.native = record;
    return r;
}
