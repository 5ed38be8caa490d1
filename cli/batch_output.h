#pragma once

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "batch/device_table.h"
#include "batch/job_display.h"
#include "batch/job_report.h"

// Shows the jobs of one command (its waves, one after the other) as one
// table: a line per device with its six step marks and latest status text,
// and the progress of the whole command. On a terminal the current wave's
// lines and the progress are redrawn in place; elsewhere each device gets
// one line when it reaches its final state and the progress one every 10 %;
// with `json` every report of the engine is one JSON object. Devices are
// numbered across the waves ("row" 0..devices-1).
class BatchOutput {
public:
    BatchOutput(std::FILE* out, bool json, int devices, int waves);

    // The next wave; its table's rows are the command's rows first, first+1...
    void begin_wave(int first, int size);
    // Called for every report after the wave's table and display took it.
    void report(const JobReport& report, const CDeviceTable& table, const JobDisplay& display);
    // The wave has ended: rows that never finished are final as they stand
    // (the caller wrote into their status why the job left them out).
    void end_wave(const CDeviceTable& table, const JobDisplay& display);
    // A device of the command that no job worked on, as it stands.
    void left_out(int row, const DeviceRow& device);
    // After the last wave: a summary line (not with json); devices that
    // already ran the firmware's version count as finished, and are told.
    void finish();

    // True when any device failed or was not worked on.
    bool any_failed() const { return !m_failed.empty(); }

private:
    struct WaveRow {
        int index = 0;  // the command's row
        std::vector<int> codes;  // status codes, in order
        bool finished = false;
    };
    WaveRow* wave_row(int row);
    int overall_progress(const JobDisplay& display) const;
    std::string progress_line(const JobDisplay& display) const;
    void json_line(const JobReport& report, const CDeviceTable& table);
    void plain_line(const JobReport& report, const CDeviceTable& table, const JobDisplay& display);
    void redraw(const CDeviceTable& table, const JobDisplay& display);
    bool failed(const WaveRow& row, const DeviceRow& device) const;

    std::FILE* m_out;
    bool m_json;
    bool m_tty;
    int m_devices;
    int m_waves;
    int m_wave = 0;         // 1-based number of the current wave
    int m_first = 0;        // the command's row of the wave's row 0
    std::vector<WaveRow> m_rows;  // the current wave's
    int m_drawn_lines = 0;
    int m_printed_tenths = -1;  // the last progress printed off a terminal, in tens of percent
    std::set<int> m_failed;    // the command's rows that failed or were not worked on
    std::set<int> m_already_current;  // rows whose device needed no flash
};

// One device's line: its number in the command (from 1), MAC, IP, the six
// marks, the status text.
std::string device_line(int number, const DeviceRow& row);
