#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_camera.h"

// A camera listed one by one in a configuration file: what its entry gives.
// The fields it leaves out are the run's (SimOptions), settled only once the
// command line has been read, so a listed camera takes the file's values,
// then the command line's, then the defaults, as the generated ones do.
struct SimListedCamera {
    std::string mac;
    std::string ip;
    std::optional<std::string> mask, gateway, version;
    std::optional<std::uint16_t> cmd_port, media_port, http_port, phone_port;
    std::optional<std::int32_t> ipc_type, board_type, device_type;
    std::optional<CameraProtocol> protocol;
};

// How the simulated cameras are made: `count` native cameras numbered from 1,
// with addresses counting up from base_ip and MACs mac_prefix + the number;
// `onvif_count` ONVIF cameras the same way from onvif_base_ip and
// onvif_mac_prefix; plus any cameras listed one by one in a configuration file.
struct SimOptions {
    int count = 1;
    std::string base_ip = "127.0.0.10";
    std::string mac_prefix = "02:00:00";
    int onvif_count = 0;
    std::string onvif_base_ip;  // "" : the address after the last native camera's
    std::string onvif_mac_prefix = "02:0F:00";
    std::string mask = "255.255.255.0";
    std::string gateway;  // "" : the camera's network (base address for the generated ones) with last byte 1
    std::string version = "V1.0.0";
    std::uint16_t cmd_port = 8000;
    std::uint16_t media_port = 8001;
    std::uint16_t http_port = 80;
    std::uint16_t phone_port = 8002;
    std::int32_t ipc_type = 1;
    std::int32_t board_type = 0x20;
    std::int32_t device_type = 2;

    // Discovery side: the address and port the responder listens on.
    std::string discovery_address = "0.0.0.0";
    std::uint16_t discovery_port = 13000;

    // Cameras given one by one (configuration file "devices"); their unset
    // fields take the values above.
    std::vector<SimListedCamera> extra;
    // Fault injection: MAC -> the address a camera names in its replies
    // instead of its own (it still sends from its own).
    std::map<std::string, std::string> claimed_ip;
};

// Reads a JSON configuration file into options (keys as the long command-line
// options with '_' for '-', and "devices": [{...}]). Returns "" or an error text.
std::string sim_load_config(const std::string& path, SimOptions* options);

// The next IPv4 address after `address` by `offset` (dotted text); "" when
// address is not an IPv4 address or the result overflows.
std::string sim_ip_add(const std::string& address, std::uint32_t offset);

// The cameras of one simulator run, shared by the discovery responder and the
// device server.
class Simulator {
public:
    explicit Simulator(const SimOptions& options);

    const SimOptions& options() const { return m_options; }
    const std::vector<std::shared_ptr<SimCamera>>& cameras() const { return m_cameras; }
    std::shared_ptr<SimCamera> find_by_mac(const std::string& mac) const;
    // The address a camera names in its replies (normally its own).
    std::string claimed_ip(const CameraIdentity& identity) const;

private:
    // What every camera of the run shares unless its own entry says otherwise.
    CameraIdentity shared_identity() const;
    CameraIdentity generated(int number, const std::string& base_ip, const std::string& mac_prefix) const;
    CameraIdentity listed(const SimListedCamera& entry) const;

    SimOptions m_options;
    std::vector<std::shared_ptr<SimCamera>> m_cameras;
};
