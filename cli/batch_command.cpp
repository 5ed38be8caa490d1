#include "cli/batch_command.h"

#include <CLI/CLI.hpp>
#include <signal.h>
#include <strings.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>

#include "batch/batch_job.h"
#include "batch/search_link.h"
#include "batch/job_display.h"
#include "batch/job_outcome.h"
#include "cli/batch_output.h"
#include "cli/batch_plan.h"
#include "cli/command_journal.h"
#include "cli/command.h"
#include "cli/fleet_list.h"
#include "cli/plan_selection.h"
#include "cli/terminal_text.h"
#include "cli/search_options.h"
#include "discovery/xml_path.h"
#include "search/device_sessions.h"
#include "runtime/lang.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace {

// Ctrl-C presses (and SIGTERMs): the first stops the job, the second quits at once.
std::atomic<int> g_interrupted{0};

void on_interrupt(int) { g_interrupted.fetch_add(1); }

std::string text_for(const std::string& key) {
    if (key.rfind("IDS_", 0) != 0) return key;
    std::string text = lang_string(lang_default_file(), key);
    return text.empty() ? key : text;
}

// Collects devices until the listening time is over or enough are listed:
// --expect of them, or, with a plan and no --expect, every planned one.
void listen_for_devices(const BatchCliOptions& o, const BatchPlan& plan, const FleetList& fleet) {
    std::int64_t end = rt_clock_ms() + static_cast<std::int64_t>(o.listen_seconds * 1000);
    while (rt_clock_ms() < end && !g_interrupted.load()) {
        if (o.expect > 0 && fleet.size() >= o.expect) return;
        if (o.expect <= 0 && o.plan && select_planned(plan.devices, fleet.devices()).not_found.empty()) return;
        rt_sleep_ms(50);
    }
}

std::string plan_file_name(const BatchPlan& plan) {
    const std::string& path = plan.devices.path;
    const std::size_t slash = path.rfind('/');
    return terminal_text(slash == std::string::npos ? path : path.substr(slash + 1));
}

void print_plan_problems(const BatchPlan& plan, const std::vector<PlanProblem>& problems) {
    for (const PlanProblem& problem : problems)
        std::fprintf(stderr, "%s\n", plan_problem_text(plan_file_name(plan), problem, text_for).c_str());
}

bool names_device(const std::string& name, const ListedDevice& device) {
    return strcasecmp(name.c_str(), device.mac.c_str()) == 0 || name == device.ip;
}

// The devices the user asked for, in the order they were heard.
std::vector<ListedDevice> select_devices(const BatchCliOptions& o, const std::vector<ListedDevice>& listed) {
    std::vector<ListedDevice> selected;
    for (const ListedDevice& device : listed) {
        const bool wanted = o.all || std::any_of(o.devices.begin(), o.devices.end(),
                                                 [&](const std::string& name) { return names_device(name, device); });
        if (wanted) selected.push_back(device);
    }
    for (const std::string& name : o.devices) {
        const bool found = std::any_of(listed.begin(), listed.end(),
                                       [&](const ListedDevice& device) { return names_device(name, device); });
        if (!found) std::fprintf(stderr, "tervane-cli: device %s not found\n", name.c_str());
    }
    return selected;
}

// Both searches as the options ask, searching again every --sweep so a
// flashed or readdressed device is heard anew, and the job's login reading
// the ONVIF cameras' identity.
CameraSearchOptions search_options(const BatchCliOptions& o) {
    CameraSearchOptions options;
    options.protocols = o.protocol == "native" ? SearchProtocols::native
                        : o.protocol == "onvif" ? SearchProtocols::onvif
                                                : SearchProtocols::all;
    options.native.endpoints.broadcast_address = o.broadcast;
    options.native.endpoints.local_port = o.local_port;
    options.native.endpoints.device_port = o.device_port;
    options.native.endpoints.card = o.card;
    options.native.send_log.clear();
    options.native.recv_log.clear();
    options.identity = onvif_sessions({o.user, o.password}, o.card);
    options.sweep_interval_ms = static_cast<std::int32_t>(o.sweep_seconds * 1000);
    return options;
}

