#include "cli/batch_command.h"

#include <CLI/CLI.hpp>
#include <signal.h>
#include <strings.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

#include "batch/batch_job.h"
#include "batch/discovery_link.h"
#include "batch/job_display.h"
#include "cli/batch_output.h"
#include "cli/batch_plan.h"
#include "cli/command.h"
#include "discovery/xml_path.h"
#include "runtime/lang.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace {

std::atomic<int> g_interrupted{0};

void on_interrupt(int) { g_interrupted.store(1); }

std::string text_for(const std::string& key) {
    if (key.rfind("IDS_", 0) != 0) return key;
    std::string text = lang_string(lang_default_file(), key);
    return text.empty() ? key : text;
}

// Collects devices until the listening time is over or enough are listed.
void listen_for_devices(const BatchCliOptions& o, CDeviceTable& table) {
    std::int64_t end = rt_clock_ms() + static_cast<std::int64_t>(o.listen_seconds * 1000);
    while (rt_clock_ms() < end && !g_interrupted.load()) {
        if (o.expect > 0 && table.row_count() >= o.expect) return;
        rt_sleep_ms(50);
    }
}

// Checks the rows the user asked for; returns them in row order.
std::vector<int> select_devices(const BatchCliOptions& o, CDeviceTable& table) {
    std::vector<int> rows;
    std::vector<DeviceRow> listed = table.rows();
    for (int index = 0; index < static_cast<int>(listed.size()); ++index) {
        bool wanted = o.all;
        for (const std::string& d : o.devices)
            wanted = wanted || strcasecmp(d.c_str(), listed[index].mac.c_str()) == 0 || d == listed[index].ip;
        table.set_checked(index, wanted);
        if (wanted) rows.push_back(index);
    }
    for (const std::string& d : o.devices) {
        bool found = std::any_of(listed.begin(), listed.end(), [&](const DeviceRow& r) {
            return strcasecmp(d.c_str(), r.mac.c_str()) == 0 || d == r.ip;
        });
        if (!found) std::fprintf(stderr, "tervane-cli: device %s not found\n", d.c_str());
    }
    return rows;
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

// Runs the job to its end (or to Ctrl-C, which stops it) and shows it.
int run_job(CBatchJob& job, const BatchPlan& plan, CDeviceTable& table, BatchOutput& output) {
    ReportWakeup wakeup;
    job.reports().set_notifier([&wakeup] { wakeup.notify(); });
    job.m_dostep = plan.steps;
    int started = job.start_upgrade(plan.params, plan.firmware, plan.range_start, plan.range_end);
    if (started != START_OK) {
        job.reports().set_notifier(nullptr);
        std::fprintf(stderr, "tervane-cli: %s\n", text_for(start_refusal_key(started)).c_str());
        return 2;
    }
    if (job.worker_count() == 0) {
        job.stop_job();
        job.reports().set_notifier(nullptr);
        std::fprintf(stderr, "tervane-cli: no selected device has a version to work on\n");
        return 3;
    }
    JobDisplay display;
    bool finished = false;
    bool stopped = false;
    while (!finished) {
        wakeup.wait();
        if (g_interrupted.load() && !stopped) {
            stopped = true;
            job.stop_job();  // the workers' last reports, with their finish, follow
        }
        for (const JobReport& report : job.reports().drain()) {
            finished = finished || handle_job_report(report, table, display) == ReportAction::AllFinished;
            output.report(report, table, display);
        }
    }
    job.stop_job();
    job.reports().set_notifier(nullptr);
    output.finish(table, display);
    return output.any_failed(table) || stopped ? 1 : 0;
}

}  // namespace

void add_batch_command(CLI::App& app, int* exit_code) {
    auto options = std::make_shared<BatchCliOptions>();
    BatchCliOptions& o = *options;
    CLI::App* cmd = app.add_subcommand("batch", "Discover devices and run one batch job on all or chosen ones");
    cmd->add_option("--card", o.card, "Local IPv4 address to search from");
    cmd->add_option("--listen", o.listen_seconds, "Seconds to collect devices before the job")->capture_default_str();
    cmd->add_option("--expect", o.expect, "Start as soon as this many devices are listed");
    cmd->add_option("--sweep", o.sweep_seconds, "Seconds between searches while the job runs")
        ->capture_default_str()
        ->check(CLI::Range(1.0, 86400.0));
    cmd->add_option("--broadcast", o.broadcast, "Discovery destination address")->capture_default_str();
    cmd->add_option("--local-port", o.local_port, "Discovery reply port")->capture_default_str();
    cmd->add_option("--device-port", o.device_port, "Discovery request port of the devices")->capture_default_str();
    cmd->add_flag("--all", o.all, "Work on every listed device");
    cmd->add_option("--device", o.devices, "A device to work on, by MAC or IP (repeatable)");
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
    cmd->add_option("--command", o.command, "Shell command line to run on the devices");
    cmd->add_option("--uid", o.uid, "Cloud UID to store on the device");
    cmd->add_flag("--factory-reset", o.factory_reset, "Restore factory settings (alone)");
    cmd->add_flag("--reset-password", o.reset_password, "Reset the device password (alone)");
    cmd->add_flag("--json", o.json, "One JSON object per report");
    cmd->add_flag("--trace", o.trace, "Write the engine's trace to standard error");
    cmd->add_option("--time-speed", o.time_speed, "Run every wait this many times faster (tests)")
        ->check(CLI::Range(1.0, 10000.0));
    cmd->callback([options, exit_code] { *exit_code = run_batch_command(*options); });
}

int run_batch_command(const BatchCliOptions& o) {
    if (!o.trace) {
        set_trace_sink(&trace_null_sink, nullptr);
        xml_set_output(nullptr);  // the XML layer's diagnostics would mix with the report lines
    }
    BatchPlan plan;
    std::string refused = plan_batch_job(o, plan);
    if (!refused.empty()) {
        std::fprintf(stderr, "tervane-cli: %s\n", text_for(refused).c_str());
        return 2;
    }
    rt_set_time_speed(o.time_speed);
    g_interrupted.store(0);
    signal(SIGINT, on_interrupt);
    signal(SIGTERM, on_interrupt);

    CDeviceTable table;
    DiscoveryOptions discovery_options;
    discovery_options.endpoints.broadcast_address = o.broadcast;
    discovery_options.endpoints.local_port = o.local_port;
    discovery_options.endpoints.device_port = o.device_port;
    discovery_options.send_log.clear();
    discovery_options.recv_log.clear();
    CDiscovery discovery(nullptr, discovery_options);
    discovery.SetDiscoveryCB(&feed_device_table, &table);
    // Searching again now and then lets discovery hear a flashed device come
    // back with its new version, which the upgrade's verdict compares.
    discovery.StartDiscovery(0, static_cast<std::int32_t>(o.sweep_seconds * 1000));
    if (!o.card.empty()) discovery.RefreshDiscovery(o.card.c_str());
    listen_for_devices(o, table);

    int result = 3;
    std::vector<int> rows = select_devices(o, table);
    if (rows.empty()) {
        std::fprintf(stderr, "tervane-cli: no device selected (%d listed)\n", table.row_count());
    } else {
        Network_ClientInit();
        {
            CKaltroDeviceClient client;
            CDiscoveryLink link(discovery);
            CBatchJob job(table, client, link);
            BatchOutput output(stdout, o.json, rows);
            result = run_job(job, plan, table, output);
        }
        Network_ClientUnInit();
    }
    discovery.StopDiscovery();
    return result;
}
