#include "sim/sim_options.h"

void add_sim_options(CLI::App& app, SimOptions& o) {
    app.add_option_function<std::string>(
        "--config",
        [&o](const std::string& path) {
            if (std::string error = sim_load_config(path, &o); !error.empty()) throw CLI::ValidationError(error);
        },
        "JSON file with these options (same names, '_' for '-') and a \"devices\" list");
    app.add_option("-n,--count", o.count, "number of generated native cameras")->check(CLI::Range(0, 10000));
    app.add_option("--base-ip", o.base_ip, "address of camera 1; the others count up from it");
    app.add_option("--mac-prefix", o.mac_prefix, "MAC prefix; the camera number fills the last three bytes");
    app.add_option("--onvif", o.onvif_count, "number of generated ONVIF cameras")->check(CLI::Range(0, 10000));
    app.add_option("--onvif-base-ip", o.onvif_base_ip,
                   "address of ONVIF camera 1 (default: the address after the last native camera's)");
    app.add_option("--onvif-mac-prefix", o.onvif_mac_prefix, "MAC prefix of the generated ONVIF cameras");
    app.add_option("--mask", o.mask, "subnet mask");
    app.add_option("--gateway", o.gateway, "gateway (default: base address with last byte 1)");
    app.add_option("--fw-version", o.version, "software version the cameras report");
    app.add_option("--cmd-port", o.cmd_port, "command port");
    app.add_option("--media-port", o.media_port, "media port");
    app.add_option("--http-port", o.http_port, "web port");
    app.add_option("--phone-port", o.phone_port, "mobile port");
    app.add_option("--ipc-type", o.ipc_type, "camera type code");
    app.add_option("--board-type", o.board_type, "board type code");
    app.add_option("--device-type", o.device_type, "device type code");
    app.add_option("--discovery-address", o.discovery_address, "address the discovery responder binds");
    app.add_option("--discovery-port", o.discovery_port, "port of the discovery responder");
}
