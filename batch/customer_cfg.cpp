#include "batch/customer_cfg.h"

#include <cstring>

#include "batch/text_limits.h"
#include "runtime/trace.h"

namespace {

// Group-1 devices take a fixed video standard and have no password or WiFi
// channel settings.
constexpr std::int32_t kGroup1VideoStandard = 5;

}  // namespace

bool fill_customer_cfg(CUSTOMER_CFG& cfg, const JOB_STEPS& steps, const JobParams& params,
                       bool group1) {
    bool filled = false;
    if (group1) {
        cfg.set_video_standard = 1;
        cfg.video_standard = kGroup1VideoStandard;
    }
    if (steps.change_video_standard && !group1) {
        cfg.video_standard = params.video_standard_index + 1;
        cfg.set_video_standard = 1;
        debug_print("-------customer_cfg.video_standard=%d \n", cfg.video_standard);
        filled = true;
    }
    if (steps.change_time_zone) {
        cfg.time_zone = (params.time_zone_index - 12) * 3600;
        cfg.set_time_zone = 1;
        debug_print("-------customer_cfg.time_zone=%d \n", cfg.time_zone);
        filled = true;
    }
    if (steps.change_time_format) {
        cfg.time_format = params.time_format_index;
        cfg.set_time_format = 1;
        debug_print("-------customer_cfg.time_format=%d \n", cfg.time_format);
        filled = true;
    }
    if (steps.change_dhcp) {
        cfg.dhcp_enable = params.dhcp_checked != 0 ? 1 : 0;
        cfg.set_network = 1;
        debug_print("-------customer_cfg.dhcp_enable=%d \n", cfg.dhcp_enable);
        filled = true;
    }
    if (steps.change_language) {
        cfg.language = params.language_index;
        cfg.set_language = 1;
        debug_print("-------customer_cfg.language=%d \n", cfg.language);
        filled = true;
    }
    if (steps.change_password && !group1) {
        // start_upgrade refuses longer passwords; the cut only guards the field.
        std::string password = cut_utf8(params.default_password, kMaxDevicePasswordBytes);
        std::memset(cfg.password, 0, sizeof cfg.password);
        std::memcpy(cfg.password, password.data(), password.size());
        cfg.set_password = 1;
        debug_print("-------customer_cfg.password=%s \n", cfg.password);
        filled = true;
    }
    if (steps.change_max_wifi_ch && !group1) {
        cfg.wifi_ch_max = leading_number(params.max_channel_text);
        cfg.set_wifi_ch_max = 1;
        debug_print("-------customer_cfg.wifi_ch_max=%d \n", cfg.wifi_ch_max);
        filled = true;
    }
    if (steps.change_deafult_ch && !group1) {
        cfg.wifi_ch_default = leading_number(params.default_channel_text);
        cfg.set_wifi_ch_default = 1;
        debug_print("-------customer_cfg.wifi_ch_default=%d \n", cfg.wifi_ch_default);
        filled = true;
    }
    return filled;
}
