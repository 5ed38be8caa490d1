#pragma once

#include <string>

#include "batch/device_table.h"
#include "batch/job_report.h"

// What a front end shows of a running job besides the rows.
// Progress and count only grow during a job: workers post them after
// counting, so two of them may arrive in the other order, and the higher
// value is kept. A front end starts each job with a fresh display.
struct JobDisplay {
    int progress = 0;        // percent, 0..100
    int devices_back = -1;   // the count's first number; -1 before the first count
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
