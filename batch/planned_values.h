#pragma once

#include <map>
#include <optional>
#include <string>

#include "batch/job_params.h"
#include "batch/job_steps.h"

// One device's own values of a job, from a plan that names the device by
// its MAC: its fixed address, its DHCP setting, its cloud UID. An empty
// text (no dhcp) is a value the plan leaves to the job.
struct PlannedValues {
    std::string ip;       // fixed address; mask and gateway come only with it
    std::string mask;     // "" with the gateway "": the device keeps its own
    std::string gateway;
    std::optional<bool> dhcp;
    std::string uid;

    bool empty() const { return ip.empty() && !dhcp && uid.empty(); }
    // The plan decides this device's network setting (address or DHCP).
    bool plans_network() const { return !ip.empty() || dhcp.has_value(); }
};

// The planned devices of a job by MAC, in the form normalise_mac() gives
// ("AA:BB:CC:DD:EE:FF", search/mac_text.h): a plan may write a MAC in any
// case and separator style.
using PlannedByMac = std::map<std::string, PlannedValues>;

// The planned values of the device listed with `mac`; null when it has none.
const PlannedValues* planned_for(const PlannedByMac& plan, const std::string& mac);

// Where a device is now, as discovery lists it.
struct ListedNetwork {
    std::string ip;
    std::string mask;
    std::string gateway;
};

// One device's steps: the job's, with the device's planned values in place
// of the job's own for the same setting. A planned network setting (address
// or DHCP) replaces the job's network steps for this device; a planned UID
// replaces the job's UID. A planned address the device already has (with the
// planned mask and gateway, where given) asks for no change. A reset job
// takes no planned values.
JOB_STEPS planned_steps(const JOB_STEPS& job, const PlannedValues& planned, const ListedNetwork& listed);

// One device's fields: the job's, with its planned values in their place.
JobParams planned_params(const JobParams& job, const PlannedValues& planned);
