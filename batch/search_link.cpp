#include "batch/search_link.h"

#include "onvif/onvif_session.h"

namespace {

// Why an ONVIF camera's row has no version, in the words of a status line.
std::string identity_note(const FoundCamera& camera) {
    switch (camera.identity) {
        case IdentityState::refused: return "login refused";
        case IdentityState::not_asked: return "no login to read it with";
        case IdentityState::timed_out: return "no answer in time";
        case IdentityState::failed: return "identity not read (" + camera.identity_error + ")";
        default: return "";
    }
}

}  // namespace

ListedDevice listed_device_from(const FoundCamera& camera) {
    if (camera.protocol == DeviceProtocol::native) {
        ListedDevice device = listed_device_from(camera.native);
        device.key = std::to_string(camera.id);
        return device;
    }
    ListedDevice device;
    device.key = std::to_string(camera.id);
    device.protocol = DeviceProtocol::onvif;
    device.mac = camera.mac;
    device.ip = camera.ip;
    device.cmd_port = camera.port;
    device.software_ver = camera.software_ver;
    device.mask = camera.subnet_mask;
    device.gateway = camera.gateway;
    device.endpoint = camera.endpoint;
    device.xaddr = camera.xaddr;
    device.model = camera.model;
    device.note = identity_note(camera);
    return device;
}

OnvifConnector onvif_connector(const std::string& card) {
    return [card](const std::string& xaddr, const onvif::Credentials& login) {
        onvif::SessionOptions options;
        options.local_address = card;
        return onvif::open_device(xaddr, login, options);
    };
}
