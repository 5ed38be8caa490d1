#include "batch/job_steps.h"

#include <cstring>

#include "batch/text_limits.h"
#include "runtime/trace.h"

bool only_step(const JOB_STEPS& steps, JobStepField field) {
    JOB_STEPS alone{};
    alone.*field = 1;
    return std::memcmp(&steps, &alone, sizeof alone) == 0;
}

bool waits_at_ip_change_barrier(const JOB_STEPS& steps) {
    return (steps.change_auto_ip && !only_step(steps, &JOB_STEPS::change_auto_ip)) ||
           (steps.change_ip && !only_step(steps, &JOB_STEPS::change_ip));
}

namespace {

std::uint8_t read_box(int state, const char* name) {
    std::uint8_t value = state != 0 ? 1 : 0;
    TRACE_MSG("check_update_step", "--- m_dostep.%s=%d ", name, value);
    return value;
}

bool command_is_blocked(const std::string& command_text) {
    std::string narrow = cut_utf8(command_text, 127);
    return narrow.find("reboot") != std::string::npos || narrow.find("top") != std::string::npos;
}

}  // namespace

JOB_STEPS check_update_step(const StepCheckBoxes& boxes, const std::string& command_text) {
    JOB_STEPS steps{};
    steps.change_auto_ip = read_box(boxes.auto_ip, "change_auto_ip");
    steps.change_video_standard = read_box(boxes.video_standard, "change_video_standard");
    steps.change_time_zone = read_box(boxes.time_zone, "change_time_zone");
    steps.change_time_format = read_box(boxes.time_format, "change_time_format");
    steps.change_time_sync = read_box(boxes.time_sync, "change_time_sync");
    steps.change_dhcp = read_box(boxes.dhcp, "change_dhcp");
    steps.change_ip = read_box(boxes.set_network, "change_ip");
    steps.change_logo = read_box(boxes.logo, "change_logo");
    steps.change_language = read_box(boxes.language, "change_language");
    steps.change_password = read_box(boxes.password, "change_password");
    steps.change_max_wifi_ch = read_box(boxes.max_wifi_ch, "change_max_wifi_ch");
    steps.change_deafult_ch = read_box(boxes.default_wifi_ch, "change_deafult_ch");
    steps.change_UID = read_box(boxes.uid, "change_UID");
    steps.send_command =
        read_box(command_is_blocked(command_text) ? 0 : boxes.send_command, "send_command");
    steps.need_update = read_box(boxes.upgrade, "need_update");
    return steps;
}
