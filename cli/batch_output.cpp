#include "cli/batch_output.h"

#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "cli/terminal_text.h"

namespace {

const char* kind_name(int kind) {
    static const char* names[] = {"progress", "run_state", "count", "status", "ip_changed", "finished", "all_finished"};
    return kind >= 0 && kind <= REPORT_ALL_FINISHED ? names[kind] : "unknown";
}

std::string bar(int percent) {
    constexpr int kWidth = 30;
    int filled = percent * kWidth / 100;
    return "[" + std::string(filled, '#') + std::string(kWidth - filled, '-') + "]";
}

// Status codes whose message is a failure although they carry no mark.
bool is_failure_message(int code) { return code == 0 || code == 1 || code == 29; }

// A stop that caught the device before its end: not worked on to the end,
// although the worker finished.
bool stopped_before_the_end(const std::vector<int>& codes) {
    return !codes.empty() && (codes.back() == kStatusStopped || codes.back() == kStatusStoppedAfterFlash);
}

// "Retry later" (7) is a failure unless a later pass flashed the device (8)
// or found it on the firmware's version already (a transfer given up on our
// side may have reached the device whole).
bool retry_left_unflashed(const std::vector<int>& codes) {
    auto retry = std::find(codes.rbegin(), codes.rend(), 7);
    if (retry == codes.rend()) return false;
    return std::none_of(codes.rbegin(), retry, [](int code) { return code == 8 || code == kStatusAlreadyCurrent; });
}

int row_of(const JobReport& report) {
    switch (report.kind) {
        case REPORT_STATUS: return report_high(report.data);
        case REPORT_IP_CHANGED:
        case REPORT_FINISHED: return static_cast<int>(report.data);
        default: return -1;
    }
}

}  // namespace

std::string device_line(int number, const DeviceRow& row) {
    char index[16];
    std::snprintf(index, sizeof index, "%02d", number);
    std::string line = std::string(index) + " " + terminal_text(row.mac) + " " + terminal_text(row.ip) + " ";
    for (int column = COL_NETWORK; column < COL_STATUS; ++column) {
        const std::string& mark = row.results[column - COL_NETWORK];
        line += " " + (mark.empty() ? std::string(" ") : mark);
    }
    return line + "  " + row.results[COL_STATUS - COL_NETWORK];
}

BatchOutput::BatchOutput(std::FILE* out, bool json, int devices, int waves)
    : m_out(out), m_json(json), m_tty(isatty(fileno(out)) == 1), m_devices(devices), m_waves(waves) {}

void BatchOutput::begin_wave(int first, int size) {
    ++m_wave;
    m_first = first;
    m_rows.assign(static_cast<std::size_t>(size), WaveRow{});
    for (int row = 0; row < size; ++row) m_rows[static_cast<std::size_t>(row)].index = first + row;
}

BatchOutput::WaveRow* BatchOutput::wave_row(int row) {
    return row >= 0 && row < static_cast<int>(m_rows.size()) ? &m_rows[static_cast<std::size_t>(row)] : nullptr;
}

void BatchOutput::report(const JobReport& report, const CDeviceTable& table, const JobDisplay& display) {
    WaveRow* row = wave_row(row_of(report));
    if (row != nullptr && report.kind == REPORT_STATUS) row->codes.push_back(report_low(report.data));
    if (m_json) {
        json_line(report, table);
    } else if (m_tty) {
        redraw(table, display);
    } else {
        plain_line(report, table, display);
    }
    // After the line, so the line is written once.
    if (row != nullptr && report.kind == REPORT_FINISHED) row->finished = true;
}

int BatchOutput::overall_progress(const JobDisplay& display) const {
    const long long done =
        100LL * m_first + static_cast<long long>(display.progress) * static_cast<long long>(m_rows.size());
    return static_cast<int>(std::min<long long>(100, done / std::max(m_devices, 1)));
}

std::string BatchOutput::progress_line(const JobDisplay& display) const {
    const int percent = overall_progress(display);
    char head[16];
    std::snprintf(head, sizeof head, " %3d%% ", percent);
    std::string line = bar(percent) + head;
    if (m_waves > 1) line += "wave " + std::to_string(m_wave) + "/" + std::to_string(m_waves) + " ";
    return line + display.count_text;
}

// Off a terminal: a device's line once, when it finishes, and the progress
// each time it passes another 10 %.
void BatchOutput::plain_line(const JobReport& report, const CDeviceTable& table, const JobDisplay& display) {
    if (report.kind == REPORT_FINISHED) {
        const WaveRow* row = wave_row(static_cast<int>(report.data));
        auto device = table.row(static_cast<int>(report.data));
        if (row != nullptr && !row->finished && device)
            std::fprintf(m_out, "%s\n", device_line(row->index + 1, *device).c_str());
    } else if (report.kind == REPORT_PROGRESS) {
        const int tenths = overall_progress(display) / 10;
        if (tenths > m_printed_tenths) {
            m_printed_tenths = tenths;
            std::fprintf(m_out, "%s\n", progress_line(display).c_str());
        }
    }
    std::fflush(m_out);
}

