#include "sim/device_side.h"

#include <fstream>

#include "sim/fault_items.h"

void add_device_options(CLI::App& app, DeviceSideOptions& o) {
    app.add_option_function<std::vector<std::string>>(
           "--user",
           [&o](const std::vector<std::string>& accounts) {
               o.accounts.clear();
               for (const std::string& account : accounts) {
                   std::size_t colon = account.find(':');
                   if (colon == std::string::npos) throw CLI::ValidationError("--user", "needs NAME:PASSWORD");
                   o.accounts[account.substr(0, colon)] = account.substr(colon + 1);
               }
           },
           "account NAME:PASSWORD (repeatable; replaces the default Admin:tovik)")
        ->type_name("NAME:PASSWORD");
    app.add_option("--bench-port", o.bench_port,
                   "a second port every camera serves besides its command port, as the test bench's (0: none)")
        ->check(CLI::Range(0, 65535));
    app.add_option("--max-sessions", o.max_sessions, "logins a camera serves at once")->check(CLI::Range(1, 1000));
    app.add_option("--reboot-ms", o.reboot_ms, "how long a camera stays silent after an upgrade (ONVIF cameras: after any reboot, "
                   "and their ExpectedDownTime)")
        ->check(CLI::Range(0, 3600000));
    app.add_option_function<std::vector<std::string>>(
           "--fault",
           [&o](const std::vector<std::string>& fault_args) {
               for (const std::string& fault_text : fault_args) {
                   std::string mac, items;
                   if (!split_camera_items(fault_text, &mac, &items))
                       throw CLI::ValidationError("--fault", "needs MAC@key=value,...");
                   std::string error = parse_device_faults(items, o.faults[mac]);
                   if (!error.empty()) throw CLI::ValidationError("--fault", error);
               }
           },
           "fault injection MAC@key=value,... (MAC * = every camera); keys: answer17_command, refuse_login, "
           "drop_at_percent, fail_status_polls, never_come_back, ignore_command")
        ->type_name("MAC@FAULTS");
    app.add_option("--state-dump", o.dump_path, "write every camera's device state as JSON here at exit and on SIGUSR1");
}

std::string load_device_config(const std::string& path, const CLI::App& app, DeviceSideOptions& o) {
    std::ifstream in(path);
    if (!in) return "cannot open " + path;
    try {
        nlohmann::json j = nlohmann::json::parse(in);
        if (j.contains("accounts") && app.count("--user") == 0)
            o.accounts = j.at("accounts").get<std::map<std::string, std::string>>();
        if (j.contains("max_sessions") && app.count("--max-sessions") == 0) o.max_sessions = j.at("max_sessions").get<int>();
        if (j.contains("bench_port") && app.count("--bench-port") == 0) {
            int port = j.at("bench_port").get<int>();
            if (port < 0 || port > 65535) return path + ": bench_port must be 0 to 65535";
            o.bench_port = static_cast<std::uint16_t>(port);
        }
        if (j.contains("reboot_ms") && app.count("--reboot-ms") == 0) o.reboot_ms = j.at("reboot_ms").get<std::int64_t>();
        if (j.contains("state_dump") && app.count("--state-dump") == 0) o.dump_path = j.at("state_dump").get<std::string>();
        if (j.contains("faults")) {
            for (const auto& [mac, fault_text] : j.at("faults").items()) {
                if (o.faults.count(mac) != 0) continue;  // the command line named this camera
                std::string error = parse_device_faults(fault_text.get<std::string>(), o.faults[mac]);
                if (!error.empty()) return path + ": " + mac + ": " + error;
            }
        }
    } catch (const nlohmann::json::exception& e) {
        return path + ": " + e.what();
    }
    return "";
}

DeviceSide::DeviceSide(const Simulator& simulator, const DeviceSideOptions& options) {
    for (const auto& camera : simulator.cameras())
        if (camera->identity().speaks_native()) m_servers.push_back(std::make_unique<DeviceServer>(camera, options));
}

std::string DeviceSide::start() {
    for (auto& server : m_servers)
        if (std::string error = server->start(); !error.empty()) return error;
    return "";
}

void DeviceSide::stop() {
    for (auto& server : m_servers) server->stop();
}

DeviceServer* DeviceSide::find(const std::string& mac) {
    for (auto& server : m_servers)
        if (server->state().camera().identity().mac == mac) return server.get();
    return nullptr;
}

nlohmann::json DeviceSide::dump() {
    nlohmann::json cameras = nlohmann::json::array();
    for (auto& server : m_servers) cameras.push_back(server->state().to_json());
    return {{"cameras", cameras}};
}
