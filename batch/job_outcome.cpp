#include "batch/job_outcome.h"

#include <map>

#include "batch/job_report.h"

namespace {

struct StepName {
    JobStepField field;
    const char* name;
};

constexpr StepName kStepNames[] = {
    {&JOB_STEPS::change_auto_ip, "ip_range"},
    {&JOB_STEPS::change_video_standard, "video_standard"},
    {&JOB_STEPS::change_time_zone, "time_zone"},
    {&JOB_STEPS::change_time_format, "time_format"},
    {&JOB_STEPS::change_time_sync, "time_sync"},
    {&JOB_STEPS::change_dhcp, "dhcp"},
    {&JOB_STEPS::change_logo, "logo"},
    {&JOB_STEPS::change_language, "language"},
    {&JOB_STEPS::change_password, "default_password"},
    {&JOB_STEPS::change_UID, "uid"},
    {&JOB_STEPS::change_max_wifi_ch, "max_wifi_channel"},
    {&JOB_STEPS::change_deafult_ch, "default_wifi_channel"},
    {&JOB_STEPS::change_ip, "set_network"},
    {&JOB_STEPS::send_command, "command"},
    {&JOB_STEPS::need_update, "upgrade"},
    {&JOB_STEPS::restore_factory, "factory_reset"},
    {&JOB_STEPS::reset_pwd, "password_reset"},
};
static_assert(sizeof kStepNames / sizeof kStepNames[0] == sizeof(JOB_STEPS), "one name per step flag");

// The device's last values as the table lists them.
void take_final_row(DeviceOutcome& device, const DeviceRow& row) {
    device.ip_after = row.ip;
    device.version_after = row.version;
    for (int column = COL_NETWORK; column < COL_STATUS; ++column)
        device.marks[column - COL_NETWORK] = row.results[column - COL_NETWORK];
    device.status = row.results[COL_STATUS - COL_NETWORK];
}

// Whether the device took its planned values, once that is known.
void judge_planned(DeviceOutcome& device, const std::optional<bool>& uid_written) {
    if (!device.planned || (device.state != kStateEnded && device.state != kStateNotWorkedOn)) return;
    const PlannedValues& planned = *device.planned;
    if (!planned.ip.empty()) device.ip_took = device.ip_after == planned.ip;
    if (planned.dhcp) device.dhcp_took = device.marks[COL_SETTINGS - COL_NETWORK] == kMarkDone;
    if (!planned.uid.empty()) device.uid_took = uid_written.value_or(false);
}

}  // namespace

std::vector<std::string> step_names(const JOB_STEPS& steps) {
    std::vector<std::string> names;
    for (const StepName& step : kStepNames)
        if (steps.*step.field) names.emplace_back(step.name);
    return names;
}

std::string skipped_reason(const SkippedRow& skipped) {
    if (skipped.reason == SkippedRow::NoFreeAddress) return kNoFreeAddressReason;
    return skipped.detail.empty() ? kNoVersionReason : std::string(kNoVersionReason) + ": " + skipped.detail;
}

namespace {

// A listed device as its row stands, before any judgement.
DeviceOutcome row_outcome(const DeviceRow& row) {
    DeviceOutcome device;
    device.mac = row.mac;
    device.protocol = row.protocol;
    device.ip_before = row.ip;
    device.version_before = row.version;
    take_final_row(device, row);
    device.planned = row.planned;
    return device;
}

}  // namespace

DeviceOutcome unworked_device(const DeviceRow& row, const std::string& reason) {
    DeviceOutcome device = row_outcome(row);
    device.not_worked_on = reason;
    device.state = kStateNotWorkedOn;
    judge_planned(device, std::nullopt);
    return device;
}

DeviceOutcome unlisted_device(const std::string& mac, const PlannedValues& planned) {
    DeviceRow row;
    row.mac = mac;
    row.planned = planned;
    return unworked_device(row, kNotFoundReason);
}

DeviceOutcome waiting_device(const DeviceRow& row) {
    DeviceOutcome device = row_outcome(row);
    device.state = kStateWaiting;
    return device;
}

namespace {

// The checked rows the job left out, after its devices.
void add_skipped_rows(JobOutcome& outcome, const CBatchJob& job, const CDeviceTable& table) {
    for (const SkippedRow& skipped : job.skipped_rows()) {
        std::optional<DeviceRow> row = table.row(skipped.row);
        if (!row) continue;
        outcome.devices.push_back(unworked_device(*row, skipped_reason(skipped)));
    }
}

DeviceOutcome run_outcome(const DeviceRun& run) {
    DeviceOutcome device;
    device.mac = run.mac;
    device.protocol = run.protocol;
    device.ip_before = run.ip_before;
    device.version_before = run.version_before;
    device.started_at = run.started_at;
    device.ended_at = run.ended_at;
    device.passes = run.passes;
    device.already_current = run.already_current;
    device.planned = run.planned;
    return device;
}

}  // namespace

void add_job_devices(JobOutcome& outcome, const CBatchJob& job, const CDeviceTable& table) {
    for (const DeviceRun& run : job.device_runs()) {
        DeviceOutcome device = run_outcome(run);
        if (std::optional<DeviceRow> row = table.row(run.row)) take_final_row(device, *row);
        device.state = run.started_at == 0 ? kStateNotWorkedOn : kStateEnded;
        if (run.started_at == 0) device.not_worked_on = outcome.stopped ? kStoppedBeforeReason : kNotStartedReason;
        judge_planned(device, run.uid_written);
        outcome.devices.push_back(std::move(device));
    }
    add_skipped_rows(outcome, job, table);
}

void add_live_job_devices(JobOutcome& outcome, const CBatchJob& job, const CDeviceTable& table) {
    std::map<int, std::string> texts;  // a status text per code, looked up once
    auto status_text = [&](int code) -> const std::string& {
        auto found = texts.find(code);
        if (found != texts.end()) return found->second;
        const char* key = code >= 0 ? status_effect(code).message_key : nullptr;
        return texts[code] = key ? table.text(key) : std::string();
    };
    for (const DeviceRun& run : job.device_runs()) {
        DeviceOutcome device = run_outcome(run);
        if (std::optional<DeviceRow> row = table.row(run.row)) {
            device.ip_after = row->ip;
            device.version_after = row->version;
        }
        for (int i = 0; i < 6; ++i) device.marks[i] = run.marks[i];
        device.status = status_text(run.message_status);
        device.state = run.started_at == 0 ? kStateWaiting : run.ended_at == 0 ? kStateInProgress : kStateEnded;
        judge_planned(device, run.uid_written);
        outcome.devices.push_back(std::move(device));
    }
    add_skipped_rows(outcome, job, table);
}
