#include "batch/customer_cfg.h"

#include <cstring>

#include "batch/text_limits.h"
#include "runtime/trace.h"

namespace {

// Group-1 devices take a fixed video standard and have no password or WiFi
// channel settings.
constexpr std::int32_t kGroup1VideoStandard = 5;

// Gives one setting its value and its apply flag, and traces it.
bool apply(std::int32_t& flag, std::int32_t& field, std::int32_t value, const char* name) {
    field = value;
    flag = 1;
    TRACE_MSG("fill_customer_cfg", "-------customer_cfg.%s=%d \n", name, field);
    return true;
}

}  // namespace

bool fill_customer_cfg(CUSTOMER_CFG& cfg, const JOB_STEPS& steps, const JobParams& params, bool group1) {
    bool filled = false;
    if (group1) {
        cfg.set_video_standard = 1;
        cfg.video_standard = kGroup1VideoStandard;
    }
    if (steps.change_video_standard && !group1)
        filled |= apply(cfg.set_video_standard, cfg.video_standard, params.video_standard_index + 1,
                        "video_standard");
    if (steps.change_time_zone)
        filled |= apply(cfg.set_time_zone, cfg.time_zone, (params.time_zone_index - 12) * 3600, "time_zone");
    if (steps.change_time_format)
        filled |= apply(cfg.set_time_format, cfg.time_format, params.time_format_index, "time_format");
    if (steps.change_dhcp)
        filled |= apply(cfg.set_network, cfg.dhcp_enable, params.dhcp_checked != 0 ? 1 : 0, "dhcp_enable");
    if (steps.change_language)
        filled |= apply(cfg.set_language, cfg.language, params.language_index, "language");
    if (steps.change_password && !group1) {
        // start_upgrade refuses longer passwords; the cut only guards the field.
        std::string password = cut_utf8(params.default_password, kMaxDevicePasswordBytes);
        std::memset(cfg.password, 0, sizeof cfg.password);
        std::memcpy(cfg.password, password.data(), password.size());
        cfg.set_password = 1;
        TRACE_MSG("fill_customer_cfg", "-------customer_cfg.password=%s \n", cfg.password);
        filled = true;
    }
    if (steps.change_max_wifi_ch && !group1)
        filled |= apply(cfg.set_wifi_ch_max, cfg.wifi_ch_max, leading_number(params.max_channel_text),
                        "wifi_ch_max");
    if (steps.change_deafult_ch && !group1)
        filled |= apply(cfg.set_wifi_ch_default, cfg.wifi_ch_default,
                        leading_number(params.default_channel_text), "wifi_ch_default");
    return filled;
}
