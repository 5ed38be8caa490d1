#include "batch/planned_values.h"

#include "search/mac_text.h"

const PlannedValues* planned_for(const PlannedByMac& plan, const std::string& mac) {
    if (plan.empty()) return nullptr;
    const std::optional<std::string> key = normalise_mac(mac);
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
