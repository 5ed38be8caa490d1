#pragma once

// The device side of every native camera of a simulator run: one
// DeviceServer per camera, and the device options of ipcsim.

#include <CLI/CLI.hpp>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sim/device_server.h"
#include "sim/simulator.h"

// Registers --user, --bench-port, --max-sessions, --reboot-ms, --fault and --state-dump.
void add_device_options(CLI::App& app, DeviceSideOptions& options);

// Reads the device keys of an ipcsim JSON configuration file ("accounts",
// "bench_port", "max_sessions", "reboot_ms", "faults": {MAC: "key=value,..."}, "state_dump").
// Values the command line gave (per `app`) win. Returns "" or an error text.
std::string load_device_config(const std::string& path, const CLI::App& app, DeviceSideOptions& options);

class DeviceSide {
public:
    DeviceSide(const Simulator& simulator, const DeviceSideOptions& options);
    ~DeviceSide() { stop(); }

    // Starts every camera's server; returns "" or the first error.
    std::string start();
    void stop();
    DeviceServer* find(const std::string& mac);
    // {"cameras": [state of each native camera]}
    nlohmann::json dump();

private:
    std::vector<std::unique_ptr<DeviceServer>> m_servers;
};
