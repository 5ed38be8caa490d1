#include "sim/state_dump.h"

#include <cstdio>
#include <fstream>

namespace {

nlohmann::json identity_json(const CameraIdentity& id, bool online) {
    return {{"mac", id.mac}, {"ip", id.ip},          {"mask", id.mask},
            {"gateway", id.gateway}, {"version", id.version}, {"online", online}};
}

}  // namespace

nlohmann::json sim_state_dump(const Simulator& simulator, DeviceSide& native, const OnvifSide& onvif) {
    nlohmann::json cameras = nlohmann::json::array();
    for (const auto& camera : simulator.cameras()) {
        CameraIdentity id = camera->identity();
        DeviceServer* server = id.speaks_native() ? native.find(id.mac) : nullptr;
        nlohmann::json entry = server ? server->state().to_json() : identity_json(id, camera->online());
        entry["protocol"] = camera_protocol_name(id.protocol);
        if (std::shared_ptr<OnvifCamera> onvif_camera = id.speaks_onvif() ? onvif.find(id.mac) : nullptr) {
            entry["onvif"] = onvif_camera->to_json();
            if (nlohmann::json rtsp = onvif.rtsp_json(id.mac); !rtsp.is_null()) entry["onvif"]["rtsp"] = rtsp;
        }
        cameras.push_back(std::move(entry));
    }
    return {{"cameras", cameras}};
}

bool write_json_file(const std::string& path, const nlohmann::json& json) {
    std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        if (!out) return false;
        out << json.dump(2) << "\n";
        if (!out) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}
