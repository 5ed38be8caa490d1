#pragma once

// Faults a simulated camera can be told to show, per device, so tests can
// drive every failure path of the tool.

#include <cstdint>
#include <map>
#include <string>

struct DeviceFaults {
    std::int32_t answer17_command = 0;  // answer 17 once to this config command / control code
    std::int32_t refuse_login = 0;      // answer every login with this code (0: off)
    std::int32_t drop_at_percent = 0;   // drop the connection once at this share of an upgrade (0: off)
    std::int32_t fail_status_polls = 0; // answer this many upgrade status polls with a failure
    bool never_come_back = false;       // stay silent after the upgrade reboot
    std::int32_t ignore_command = 0;    // never answer this config command (a hung device)
};

// Parses "key=value,key=value" (keys as the field names above, never_come_back
// without a value) into `faults`. Returns "" or an error text.
std::string parse_device_faults(const std::string& text, DeviceFaults& faults);

// Per-device settings of the device side, from the command line or the config file.
struct DeviceSideOptions {
    std::map<std::string, std::string> accounts{{"Admin", "tovik"}};
    int max_sessions = 10;
    // A second port every camera listens on besides its command port (0: none):
    // the factory test bench logs in on a fixed port, whatever discovery says.
    std::uint16_t bench_port = 0;
    std::int64_t reboot_ms = 30000;
    std::map<std::string, DeviceFaults> faults;  // by MAC; "*" = every camera
    std::string dump_path;                       // JSON state dump at exit and on SIGUSR1

    const DeviceFaults* faults_for(const std::string& mac) const;
};