// Reports arrive on worker threads; the main thread sleeps until one does.
class ReportWakeup {
public:
    void notify() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_pending = true;
        m_cv.notify_one();
    }
    void wait() {
        std::unique_lock<std::mutex> lock(m_lock);
        m_cv.wait_for(lock, std::chrono::milliseconds(200), [this] { return m_pending; });
        m_pending = false;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_pending = false;
};

// Applies and shows every report that has arrived; true once the job has ended.
bool take_reports(CBatchJob& job, CDeviceTable& table, JobDisplay& display, BatchOutput& output) {
    bool finished = false;
    for (const JobReport& report : job.reports().drain()) {
        if (handle_job_report(report, table, display) == ReportAction::AllFinished) finished = true;
        output.report(report, table, display);
    }
    return finished;
}

// The second Ctrl-C: the table as it stands, and out, whatever the workers
// are still doing (they are not waited for; the report on disk stays as the
// journal last wrote it).
[[noreturn]] void quit_at_once(CBatchJob& job, CDeviceTable& table, JobDisplay& display, BatchOutput& output) {
    take_reports(job, table, display, output);
    output.end_wave(table, display);
    output.finish();
    std::fprintf(stderr, "tervane-cli: quit before the job ended\n");
    std::fflush(nullptr);
    std::_Exit(1);
}

// Writes into the status of each row the job left out why, so no selected
// device ends with a blank line.
void note_left_out_rows(const CBatchJob& job, bool stopped, CDeviceTable& table) {
    for (const SkippedRow& skipped : job.skipped_rows()) table.set_result(skipped.row, COL_STATUS, skipped_reason(skipped));
    for (const DeviceRun& run : job.device_runs())
        if (run.started_at == 0)
            table.set_result(run.row, COL_STATUS, stopped ? kStoppedBeforeReason : kNotStartedReason);
}

// Runs one wave's job to its end and shows it. The first Ctrl-C stops the
// job (its workers give up what they wait for and report their end, within
// about two seconds whatever the devices do); a second one quits at once.
// Returns 2 when the engine refused to start it, else 0.
int run_wave(CBatchJob& job, const BatchPlan& plan, CDeviceTable& table, BatchOutput& output) {
    ReportWakeup wakeup;
    job.reports().set_notifier([&wakeup] { wakeup.notify(); });
    job.m_dostep = plan.steps;
    int started = job.start_upgrade(plan.params, plan.firmware, plan.range_start, plan.range_end);
    if (started != START_OK) {
        job.reports().set_notifier(nullptr);
        const std::string refusal = text_for(start_refusal_key(started));
        std::fprintf(stderr, "tervane-cli: %s\n", refusal.c_str());
        for (int row = 0; row < table.row_count(); ++row) table.set_result(row, COL_STATUS, refusal);
        output.end_wave(table, JobDisplay{});
        return 2;
    }
    JobDisplay display;
    // A job whose rows all lack what it needs has no worker to end it.
    bool finished = job.worker_count() == 0;
    bool stopped = false;
    while (!finished) {
        wakeup.wait();
        const int interrupts = g_interrupted.load();
        if (interrupts >= 2) quit_at_once(job, table, display, output);
        if (interrupts == 1 && !stopped) {
            stopped = true;
            job.request_stop();  // the workers' last reports, with their finish, follow
            std::fprintf(stderr, "tervane-cli: stopping the job (Ctrl-C again quits at once)\n");
        }
        finished = take_reports(job, table, display, output);
    }
    job.stop_job();
    job.reports().set_notifier(nullptr);
    note_left_out_rows(job, stopped, table);
    output.end_wave(table, display);
    return 0;
}

// Lists the devices of a wave that never started.
void leave_wave_out(const std::vector<ListedDevice>& wave, int first, const PlannedByMac& plan, BatchOutput& output,
                    JobOutcome& outcome) {
    output.begin_wave(first, static_cast<int>(wave.size()));
    for (const ListedDevice& device : wave) {
        const DeviceRow row = unworked_row(device, kStoppedBeforeReason, plan);
        output.left_out(first++, row);
        outcome.devices.push_back(unworked_device(row, kStoppedBeforeReason));
    }
}

