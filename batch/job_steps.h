#pragma once

#include <cstdint>
#include <string>

// The steps of one batch job, one byte each (0 or 1). The workers compare the
// whole record with "nothing but this step" patterns, so it holds exactly
// these 17 bytes and nothing else.
struct JOB_STEPS {
    std::uint8_t change_auto_ip;
    std::uint8_t change_video_standard;
    std::uint8_t change_time_zone;
    std::uint8_t change_time_format;
    std::uint8_t change_time_sync;
    std::uint8_t change_dhcp;
    std::uint8_t change_logo;
    std::uint8_t change_language;
    std::uint8_t change_password;
    std::uint8_t change_UID;
    std::uint8_t change_max_wifi_ch;
    std::uint8_t change_deafult_ch;
    std::uint8_t change_ip;
    std::uint8_t send_command;
    std::uint8_t need_update;
    std::uint8_t restore_factory;
    std::uint8_t reset_pwd;
};
static_assert(sizeof(JOB_STEPS) == 17, "the step record is exactly 17 one-byte flags");

// Pointer to one flag of the record, so callers can name "this step alone".
using JobStepField = std::uint8_t JOB_STEPS::*;

// True when `field` is set and no other byte of the record is.
bool only_step(const JOB_STEPS& steps, JobStepField field);

// True when a worker with these steps meets the others at the IP-change
// barrier: it changes an address and has more to do after the change.
bool waits_at_ip_change_barrier(const JOB_STEPS& steps);

// The states of the job's check boxes (0 unchecked, anything else checked).
struct StepCheckBoxes {
    int auto_ip = 0;          // 1062
    int video_standard = 0;   // 1051
    int time_zone = 0;        // 1050
    int time_format = 0;      // 1063
    int time_sync = 0;        // 1064
    int dhcp = 0;             // 1068
    int set_network = 0;      // 1072
    int logo = 0;             // 1065
    int language = 0;         // 1066
    int password = 0;         // 1067
    int max_wifi_ch = 0;      // 1070
    int default_wifi_ch = 0;  // 1071
    int uid = 0;              // 1076
    int send_command = 0;     // 1073
    int upgrade = 0;          // 1083
};

// Turns the check boxes into the step record. The shell command is never
// sent when its text (cut to 127 bytes) contains "reboot" or "top": those
// would take the device away or never return. The two reset steps stay 0;
// only their own buttons set them.
JOB_STEPS check_update_step(const StepCheckBoxes& boxes, const std::string& command_text);
