#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "batch/device_table.h"
#include "batch/firmware_preflight.h"
#include "batch/job_params.h"
#include "batch/job_steps.h"
#include "batch/plan_file.h"
#include "cli/batch_command.h"

// A batch job as the command line asked for it, checked like the dialog's
// buttons check their fields.
struct BatchPlan {
    JOB_STEPS steps{};
    JobParams params;
    std::string firmware;
    FirmwarePreflight firmware_check;  // of `firmware`, made while planning
    // The file is not in the native format: only ONVIF cameras take it.
    bool firmware_for_onvif_only = false;
    std::string range_start;
    std::string range_end;
    DevicePlan devices;                     // the --plan file's cameras
    std::vector<PlanProblem> plan_problems; // why the plan file was refused
};

// Fills `plan` from the options. Returns "" when the job is acceptable,
// else the reason (a language-file key or a plain explanation).
std::string plan_batch_job(const BatchCliOptions& options, BatchPlan& plan);

// What the jobs cannot do with the selected devices (one fixed address for
// several, an address range over several waves, a firmware file none of
// them takes); "" when nothing.
std::string refuse_selection(const BatchCliOptions& options, const BatchPlan& plan,
                             const std::vector<ListedDevice>& selected);

// A dotted IPv4 address other than 255.255.255.255.
bool is_valid_ip(const std::string& text);