// Runs the waves one after the other; after a Ctrl-C or a refused start no
// other wave starts. Returns 2 for a refused start, else 0.
int run_waves(const BatchCliOptions& o, const BatchPlan& plan, CCameraSearch& search, FleetList& fleet,
              const std::vector<ListedDevice>& selected, BatchOutput& output, JobOutcome& outcome,
              CommandJournal* journal) {
    int first = 0;
    int result = 0;
    CKaltroDeviceClient client;
    const PlannedByMac planned = plan.devices.by_mac();
    for (const std::vector<ListedDevice>& wave : split_into_waves(selected, o.parallel)) {
        if (g_interrupted.load() != 0 || result != 0) {
            leave_wave_out(wave, first, planned, output, outcome);
        } else {
            CDeviceTable table;
            table.set_plan(planned);
            fleet.begin_wave(table, wave);
            output.begin_wave(first, static_cast<int>(wave.size()));
            CSearchLink link(search);
            CBatchJob job(table, client, link);
            job.set_onvif_connector(onvif_connector(o.card));
            if (journal != nullptr) journal->wave_running(outcome, job, table);
            result = run_wave(job, plan, table, output);
            outcome.stopped = g_interrupted.load() != 0;
            if (result == 0) {
                add_job_devices(outcome, job, table);
            } else {  // a refused start: every row carries the refusal
                for (const DeviceRow& row : table.rows())
                    outcome.devices.push_back(unworked_device(row, row.results[COL_STATUS - COL_NETWORK]));
            }
            fleet.end_wave();
        }
        if (journal != nullptr) journal->between_waves(outcome);
        first += static_cast<int>(wave.size());
    }
    return result;
}

// The report's files are PATH.json and PATH.csv, also when PATH names one.
std::string report_base(const std::string& path) {
    for (const char* suffix : {".json", ".csv"}) {
        const std::size_t length = std::strlen(suffix);
        if (path.size() > length && path.compare(path.size() - length, length, suffix) == 0)
            return path.substr(0, path.size() - length);
    }
    return path;
}

// Runs the waves over the selected devices, shows them as one table and
// writes the report; the command's exit code.
int run_selected(const BatchCliOptions& o, const BatchPlan& plan, CCameraSearch& search, FleetList& fleet,
                 const PlanSelection& selection) {
    const std::vector<ListedDevice>& selected = selection.listed;
    const int waves = static_cast<int>(split_into_waves(selected, o.parallel).size());
    const int missing = static_cast<int>(selection.not_found.size());
    BatchOutput output(stdout, o.json, static_cast<int>(selected.size()) + missing, waves);
    std::vector<DeviceOutcome> unlisted;
    for (const PlanEntry& entry : selection.not_found) unlisted.push_back(unlisted_device(entry.mac, entry.values));
    JobOutcome outcome;
    outcome.steps = step_names(plan.steps);
    outcome.plan_path = plan.devices.path;
    if (plan.steps.need_update) {
        outcome.firmware_path = plan.firmware;
        outcome.firmware_sha256 = plan.firmware_check.sha256;
    }
    outcome.started_at = rt_calendar_ms();
    // The report is on disk from the start and follows the job, so a crash
    // or a kill leaves what was done.
    std::unique_ptr<CommandJournal> journal;
    if (!o.report.empty())
        journal = std::make_unique<CommandJournal>(report_base(o.report), outcome, selected, plan.devices.by_mac(),
                                                   unlisted);
    Network_ClientInit();
    int result = run_waves(o, plan, search, fleet, selected, output, outcome, journal.get());
    Network_ClientUnInit();
    outcome.ended_at = rt_calendar_ms();
    // The planned cameras discovery never listed close the table.
    for (std::size_t i = 0; i < unlisted.size(); ++i) {
        DeviceRow row;
        row.mac = unlisted[i].mac;
        row.results[COL_STATUS - COL_NETWORK] = kNotFoundReason;
        output.left_out(static_cast<int>(selected.size() + i), row);
    }
    outcome.devices.insert(outcome.devices.end(), unlisted.begin(), unlisted.end());
    output.finish();
    if (result == 0 && (output.any_failed() || outcome.stopped)) result = 1;
    if (journal) {
        const std::string error = journal->finish(outcome);
        if (!error.empty()) {
            std::fprintf(stderr, "tervane-cli: job report not written: %s\n", error.c_str());
            if (result == 0) result = 1;
        }
    }
    return result;
}

}  // namespace

