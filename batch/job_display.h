#pragma once

#include <string>

#include "batch/device_table.h"
#include "batch/job_report.h"

// What a front end shows of a running job besides the rows.
struct JobDisplay {
    int progress = 0;        // percent, 0..100
    std::string count_text;  // "devices back/workers"
};

// What the front end has to do after a report, beyond redrawing.
enum class ReportAction {
    None,
    RunStateChanged,  // the job started or ended: update the controls
    AllFinished,      // the last device finished: tell the user
};

// Applies one report on the front end's thread: progress and count into the
// display, status codes into the device's row.
ReportAction handle_job_report(const JobReport& report, CDeviceTable& table, JobDisplay& display);
