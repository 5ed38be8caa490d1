#include "cli/batch_plan.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <cstdio>

#include "batch/text_limits.h"
#include "runtime/regular_file.h"

namespace {

std::string prefix_of(const std::string& address) {
    std::size_t dot = address.rfind('.');
    return dot == std::string::npos ? address : address.substr(0, dot);
}

// The range rule of the dialog: a bad end takes the good one's value, both
// ends must share their first three parts.
std::string plan_range(const std::string& range, BatchPlan& plan) {
    std::size_t dash = range.find('-');
    std::string start = range.substr(0, dash);
    std::string end = dash == std::string::npos ? start : range.substr(dash + 1);
    auto bad = [](const std::string& a) { return a.empty() || a == "0.0.0.0" || !is_valid_ip(a); };
    if (bad(start) && bad(end)) return "IDS_INVALID_IP_ADDR";
    if (bad(start)) start = end;
    if (bad(end)) end = start;
    if (prefix_of(start) != prefix_of(end)) return "IDS_IP_RANGE_DISMATCH";
    plan.steps.change_auto_ip = 1;
    plan.range_start = start;
    plan.range_end = end;
    return "";
}

// One or two decimal digits at `pos`; -1 when there are none or more.
int small_number(const std::string& t, std::size_t& pos) {
    std::size_t start = pos;
    int value = 0;
    while (pos < t.size() && std::isdigit(static_cast<unsigned char>(t[pos])) && pos - start < 3)
        value = value * 10 + (t[pos++] - '0');
    return pos == start || pos - start > 2 ? -1 : value;
}

// "20" (the list index), or an offset in whole hours as the dialog's list
// shows it ("UTC:+08:00") or shorter ("UTC+08:00", "+8") -> list index
// 0..24; -1 when the text is none of these.
int time_zone_index(const std::string& text) {
    std::string t = text.rfind("UTC", 0) == 0 ? text.substr(3) : text;
    if (!t.empty() && t[0] == ':') t.erase(0, 1);
    std::size_t pos = 0;
    const bool offset = !t.empty() && (t[0] == '+' || t[0] == '-');
    if (offset) pos = 1;
    int number = small_number(t, pos);
    if (offset && t.compare(pos, std::string::npos, ":00") == 0) pos += 3;
    if (number < 0 || pos != t.size()) return -1;
    if (!offset) return number <= 24 ? number : -1;
    return number > 12 ? -1 : 12 + (t[0] == '+' ? number : -number);
}

std::string plan_network(const BatchCliOptions& o, BatchPlan& plan, StepCheckBoxes& boxes) {
    if (o.dhcp && o.net_ip) return "--dhcp and --ip exclude each other";
    if (o.dhcp) {
        if (*o.dhcp != "on" && *o.dhcp != "off") return "--dhcp takes on or off";
        boxes.dhcp = 1;
        plan.params.dhcp_checked = *o.dhcp == "on";
    }
    if (o.net_ip) {
        for (const std::string* field : {&*o.net_ip, &o.net_mask, &o.net_gateway})
            if (!field->empty() && !is_valid_ip(*field)) return "IDS_INVALID_IP_ADDR";
        boxes.set_network = 1;
        plan.params.net_ip = *o.net_ip;
        plan.params.net_mask = o.net_mask;
        plan.params.net_gateway = o.net_gateway;
    }
    return "";
}

std::string plan_settings(const BatchCliOptions& o, BatchPlan& plan, StepCheckBoxes& boxes) {
    JobParams& p = plan.params;
    if (o.time_zone) {
        p.time_zone_index = time_zone_index(*o.time_zone);
        if (p.time_zone_index < 0) return "--time-zone takes 0..24 or UTC-12:00..UTC+12:00";
        boxes.time_zone = 1;
    }
    if (o.time_format) {
        if (*o.time_format < 0 || *o.time_format > 3) return "--time-format takes 0..3";
        p.time_format_index = *o.time_format;
        boxes.time_format = 1;
    }
    if (o.video_standard) {
        if (*o.video_standard != "NTSC" && *o.video_standard != "PAL") return "--video-standard takes NTSC or PAL";
        p.video_standard_index = *o.video_standard == "PAL" ? 1 : 0;
        boxes.video_standard = 1;
    }
    if (o.language) {
        if (*o.language < 0 || *o.language > 20) return "--language takes 0..20";
        p.language_index = *o.language;
        boxes.language = 1;
    }
    if (o.default_password) {
        p.default_password = *o.default_password;
        boxes.password = 1;
    }
    if (o.max_channel) {
        if (*o.max_channel < 10 || *o.max_channel > 14) return "--max-channel takes 10..14";
        p.max_channel_text = std::to_string(*o.max_channel);
        boxes.max_wifi_ch = 1;
    }
    if (o.default_channel) {
        int channel = *o.default_channel == "auto" ? 0 : std::atoi(o.default_channel->c_str());
        if (channel < 0 || channel > 14 || (channel == 0 && *o.default_channel != "auto"))
            return "--default-channel takes auto or 1..14";
        p.default_channel_text = channel == 0 ? "auto" : std::to_string(channel);
        boxes.default_wifi_ch = 1;
    }
    return "";
}

// Reads the plan file; its values are steps of the cameras it names.
std::string plan_devices(const BatchCliOptions& o, BatchPlan& plan) {
    plan.plan_problems = read_plan_file(*o.plan, plan.devices);
    if (!plan.plan_problems.empty()) return "IDS_PLAN_REFUSED";
    const bool addresses = std::any_of(plan.devices.entries.begin(), plan.devices.entries.end(),
                                       [](const PlanEntry& e) { return !e.values.ip.empty(); });
    if (addresses && o.ip_range) return "IDS_PLAN_AND_RANGE";
    return "";
}

bool plans_values(const DevicePlan& devices) {
    return std::any_of(devices.entries.begin(), devices.entries.end(),
                       [](const PlanEntry& e) { return !e.values.empty(); });
}

}  // namespace

