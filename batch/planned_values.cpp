#include "batch/planned_values.h"

#include <cctype>

namespace {

// Digits between separators, and the separator, of each way of writing a MAC.
struct MacStyle {
    std::size_t length;
    std::size_t group;
    const char* separators;  // one of them, the same throughout
};
constexpr MacStyle kMacStyles[] = {{17, 2, ":-"}, {14, 4, "."}, {12, 12, ""}};

bool matches_style(std::string_view text, const MacStyle& style, std::string& digits) {
    if (text.size() != style.length) return false;
    const char separator = style.group < 12 ? text[style.group] : '\0';
    if (style.group < 12 && std::string_view(style.separators).find(separator) == std::string_view::npos) return false;
    digits.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool separator_place = style.group < 12 && i % (style.group + 1) == style.group;
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (separator_place ? text[i] != separator : std::isxdigit(c) == 0) return false;
        if (!separator_place) digits += static_cast<char>(std::toupper(c));
    }
    return true;
}

}  // namespace

std::optional<std::string> canonical_mac(std::string_view text) {
    std::string digits;
    for (const MacStyle& style : kMacStyles) {
        if (!matches_style(text, style, digits)) continue;
        std::string mac;
        for (std::size_t i = 0; i < digits.size(); i += 2) {
            if (i > 0) mac += ':';
            mac.append(digits, i, 2);
        }
        return mac;
    }
    return std::nullopt;
}

const PlannedValues* planned_for(const PlannedByMac& plan, const std::string& mac) {
    if (plan.empty()) return nullptr;
    const std::optional<std::string> key = canonical_mac(mac);
    if (!key) return nullptr;
    auto found = plan.find(*key);
    return found == plan.end() ? nullptr : &found->second;
}

namespace {

bool already_there(const PlannedValues& planned, const ListedNetwork& listed) {
    return listed.ip == planned.ip && (planned.mask.empty() || listed.mask == planned.mask) &&
           (planned.gateway.empty() || listed.gateway == planned.gateway);
}

}  // namespace

JOB_STEPS planned_steps(const JOB_STEPS& job, const PlannedValues& planned, const ListedNetwork& listed) {
    JOB_STEPS steps = job;
    // A reset runs alone, and would undo what the plan set.
    if (job.restore_factory || job.reset_pwd) return steps;
    if (planned.plans_network()) {
        steps.change_ip = !planned.ip.empty() && !already_there(planned, listed) ? 1 : 0;
        steps.change_dhcp = planned.dhcp ? 1 : 0;
    }
    if (!planned.uid.empty()) steps.change_UID = 1;
    return steps;
}

JobParams planned_params(const JobParams& job, const PlannedValues& planned) {
    JobParams params = job;
    if (!planned.ip.empty()) {
        params.net_ip = planned.ip;
        params.net_mask = planned.mask;
        params.net_gateway = planned.gateway;
    }
    if (planned.dhcp) params.dhcp_checked = *planned.dhcp ? 1 : 0;
    if (!planned.uid.empty()) params.uid = planned.uid;
    return params;
}
