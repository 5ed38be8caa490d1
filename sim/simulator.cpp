#include "sim/simulator.h"

#include <arpa/inet.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <nlohmann/json.hpp>

const char* camera_protocol_name(CameraProtocol protocol) {
    switch (protocol) {
    case CameraProtocol::onvif: return "onvif";
    case CameraProtocol::both: return "both";
    default: return "native";
    }
}

bool parse_camera_protocol(const std::string& text, CameraProtocol* out) {
    for (CameraProtocol p : {CameraProtocol::native, CameraProtocol::onvif, CameraProtocol::both}) {
        if (text == camera_protocol_name(p)) {
            *out = p;
            return true;
        }
    }
    return false;
}

std::string sim_ip_add(const std::string& address, std::uint32_t offset) {
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) return "";
    std::uint64_t value = static_cast<std::uint64_t>(ntohl(parsed.s_addr)) + offset;
    if (value > 0xFFFFFFFFu) return "";
    parsed.s_addr = htonl(static_cast<std::uint32_t>(value));
    char text[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &parsed, text, sizeof text) ? text : "";
}

namespace {

std::string default_gateway(const std::string& ip) {
    std::size_t dot = ip.rfind('.');
    return dot == std::string::npos ? "" : ip.substr(0, dot) + ".1";
}

template <class T>
void take(const nlohmann::json& object, const char* key, T* field) {
    if (object.contains(key)) *field = object.at(key).get<T>();
}

template <class T>
void take(const nlohmann::json& object, const char* key, std::optional<T>* field) {
    if (object.contains(key)) *field = object.at(key).get<T>();
}

SimListedCamera device_from_json(const nlohmann::json& entry) {
    SimListedCamera camera;
    take(entry, "mac", &camera.mac);
    take(entry, "ip", &camera.ip);
    take(entry, "mask", &camera.mask);
    take(entry, "gateway", &camera.gateway);
    take(entry, "version", &camera.version);
    take(entry, "cmd_port", &camera.cmd_port);
    take(entry, "media_port", &camera.media_port);
    take(entry, "http_port", &camera.http_port);
    take(entry, "phone_port", &camera.phone_port);
    take(entry, "ipc_type", &camera.ipc_type);
    take(entry, "board_type", &camera.board_type);
    take(entry, "device_type", &camera.device_type);
    if (entry.contains("protocol")) {
        CameraProtocol protocol = CameraProtocol::native;
        if (!parse_camera_protocol(entry.at("protocol").get<std::string>(), &protocol))
            throw std::invalid_argument("\"protocol\" must be \"native\", \"onvif\" or \"both\"");
        camera.protocol = protocol;
    }
    return camera;
}

template <class T>
void given(const std::optional<T>& value, T* field) {
    if (value) *field = *value;
}

void options_from_json(const nlohmann::json& j, SimOptions* o) {
    take(j, "count", &o->count);
    take(j, "base_ip", &o->base_ip);
    take(j, "mac_prefix", &o->mac_prefix);
    take(j, "onvif", &o->onvif_count);
    take(j, "onvif_base_ip", &o->onvif_base_ip);
    take(j, "onvif_mac_prefix", &o->onvif_mac_prefix);
    take(j, "mask", &o->mask);
    take(j, "gateway", &o->gateway);
    take(j, "fw_version", &o->version);
    take(j, "cmd_port", &o->cmd_port);
    take(j, "media_port", &o->media_port);
    take(j, "http_port", &o->http_port);
    take(j, "phone_port", &o->phone_port);
    take(j, "ipc_type", &o->ipc_type);
    take(j, "board_type", &o->board_type);
    take(j, "device_type", &o->device_type);
    take(j, "discovery_address", &o->discovery_address);
    take(j, "discovery_port", &o->discovery_port);
}

}  // namespace

