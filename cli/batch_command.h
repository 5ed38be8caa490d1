#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Options of "tervane-cli batch": discover the devices, pick some, run batch
// jobs on them (one after the other, each on at most `parallel` devices) and
// show their progress as one.
struct BatchCliOptions {
    // discovery
    std::string card;               // local address to sweep from ("" = every interface)
    double listen_seconds = 3;      // how long to collect devices before the job
    int expect = 0;                 // stop collecting once this many are listed
    double sweep_seconds = 5;       // search again this often, so rebooted devices are heard
    std::string broadcast = "255.255.255.255";
    std::uint16_t local_port = 12000;
    std::uint16_t device_port = 13000;
    std::string protocol = "all";           // native | onvif | all
    std::vector<std::string> addresses;     // asked directly: A, A,B,... or START-END
    // devices
    bool all = false;
    std::vector<std::string> devices;  // MAC or IP
    std::optional<std::string> plan;   // a plan file: its cameras, each with its own values
    int parallel = 100;                // devices per job (wave)
    // login
    std::string user = "Admin";
    std::string password;
    // steps
    std::optional<std::string> upgrade;
    std::optional<std::string> dhcp;          // on | off
    std::optional<std::string> net_ip;
    std::string net_mask;
    std::string net_gateway;
    std::optional<std::string> ip_range;      // START-END
    std::optional<std::string> time_zone;     // index 0..24 or UTC+08:00
    std::optional<int> time_format;
    std::optional<std::string> video_standard;  // NTSC | PAL
    std::optional<int> language;
    std::optional<std::string> default_password;
    std::optional<int> max_channel;
    std::optional<std::string> default_channel;  // auto | 1..14
    std::optional<std::string> logo;
    bool time_sync = false;
    std::optional<std::string> ntp;           // time server for ONVIF cameras
    std::optional<std::string> command;
    std::optional<std::string> uid;
    bool factory_reset = false;
    bool reset_password = false;
    // output
    std::string report;  // job report files: <report>.json and <report>.csv
    bool json = false;
    bool trace = false;
    double time_speed = 1;
};

// Runs the jobs; the exit code is 0 when every device succeeded, 1 when any
// device failed or was not worked on (or the jobs were stopped, or the report
// could not be written), 2 for input the job refused, 3 when no device was
// selected.
int run_batch_command(const BatchCliOptions& options);
