#include "cli/batch_output.h"

#include <unistd.h>

#include <algorithm>
#include <nlohmann/json.hpp>

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

}  // namespace

BatchOutput::BatchOutput(std::FILE* out, bool json, std::vector<int> rows)
    : m_out(out), m_json(json), m_tty(isatty(fileno(out)) == 1), m_rows(std::move(rows)) {}

void BatchOutput::note_status(int row, int code) { m_codes[row].push_back(code); }

void BatchOutput::report(const JobReport& report, const CDeviceTable& table, const JobDisplay& display) {
    if (report.kind == REPORT_STATUS) note_status(report_high(report.data), report_low(report.data));
    if (m_json) {
        json_line(report, table);
        return;
    }
    if (m_tty) {
        redraw(table, display);
        return;
    }
    // Not a terminal: one line per change worth reading.
    if (report.kind == REPORT_STATUS) {
        if (auto row = table.row(report_high(report.data))) std::fprintf(m_out, "%s\n", row_line(*row).c_str());
    } else if (report.kind == REPORT_PROGRESS && display.progress != m_last_progress) {
        m_last_progress = display.progress;
        std::fprintf(m_out, "%s %3d%% %s\n", bar(display.progress).c_str(), display.progress,
                     display.count_text.c_str());
    }
    std::fflush(m_out);
}

void BatchOutput::json_line(const JobReport& report, const CDeviceTable& table) {
    nlohmann::json line{{"kind", report.kind}, {"type", kind_name(report.kind)}};
    int row = -1;
    switch (report.kind) {
        case REPORT_PROGRESS: line["percent"] = report.data; break;
        case REPORT_COUNT:
            line["back"] = report_high(report.data);
            line["workers"] = report_low(report.data);
            break;
        case REPORT_STATUS:
            row = report_high(report.data);
            line["code"] = report_low(report.data);
            break;
        case REPORT_IP_CHANGED:
        case REPORT_FINISHED: row = static_cast<int>(report.data); break;
        default: break;
    }
    if (row >= 0) {
        line["row"] = row;
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

std::string BatchOutput::row_line(const DeviceRow& row) const {
    std::string line = row.index + " " + row.mac + " " + row.ip + " ";
    for (int column = COL_NETWORK; column < COL_STATUS; ++column) {
        const std::string& mark = row.results[column - COL_NETWORK];
        line += " " + (mark.empty() ? std::string(" ") : mark);
    }
    return line + "  " + row.results[COL_STATUS - COL_NETWORK];
}

void BatchOutput::redraw(const CDeviceTable& table, const JobDisplay& display) {
    // Move back over the previous picture and draw it anew.
    if (m_drawn_lines > 0) std::fprintf(m_out, "\x1b[%dA", m_drawn_lines);
    std::fprintf(m_out, "\x1b[2K%s %3d%% %s\n", bar(display.progress).c_str(), display.progress,
                 display.count_text.c_str());
    for (int index : m_rows)
        if (auto row = table.row(index)) std::fprintf(m_out, "\x1b[2K%s\n", row_line(*row).c_str());
    m_drawn_lines = 1 + static_cast<int>(m_rows.size());
    std::fflush(m_out);
}

void BatchOutput::finish(const CDeviceTable& table, const JobDisplay& display) {
    if (m_json) return;
    if (m_tty) {
        redraw(table, display);
        return;
    }
    std::fprintf(m_out, "result:\n");
    for (int index : m_rows)
        if (auto row = table.row(index)) std::fprintf(m_out, "%s\n", row_line(*row).c_str());
    std::fflush(m_out);
}

bool BatchOutput::any_failed(const CDeviceTable& table) const {
    for (int index : m_rows) {
        std::optional<DeviceRow> row = table.row(index);
        if (!row) continue;
        for (int column = COL_NETWORK; column < COL_STATUS; ++column)
            if (row->results[column - COL_NETWORK] == kMarkFailed) return true;
        auto codes = m_codes.find(index);
        if (codes == m_codes.end()) continue;
        const std::vector<int>& c = codes->second;
        if (std::any_of(c.begin(), c.end(), is_failure_message)) return true;
        // "Retry later" is a failure unless a later pass flashed the device.
        auto retry = std::find(c.rbegin(), c.rend(), 7);
        if (retry != c.rend() && std::find(c.rbegin(), retry, 8) == retry) return true;
    }
    return false;
}