std::string sim_load_config(const std::string& path, SimOptions* options) {
    std::ifstream in(path);
    if (!in) return "cannot open " + path;
    try {
        nlohmann::json j = nlohmann::json::parse(in);
        if (!j.is_object()) return path + ": the top level must be an object";
        options_from_json(j, options);
        if (j.contains("devices")) {
            for (const nlohmann::json& entry : j.at("devices")) {
                SimListedCamera camera = device_from_json(entry);
                if (camera.mac.empty() || camera.ip.empty())
                    return path + ": every device needs \"mac\" and \"ip\"";
                if (entry.contains("claimed_ip"))
                    options->claimed_ip[camera.mac] = entry.at("claimed_ip").get<std::string>();
                options->extra.push_back(std::move(camera));
            }
        }
    } catch (const nlohmann::json::exception& e) {
        return path + ": " + e.what();
    } catch (const std::invalid_argument& e) {
        return path + ": " + e.what();
    }
    return "";
}

Simulator::Simulator(const SimOptions& options) : m_options(options) {
    for (int number = 1; number <= m_options.count; ++number)
        m_cameras.push_back(std::make_shared<SimCamera>(generated(number, m_options.base_ip, m_options.mac_prefix)));
    // Right after the native cameras unless told otherwise, so the two kinds
    // never share an address.
    std::string onvif_base = m_options.onvif_base_ip.empty()
                                 ? sim_ip_add(m_options.base_ip, static_cast<std::uint32_t>(m_options.count))
                                 : m_options.onvif_base_ip;
    for (int number = 1; number <= m_options.onvif_count; ++number) {
        CameraIdentity id = generated(number, onvif_base, m_options.onvif_mac_prefix);
        id.protocol = CameraProtocol::onvif;
        m_cameras.push_back(std::make_shared<SimCamera>(std::move(id)));
    }
    for (const SimListedCamera& entry : m_options.extra)
        m_cameras.push_back(std::make_shared<SimCamera>(listed(entry)));
}

CameraIdentity Simulator::shared_identity() const {
    CameraIdentity id;
    id.mask = m_options.mask;
    id.gateway = m_options.gateway;
    id.version = m_options.version;
    id.cmd_port = m_options.cmd_port;
    id.media_port = m_options.media_port;
    id.http_port = m_options.http_port;
    id.phone_port = m_options.phone_port;
    id.ipc_type = m_options.ipc_type;
    id.board_type = m_options.board_type;
    id.device_type = m_options.device_type;
    return id;
}

CameraIdentity Simulator::generated(int number, const std::string& base_ip, const std::string& mac_prefix) const {
    CameraIdentity id = shared_identity();
    char mac[32];
    std::snprintf(mac, sizeof mac, "%s:%02X:%02X:%02X", mac_prefix.c_str(), (number >> 16) & 0xFF,
                  (number >> 8) & 0xFF, number & 0xFF);
    id.mac = mac;
    id.ip = sim_ip_add(base_ip, static_cast<std::uint32_t>(number - 1));
    if (id.gateway.empty()) id.gateway = default_gateway(base_ip);
    return id;
}

CameraIdentity Simulator::listed(const SimListedCamera& entry) const {
    CameraIdentity id = shared_identity();
    id.mac = entry.mac;
    id.ip = entry.ip;
    given(entry.mask, &id.mask);
    given(entry.gateway, &id.gateway);
    given(entry.version, &id.version);
    given(entry.cmd_port, &id.cmd_port);
    given(entry.media_port, &id.media_port);
    given(entry.http_port, &id.http_port);
    given(entry.phone_port, &id.phone_port);
    given(entry.ipc_type, &id.ipc_type);
    given(entry.board_type, &id.board_type);
    given(entry.device_type, &id.device_type);
    given(entry.protocol, &id.protocol);
    // A listed camera may live outside the generated ones' network.
    if (id.gateway.empty()) id.gateway = default_gateway(id.ip);
    return id;
}

std::shared_ptr<SimCamera> Simulator::find_by_mac(const std::string& mac) const {
    for (const auto& camera : m_cameras)
        if (camera->identity().mac == mac) return camera;
    return nullptr;
}

std::string Simulator::claimed_ip(const CameraIdentity& identity) const {
    auto it = m_options.claimed_ip.find(identity.mac);
    return it == m_options.claimed_ip.end() ? identity.ip : it->second;
}
