#pragma once

#include <string>

// Every input field a batch job reads, copied when the job starts. Workers
// read only this copy, so a front end may change its own fields (or be busy
// waiting for the workers) while the job runs. Texts are UTF-8.
struct JobParams {
    std::string user = "Admin";        // login user of every device
    std::string pwd;                   // login password
    std::string logo_path;             // logo file (*.jpg)
    std::string command;               // shell command line
    std::string uid;                   // cloud UID
    int video_standard_index = 0;      // 0 NTSC, 1 PAL
    int time_zone_index = 20;          // 0..24, UTC-12 .. UTC+12
    int time_format_index = 0;         // 0..3
    int language_index = 2;            // 0..20
    int dhcp_checked = 0;              // DHCP on (1) or off (0)
    std::string default_password;      // new device password, at most 31 bytes
    std::string max_channel_text = "14";   // "10".."14"
    std::string default_channel_text;      // "1".."14"; the "auto" text reads as 0
    std::string net_ip;                // fixed network address
    std::string net_mask;
    std::string net_gateway;
    std::string ntp_server;            // ONVIF cameras' time server; "" = not set
};
