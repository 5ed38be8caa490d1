// A camera's answer as the session reads it: the HTTP status (the first
// byte picks one), the envelope and its fault, then every reader of a
// response element of the device, media, PTZ and imaging services (and the
// zoom and pan/tilt moves made from a node read), the addresses' check, and
// the device side's token reader that the simulator runs on requests.
#include <cstddef>
#include <cstdint>
#include <string>

#include "onvif/device_replies.h"
#include "onvif/ptz_moves.h"
#include "onvif/service_address.h"
#include "onvif/service_replies.h"
#include "onvif/username_token.h"

namespace {

using namespace onvif;

constexpr long kStatuses[] = {200, 400, 401, 500, 302, 404, 415, 204};
constexpr const char* kDevice = "http://10.77.0.21/onvif/device_service";

void read_service_record(const std::string& operation, const Envelope& envelope) {
    if (operation == "GetCapabilities") {
        Services services;
        if (read_capabilities(envelope, &services).ok()) address_on_device(kDevice, services.ptz);
    } else if (operation == "GetProfiles") {
        std::vector<VideoProfile> profiles;
        read_profiles(envelope, false, &profiles);
        read_profiles(envelope, true, &profiles);
    } else if (operation == "GetStreamUri") {
        std::string uri;
        read_stream_uri(envelope, false, &uri);
        read_stream_uri(envelope, true, &uri);
    } else if (operation == "GetNode") {
        PtzNode node;
        if (read_ptz_node(envelope, &node).ok()) {
            zoom_move(node, 5);
            pan_tilt_velocity(node, PanTiltDirection::left);
        }
    } else if (operation == "GetOptions") {
        std::vector<IrCutMode> modes;
        read_ir_cut_modes(envelope, &modes);
    }
}

void read_every_record(const std::string& operation, const Envelope& envelope) {
    if (operation == "GetDeviceInformation") {
        DeviceInformation info;
        read_device_information(envelope, &info);
    } else if (operation == "GetNetworkInterfaces") {
        std::vector<NetworkInterface> nics;
        read_network_interfaces(envelope, &nics);
    } else if (operation == "GetServices") {
        Services services;
        if (read_services(envelope, &services).ok())
            address_on_device(kDevice, services.media);
    } else if (operation == "GetSystemDateAndTime") {
        SystemDateTime clock;
        read_system_date_and_time(envelope, &clock);
    } else if (operation == "GetUsers") {
        std::vector<User> users;
        read_users(envelope, &users);
    } else if (operation == "SetNetworkInterfaces") {
        bool reboot = false;
        read_reboot_needed(envelope, &reboot);
    } else if (operation == "StartFirmwareUpgrade") {
        FirmwareUpgradeTicket ticket;
        if (read_firmware_upgrade(envelope, &ticket).ok())
            address_on_device(kDevice, ticket.upload_uri);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    HttpAnswer answer;
    answer.status = kStatuses[data[0] % (sizeof kStatuses / sizeof kStatuses[0])];
    answer.digest_offered = (data[0] & 0x80) != 0;
    answer.body.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    read_upload_answer(answer);
    Envelope envelope;
    if (parse_envelope(answer.body, &envelope, nullptr))
        if (std::optional<UsernameToken> token = read_username_token(envelope.header)) digest_matches(*token, "secret");
    for (const char* operation : {"GetDeviceInformation", "GetNetworkInterfaces", "GetServices", "GetSystemDateAndTime",
                                  "GetUsers", "SetNetworkInterfaces", "StartFirmwareUpgrade"}) {
        Envelope response;
        if (read_answer(answer, operation, &response).ok()) read_every_record(operation, response);
    }
    for (const char* operation : {"GetCapabilities", "GetProfiles", "GetStreamUri", "GetNode", "GetOptions"}) {
        Envelope response;
        if (read_answer(answer, operation, &response).ok()) read_service_record(operation, response);
    }
    return 0;
}
