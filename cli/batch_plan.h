#pragma once

#include <cstddef>
#include <string>

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
    std::string range_start;
    std::string range_end;
    DevicePlan devices;                     // the --plan file's cameras
    std::vector<PlanProblem> plan_problems; // why the plan file was refused
};

// Fills `plan` from the options. Returns "" when the job is acceptable,
// else the reason (a language-file key or a plain explanation).
std::string plan_batch_job(const BatchCliOptions& options, BatchPlan& plan);

// What the jobs cannot do with `selected` devices (one fixed address for
// several, an address range over several waves); "" when nothing.
std::string refuse_selection(const BatchCliOptions& options, const BatchPlan& plan, std::size_t selected);

// A dotted IPv4 address other than 255.255.255.255.
bool is_valid_ip(const std::string& text);