void BatchOutput::json_line(const JobReport& report, const CDeviceTable& table) {
    nlohmann::json line{{"kind", report.kind}, {"type", kind_name(report.kind)}, {"wave", m_wave}};
    switch (report.kind) {
        case REPORT_PROGRESS: line["percent"] = report.data; break;
        case REPORT_COUNT:
            line["back"] = report_high(report.data);
            line["workers"] = report_low(report.data);
            break;
        case REPORT_STATUS: line["code"] = report_low(report.data); break;
        default: break;
    }
    const int row = row_of(report);
    if (const WaveRow* wave = wave_row(row)) {
        line["row"] = wave->index;
        if (auto r = table.row(row)) {
            line["mac"] = r->mac;
            line["ip"] = r->ip;
            if (report.kind == REPORT_STATUS) {
                StatusEffect effect = status_effect(report_low(report.data));
                if (effect.message_key) line["message"] = r->results[COL_STATUS - COL_NETWORK];
                if (effect.mark) line["mark"] = effect.mark;
            }
        }
    }
    std::fprintf(m_out, "%s\n", line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    std::fflush(m_out);
}

void BatchOutput::left_out(int row, const DeviceRow& device) {
    m_failed.insert(row);
    if (m_json) {
        nlohmann::json line{{"type", "left_out"}, {"wave", m_wave}, {"row", row}, {"mac", device.mac},
                            {"ip", device.ip}, {"message", device.results[COL_STATUS - COL_NETWORK]}};
        std::fprintf(m_out, "%s\n", line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
        return;
    }
    // On a terminal the line goes over the progress, which the summary follows.
    if (m_tty && m_drawn_lines > 0) std::fprintf(m_out, "\x1b[%dA\x1b[2K", m_drawn_lines);
    m_drawn_lines = 0;
    std::fprintf(m_out, "%s\n", device_line(row + 1, device).c_str());
}

// The wave's lines, then the progress below them: when a wave ends its
// lines stay and the next wave's continue the table under them.
void BatchOutput::redraw(const CDeviceTable& table, const JobDisplay& display) {
    if (m_drawn_lines > 0) std::fprintf(m_out, "\x1b[%dA", m_drawn_lines);
    for (std::size_t row = 0; row < m_rows.size(); ++row)
        if (auto device = table.row(static_cast<int>(row)))
            std::fprintf(m_out, "\x1b[2K%s\n", device_line(m_rows[row].index + 1, *device).c_str());
    std::fprintf(m_out, "\x1b[2K%s\n", progress_line(display).c_str());
    m_drawn_lines = 1 + static_cast<int>(m_rows.size());
    std::fflush(m_out);
}

void BatchOutput::end_wave(const CDeviceTable& table, const JobDisplay& display) {
    if (m_tty && !m_json) {
        redraw(table, display);
        m_drawn_lines = 1;  // the next wave draws over the progress line only
    }
    for (std::size_t index = 0; index < m_rows.size(); ++index) {
        const WaveRow& row = m_rows[index];
        auto device = table.row(static_cast<int>(index));
        if (!device) continue;
        if (failed(row, *device)) m_failed.insert(row.index);
        if (std::find(row.codes.begin(), row.codes.end(), kStatusAlreadyCurrent) != row.codes.end())
            m_already_current.insert(row.index);
        // Rows that never finished (left out by the job, or not reached
        // before a stop) are final as they stand; the terminal shows them.
        if (!row.finished && (m_json || !m_tty)) left_out(row.index, *device);
        if (!row.finished) m_failed.insert(row.index);
    }
    std::fflush(m_out);
}

void BatchOutput::finish() {
    if (m_json) return;
    std::string current;
    if (!m_already_current.empty())
        current = " (" + std::to_string(m_already_current.size()) + " already on this firmware version)";
    std::fprintf(m_out, "%d devices: %d finished without failure%s, %d failed or not worked on\n", m_devices,
                 m_devices - static_cast<int>(m_failed.size()), current.c_str(), static_cast<int>(m_failed.size()));
    std::fflush(m_out);
}

bool BatchOutput::failed(const WaveRow& row, const DeviceRow& device) const {
    for (int column = COL_NETWORK; column < COL_STATUS; ++column)
        if (device.results[column - COL_NETWORK] == kMarkFailed ||
            device.results[column - COL_NETWORK] == kMarkNotAvailable)
            return true;
    return std::any_of(row.codes.begin(), row.codes.end(), is_failure_message) || retry_left_unflashed(row.codes) ||
           stopped_before_the_end(row.codes);
}
