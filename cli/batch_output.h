#pragma once

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "batch/device_table.h"
#include "batch/job_display.h"
#include "batch/job_report.h"

// Shows a running batch job on a terminal: a progress bar, the count and one
// line per device with its six step marks and latest status text (redrawn in
// place on a terminal, appended otherwise), or one JSON object per report.
class BatchOutput {
public:
    BatchOutput(std::FILE* out, bool json, std::vector<int> rows);

    // Called for every report after the table and display took it.
    void report(const JobReport& report, const CDeviceTable& table, const JobDisplay& display);
    // The final picture of the job.
    void finish(const CDeviceTable& table, const JobDisplay& display);

    // True when any device of the job ended with a failure.
    bool any_failed(const CDeviceTable& table) const;

private:
    void note_status(int row, int code);
    void json_line(const JobReport& report, const CDeviceTable& table);
    void redraw(const CDeviceTable& table, const JobDisplay& display);
    std::string row_line(const DeviceRow& row) const;

    std::FILE* m_out;
    bool m_json;
    bool m_tty;
    std::vector<int> m_rows;
    int m_drawn_lines = 0;
    int m_last_progress = -1;
    std::map<int, std::vector<int>> m_codes;  // status codes per row, in order
};
