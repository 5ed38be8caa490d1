// Bytes from the network, as a simulated ONVIF camera takes them. The first
// byte picks what they are: 0 a device-service request without a login, 1
// a request to one of the services (the byte's upper bits pick which)
// behind a passed HTTP login (so the bytes reach every operation), 2 a
// WS-Discovery datagram to the group, 3 a firmware upload in pieces.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "runtime/trace.h"
#include "sim/onvif/device_service.h"
#include "sim/onvif/firmware_upload.h"
#include "sim/onvif/probe_match.h"

namespace {

std::shared_ptr<OnvifCamera> camera(LoginMode login) {
    CameraIdentity id;
    id.mac = "02:0F:00:00:00:01";
    id.ip = "127.0.0.20";
    id.version = "1.0.0";
    id.protocol = CameraProtocol::onvif;
    OnvifCameraSettings settings;
    settings.login = login;
    return std::make_shared<OnvifCamera>(std::make_shared<SimCamera>(id), settings,
                                         std::map<std::string, std::string>{{"admin", "secret"}}, 1000);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static bool quiet = set_trace_sink(trace_null_sink, nullptr) == 0;
    (void)quiet;
    std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 4) {
    case 0: serve_device_service(*camera(LoginMode::token), {bytes, HttpLogin::none}); break;
    case 1: {
        constexpr OnvifService kServices[] = {OnvifService::device, OnvifService::media, OnvifService::media2,
                                              OnvifService::ptz, OnvifService::imaging};
        serve_service(*camera(LoginMode::both), kServices[(data[0] >> 2) % 5], {bytes, HttpLogin::digest_ok});
        break;
    }
    case 2: {
        std::vector<std::shared_ptr<OnvifCamera>> cameras{camera(LoginMode::token)};
        answer_probe(cameras, bytes, kWsdGroup);
        break;
    }
    default: {
        FirmwareUpload upload;
        std::size_t piece = 1 + (data[0] >> 2);
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            upload.add(bytes.data() + at, std::min(piece, bytes.size() - at));
        upload.finish();
    }
    }
    return 0;
}