void add_batch_command(CLI::App& app, int* exit_code) {
    auto options = std::make_shared<BatchCliOptions>();
    BatchCliOptions& o = *options;
    CLI::App* cmd = app.add_subcommand("batch", "Discover devices and run batch jobs on all or chosen ones");
    cmd->add_option("--card", o.card, "Local IPv4 address to search from");
    cmd->add_option("--listen", o.listen_seconds, "Seconds to collect devices before the job")->capture_default_str();
    cmd->add_option("--expect", o.expect, "Start as soon as this many devices are listed");
    cmd->add_option("--sweep", o.sweep_seconds, "Seconds between searches while the job runs")
        ->capture_default_str()
        ->check(CLI::Range(1.0, 86400.0));
    cmd->add_option("--broadcast", o.broadcast, "Discovery destination address")->capture_default_str();
    cmd->add_option("--local-port", o.local_port, "Discovery reply port")->capture_default_str();
    cmd->add_option("--device-port", o.device_port, "Discovery request port of the devices")->capture_default_str();
    cmd->add_option("--protocol", o.protocol, "Which cameras to search for: native, onvif or all")
        ->capture_default_str()
        ->check(CLI::IsMember({"native", "onvif", "all"}));
    cmd->add_option("--address", o.addresses,
                    "Ask these addresses directly as well (A, A,B,... or START-END; at most 1024)")
        ->option_text("ADDRESSES");
    CLI::Option* all = cmd->add_flag("--all", o.all, "Work on every listed device");
    CLI::Option* device = cmd->add_option("--device", o.devices, "A device to work on, by MAC or IP (repeatable)");
    cmd->add_option("--plan", o.plan, "Work on the cameras of a plan file (CSV), each with its own values")
        ->option_text("FILE")
        ->excludes(all)
        ->excludes(device);
    cmd->add_option("--parallel", o.parallel, "Devices per job: more are worked on in waves, one after the other")
        ->capture_default_str()
        ->check(CLI::Range(1, CBatchJob::kMaxWorkers));
    cmd->add_option("--user", o.user, "Login user")->capture_default_str();
    cmd->add_option("--password", o.password, "Login password");
    cmd->add_option("--upgrade", o.upgrade, "Firmware file (*.update) to flash");
    cmd->add_option("--dhcp", o.dhcp, "Switch DHCP on or off")->check(CLI::IsMember({"on", "off"}));
    cmd->add_option("--ip", o.net_ip, "Fixed address to give the device (set network)");
    cmd->add_option("--mask", o.net_mask, "Subnet mask with --ip");
    cmd->add_option("--gateway", o.net_gateway, "Gateway with --ip");
    cmd->add_option("--ip-range", o.ip_range, "Give the devices addresses from START-END");
    cmd->add_option("--time-zone", o.time_zone, "Time zone: list index 0..24 or UTC+08:00");
    cmd->add_option("--time-format", o.time_format, "Time format index 0..3");
    cmd->add_option("--video-standard", o.video_standard, "NTSC or PAL");
    cmd->add_option("--language", o.language, "Language index 0..20");
    cmd->add_option("--default-password", o.default_password, "New device password (at most 31 bytes)");
    cmd->add_option("--max-channel", o.max_channel, "Highest WiFi channel, 10..14");
    cmd->add_option("--default-channel", o.default_channel, "Default WiFi channel: auto or 1..14");
    cmd->add_option("--logo", o.logo, "Boot logo (*.jpg) to upload");
    cmd->add_flag("--time-sync", o.time_sync, "Set the devices' clocks to this host's local time");
    cmd->add_option("--ntp", o.ntp, "Time server for ONVIF cameras (IPv4 address or host name)")
        ->option_text("SERVER");
    cmd->add_option("--command", o.command, "Shell command line to run on the devices");
    cmd->add_option("--uid", o.uid, "Cloud UID to store on the device");
    cmd->add_flag("--factory-reset", o.factory_reset, "Restore factory settings (alone)");
    cmd->add_flag("--reset-password", o.reset_password, "Reset the device password (alone)");
    cmd->add_option("--report", o.report, "Write the job report to PATH.json and PATH.csv")->option_text("PATH");
    cmd->add_flag("--json", o.json, "One JSON object per report");
    cmd->add_flag("--trace", o.trace, "Write the engine's trace to standard error");
    cmd->add_option("--time-speed", o.time_speed, "Run every wait this many times faster (tests)")
        ->check(CLI::Range(1.0, 10000.0));
    cmd->callback([options, exit_code] { *exit_code = run_batch_command(*options); });
}