bool is_valid_ip(const std::string& text) {
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1 && address.s_addr != 0xFFFFFFFFu;
}

std::string plan_batch_job(const BatchCliOptions& o, BatchPlan& plan) {
    if (o.user.empty()) return "IDS_INPUT_USER_NAME";
    plan.params.user = o.user;
    plan.params.pwd = o.password;
    bool resets = o.factory_reset || o.reset_password;
    if (o.plan) {
        std::string refused = plan_devices(o, plan);
        if (!refused.empty()) return refused;
    }
    StepCheckBoxes boxes;
    if (o.upgrade) {
        if (o.upgrade->size() <= 7) return "IDS_INVALID_UPGRADE_FILE";
        // The whole file is checked before anything is sent: a damaged file
        // would be sent in full to every device only to be refused by each.
        plan.firmware_check = preflight_firmware_file(*o.upgrade);
        if (plan.firmware_check.fault == FirmwareFault::Unreadable) return "IDS_INVALID_UPGRADE_FILE";
        // A file in another format may be an ONVIF camera's own: it is sent
        // to those as it is, and native devices refuse it without a byte sent.
        plan.firmware_for_onvif_only = firmware_for_onvif_only(plan.firmware_check);
        if (!plan.firmware_check.ok() && !plan.firmware_for_onvif_only)
            return std::string("firmware file refused (") + firmware_fault_text(plan.firmware_check.fault) +
                   "): nothing was sent";
        plan.firmware = *o.upgrade;
        boxes.upgrade = 1;
    }
    if (o.ip_range) {
        std::string refused = plan_range(*o.ip_range, plan);
        if (!refused.empty()) return refused;
        boxes.auto_ip = 1;
    }
    for (auto step : {plan_network, plan_settings}) {
        std::string refused = step(o, plan, boxes);
        if (!refused.empty()) return refused;
    }
    if (o.logo) {
        if (!is_regular_file(*o.logo)) return "logo file is not a regular file: " + *o.logo;
        plan.params.logo_path = *o.logo;
        boxes.logo = 1;
    }
    boxes.time_sync = o.time_sync;
    if (o.command) {
        plan.params.command = *o.command;
        boxes.send_command = 1;
    }
    if (o.uid) {
        plan.params.uid = *o.uid;
        boxes.uid = 1;
    }
    if (o.ntp) {
        if (!is_host_name_or_ip(*o.ntp)) return "--ntp takes an IPv4 address or a host name";
        plan.params.ntp_server = *o.ntp;
    }
    plan.steps = check_update_step(boxes, plan.params.command);
    if (o.command && !plan.steps.send_command) return "commands containing \"reboot\" or \"top\" are not sent";
    bool any = std::any_of(reinterpret_cast<const std::uint8_t*>(&plan.steps),
                           reinterpret_cast<const std::uint8_t*>(&plan.steps) + sizeof plan.steps,
                           [](std::uint8_t b) { return b != 0; });
    const bool planned = plans_values(plan.devices);
    if (resets) {
        // Like their buttons, the resets run on their own.
        if (any || planned || o.ntp || (o.factory_reset && o.reset_password))
            return "a reset runs alone, without other steps";
        plan.steps.restore_factory = o.factory_reset;
        plan.steps.reset_pwd = o.reset_password;
        return "";
    }
    return any || planned || o.ntp ? "" : "no step given";
}

// What the selection asks that the jobs cannot do; "" when none.
std::string refuse_selection(const BatchCliOptions& o, const BatchPlan& plan,
                             const std::vector<ListedDevice>& selected) {
    if (plan.steps.change_ip && selected.size() > 1)
        return "--ip gives one fixed address, but " + std::to_string(selected.size()) +
               " devices are selected: choose one with --device";
    // Each wave picks free addresses among the devices it lists: a second
    // wave would hand out the first one's addresses again.
    if (plan.steps.change_auto_ip && selected.size() > static_cast<std::size_t>(o.parallel))
        return "--ip-range works on at most --parallel devices (" + std::to_string(o.parallel) + "), but " +
               std::to_string(selected.size()) + " are selected";
    bool any_onvif = std::any_of(selected.begin(), selected.end(),
                                 [](const ListedDevice& d) { return d.protocol == DeviceProtocol::onvif; });
    if (plan.firmware_for_onvif_only && !any_onvif)
        return std::string("firmware file refused (") + firmware_fault_text(FirmwareFault::BadMagic) +
               ", and no ONVIF camera is selected): nothing was sent";
    return "";
}

