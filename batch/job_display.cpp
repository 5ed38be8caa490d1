#include "batch/job_display.h"

#include <algorithm>

ReportAction handle_job_report(const JobReport& report, CDeviceTable& table, JobDisplay& display) {
    switch (report.kind) {
        case REPORT_PROGRESS:
            display.progress = std::max(display.progress, std::clamp(static_cast<int>(report.data), 0, 100));
            return ReportAction::None;
        case REPORT_RUN_STATE:
            return ReportAction::RunStateChanged;
        case REPORT_COUNT:
            if (report_high(report.data) < display.devices_back) return ReportAction::None;
            display.devices_back = report_high(report.data);
            display.count_text =
                std::to_string(report_high(report.data)) + "/" + std::to_string(report_low(report.data));
            return ReportAction::None;
        case REPORT_STATUS:
            table.apply_status(report_high(report.data), report_low(report.data));
            return ReportAction::None;
        case REPORT_ALL_FINISHED:
            return ReportAction::AllFinished;
        default:  // IP changes and finished devices are counted by the engine
            return ReportAction::None;
    }
}