int run_batch_command(const BatchCliOptions& o) {
    if (!o.trace) set_trace_sink(&trace_null_sink, nullptr);
    // The XML layer's diagnostics go with the trace, never among the report
    // lines: standard output carries the job's output alone.
    xml_set_output(o.trace ? stderr : nullptr);
    BatchPlan plan;
    std::string refused = plan_batch_job(o, plan);
    if (!refused.empty()) {
        print_plan_problems(plan, plan.plan_problems);
        std::fprintf(stderr, "tervane-cli: %s\n", text_for(refused).c_str());
        return 2;
    }
    rt_set_time_speed(o.time_speed);
    g_interrupted.store(0);
    signal(SIGINT, on_interrupt);
    signal(SIGTERM, on_interrupt);

    std::vector<std::string> addresses;
    std::string address_error;
    if (!parse_address_options(o.addresses, &addresses, &address_error)) {
        std::fprintf(stderr, "tervane-cli: --address: %s\n", address_error.c_str());
        return 2;
    }

    FleetList fleet;
    const CameraSearchOptions options = search_options(o);
    CCameraSearch search(nullptr, options);
    search.SetCallback([&fleet](const FoundCamera& camera, bool) { fleet.add(listed_device_from(camera)); });
    search.Start();
    if (!addresses.empty()) search.ProbeAddresses(addresses);
    listen_for_devices(o, plan, fleet);
    // ONVIF cameras are listed once their identity is read: those still
    // being read when the listening ends are given their time.
    if (g_interrupted.load() == 0) search.WaitSettled(identity_settle_budget(search, options));
    if (g_interrupted.load() != 0) {
        search.Stop();
        std::fprintf(stderr, "tervane-cli: interrupted before the job started\n");
        return 1;
    }

    const std::vector<ListedDevice> listed = fleet.devices();
    const PlanSelection selection =
        o.plan ? select_planned(plan.devices, listed) : PlanSelection{select_devices(o, listed), {}};
    const std::string refused_selection = refuse_selection(o, plan, selection.listed);
    const std::vector<PlanProblem> conflicts = plan_address_conflicts(plan.devices, listed_addresses(listed));
    for (const PlanEntry& entry : selection.not_found)
        std::fprintf(stderr, "tervane-cli: %s:%d: %s %s\n", plan_file_name(plan).c_str(), entry.line,
                     entry.mac.c_str(), kNotFoundReason);
    int result = 3;
    if (selection.listed.empty() && selection.not_found.empty()) {
        std::fprintf(stderr, "tervane-cli: no device selected (%d listed)\n", fleet.size());
        if (fleet.size() == 0) hint_when_no_camera_answered(search, o.local_port);
    } else if (!refused_selection.empty()) {
        std::fprintf(stderr, "tervane-cli: %s\n", refused_selection.c_str());
        result = 2;
    } else if (!conflicts.empty()) {
        // A planned address a listed camera holds: nothing is sent.
        print_plan_problems(plan, conflicts);
        std::fprintf(stderr, "tervane-cli: %s\n", text_for("IDS_PLAN_REFUSED").c_str());
        result = 2;
    } else {
        if (selection.listed.empty() && fleet.size() == 0) hint_when_no_camera_answered(search, o.local_port);
        result = run_selected(o, plan, search, fleet, selection);
    }
    search.Stop();
    return result;
}
