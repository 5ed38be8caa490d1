// A batch job over many simulated cameras: firmware upgrade plus settings,
// with time sped up. Prints the wall time against the longest chain of the
// job's own timed waits (what a perfectly cheap engine would take), the CPU
// time and the peak memory of the tool's process.
//
// The cameras run in a child ipcsim process on loopback addresses, so every
// timed wait this process makes is a worker's. --protocol onvif plays them
// as ONVIF cameras (the upload over HTTP, the version read back from the
// camera), so the two kinds of worker can be compared on the same job.
//
// With --journal the job's report is kept on disk as the batch dialog keeps
// it (job_reports/ in a scratch folder), and the bench prints what that
// costs: writes and writes per second, the journal thread's time per write,
// the time the front end's thread spends in the journal's calls (in the
// dialog that thread is the GUI's), and the longest hold of the engine's
// lock that workers also take (the copy of the devices' state).
#include <sys/resource.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <filesystem>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include "batch/batch_job.h"
#include "batch/job_journal.h"
#include "client/firmware_format.h"
#include "onvif/onvif_session.h"
#include "runtime/lang.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "sim/simulator.h"
#include "tests/client/ipcsim_child.h"

namespace {

// Requested sleep per thread, in system milliseconds.
std::mutex g_sleep_lock;
std::map<std::thread::id, std::int64_t> g_slept;

void count_sleep(std::int64_t ms) {
    std::lock_guard<std::mutex> guard(g_sleep_lock);
    g_slept[std::this_thread::get_id()] += ms;
}

std::int64_t longest_wait_chain() {
    std::lock_guard<std::mutex> guard(g_sleep_lock);
    std::int64_t longest = 0;
    for (const auto& [thread, ms] : g_slept) longest = std::max(longest, ms);
    return longest;
}

// The workers' view of discovery: every camera keeps its address, and once
// back from its reboot it is heard with the version just flashed.
class BenchDiscovery : public IDiscoveryLink {
public:
    BenchDiscovery(CDeviceTable& table, std::string version) : m_table(table), m_version(std::move(version)) {}
    int ChangeIpPort(const IpChangeRequest&) override { return 1; }
    int ChangeIp(const IpChangeRequest&) override { return 1; }
    std::optional<std::string> FindIp(const std::string& mac) override {
        for (const DeviceRow& row : m_table.rows()) {
            if (row.mac != mac) continue;
            m_table.update_dev_find_list({row.mac, row.ip, std::atoi(row.port.c_str()), m_version, 0x20, 5}, false);
            return row.ip;
        }
        return std::nullopt;
    }

private:
    CDeviceTable& m_table;
    std::string m_version;
};

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The journal as the dialog runs it, and what it cost.
class JournalProbe {
public:
    JournalProbe(const std::string& folder, const CBatchJob& job, const CDeviceTable& table)
        : m_job(job), m_table(table) {
        const auto start = Clock::now();
        m_journal = std::make_unique<CJobJournal>(CJobJournal::Place{"", folder, std::time(nullptr)});
        m_journal->set_source([this] { return snapshot(); }, [this] { return m_job.runs_generation(); });
        m_front_end_ms += ms_since(start);
    }
    void finish() {
        const auto start = Clock::now();
        JobOutcome outcome = m_header;
        outcome.ended_at = rt_calendar_ms();
        add_job_devices(outcome, m_job, m_table);
        m_journal->finish(std::move(outcome));
        m_front_end_ms += ms_since(start);
        m_journal->wait();
    }
    void print(double wall_s) const {
        const CJobJournal::Figures figures = m_journal->figures();
        std::printf("journal writes          %d (%.2f per second of the job)\n", figures.writes,
                    figures.writes / wall_s);
        std::printf("journal thread per write %.2f ms mean, %.2f ms longest (snapshot, JSON, CSV, fsync, rename)\n",
                    figures.writes ? static_cast<double>(figures.busy_us) / figures.writes / 1000.0 : 0.0,
                    static_cast<double>(figures.longest_us) / 1000.0);
        std::printf("front-end thread        %.3f ms in the journal's calls over the whole job\n", m_front_end_ms);
        std::printf("runs lock, longest hold %.3f ms (the copy a snapshot takes; workers take this lock)\n",
                    m_longest_copy_ms);
    }

private:
    JobOutcome snapshot() {
        const auto start = Clock::now();
        const std::vector<DeviceRun> runs = m_job.device_runs();  // the copy made under the lock
        m_longest_copy_ms = std::max(m_longest_copy_ms, ms_since(start));
        JobOutcome outcome = m_header;
        add_live_job_devices(outcome, m_job, m_table);
        return outcome;
    }

    const CBatchJob& m_job;
    const CDeviceTable& m_table;
    JobOutcome m_header;
    std::unique_ptr<CJobJournal> m_journal;
    double m_front_end_ms = 0;
    double m_longest_copy_ms = 0;  // journal thread only
};

std::vector<std::string> ipcsim_arguments(bool onvif, int cameras, const std::string& base_ip) {
    std::vector<std::string> args{exe_dir() + "/ipcsim", "--cmd-port", "18700", "--device-type", "5",
                                  "--fw-version", "1.0.0", "--discovery-address", "127.0.0.1", "--discovery-port",
                                  "23999", "--reboot-ms", "200", "--max-sessions", "20"};
    const std::vector<std::string> kind =
        onvif ? std::vector<std::string>{"-n", "0", "--onvif", std::to_string(cameras), "--onvif-base-ip", base_ip,
                                         "--http-port", "18780", "--wsd-port", "0"}
              : std::vector<std::string>{"-n", std::to_string(cameras), "--base-ip", base_ip};
    args.insert(args.end(), kind.begin(), kind.end());
    return args;
}

ListedDevice listed(const CameraIdentity& id) {
    if (!id.speaks_onvif()) return {id.mac, id.ip, id.cmd_port, id.version, 0x20, 5};
    ListedDevice device{id.mac, id.ip, id.http_port, id.version};
    device.protocol = DeviceProtocol::onvif;
    device.endpoint = "urn:uuid:bench-" + id.mac;
    device.xaddr = "http://" + id.ip + ":" + std::to_string(id.http_port) + "/onvif/device_service";
    return device;
}

double cpu_seconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"batch job benchmark: upgrade and settings over simulated cameras"};
    int cameras = 100;
    double speed = 10;
    std::uint64_t firmware_size = 8u << 20;
    std::string base_ip = "127.0.79.10";
    app.add_option("--cameras", cameras, "simulated cameras")->capture_default_str();
    app.add_option("--speed", speed, "time speed factor")->capture_default_str();
    app.add_option("--firmware-size", firmware_size, "firmware image bytes")->capture_default_str();
    app.add_option("--base-ip", base_ip, "address of the first camera (loopback)")->capture_default_str();
    std::string protocol = "native";
    app.add_option("--protocol", protocol, "the cameras' protocol: native or onvif")
        ->capture_default_str()
        ->check(CLI::IsMember({"native", "onvif"}));
    bool journal = false;
    app.add_flag("--journal", journal, "keep the job report on disk while the job runs, and measure it");
    CLI11_PARSE(app, argc, argv);

    set_trace_sink(&trace_null_sink, nullptr);
    const bool onvif = protocol == "onvif";
    SimOptions options;
    options.count = onvif ? 0 : cameras;
    options.onvif_count = onvif ? cameras : 0;
    options.base_ip = base_ip;
    options.onvif_base_ip = base_ip;
    options.cmd_port = 18700;
    options.http_port = 18780;
    options.device_type = 5;
    options.version = "1.0.0";
    IpcsimChild child;
    if (!child.start(ipcsim_arguments(onvif, cameras, base_ip))) {
        std::fprintf(stderr, "cannot start %s/ipcsim\n", exe_dir().c_str());
        return 1;
    }
    std::string firmware = "/tmp/batch_bench_" + std::to_string(getpid()) + ".update";
    kaltro::FirmwareHeader header;
    header.board_type = 0x20;
    header.image_size = firmware_size;
    kaltro::parse_version("1.0.1", header.version);
    header.board_name = "SIMBOARD";
    if (!kaltro::write_firmware_file(firmware, header, 3)) return 1;

    CDeviceTable table([](const std::string& key) { return key; });
    Simulator identities(options);
    for (const auto& camera : identities.cameras()) {
        table.update_dev_find_list(listed(camera->identity()), true);
    }
    table.select_all();
    Network_ClientInit();
    CKaltroDeviceClient client;
    BenchDiscovery discovery(table, "1.0.1");
    rusage before{}, after{};
    double wall = 0;
    int upgraded = 0, configured = 0;
    {
        CBatchJob job(table, client, discovery);
        job.set_onvif_connector([](const std::string& xaddr, const onvif::Credentials& login) {
            return onvif::open_device(xaddr, login, onvif::SessionOptions{});
        });
        JobParams params;
        params.pwd = "tovik";
        // Steps both kinds offer, so the two kinds' figures compare.
        job.m_dostep.need_update = 1;
        job.m_dostep.change_time_zone = 1;
        rt_set_time_speed(speed);
        rt_set_sleep_observer(&count_sleep);
        getrusage(RUSAGE_SELF, &before);
        auto start = std::chrono::steady_clock::now();
        job.start_upgrade(params, firmware, "", "");
        std::unique_ptr<JournalProbe> probe;
        const std::string reports = "/tmp/batch_bench_reports_" + std::to_string(getpid());
        if (journal) probe = std::make_unique<JournalProbe>(reports, job, table);
        while (job.running()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (probe) {
            probe->finish();
            probe->print(wall);
            std::filesystem::remove_all(reports);
        }
        getrusage(RUSAGE_SELF, &after);
        rt_set_sleep_observer(nullptr);
        for (const JobReport& r : job.reports().drain()) {
            if (r.kind != REPORT_STATUS) continue;
            upgraded += report_low(r.data) == 8;
            configured += report_low(r.data) == 26;
        }
    }
    Network_ClientUnInit();
    std::remove(firmware.c_str());

    double waits = static_cast<double>(longest_wait_chain()) / 1000.0 / speed;
    std::printf("cameras                 %d %s (upgraded %d, settings %d)\n", cameras, protocol.c_str(), upgraded,
                configured);
    std::printf("firmware                %llu bytes\n", static_cast<unsigned long long>(firmware_size));
    std::printf("time speed              %.0f\n", speed);
    std::printf("wall time               %.3f s\n", wall);
    std::printf("longest wait chain      %.3f s (a worker's own timed waits at this speed)\n", waits);
    std::printf("overhead ratio          %.1f %%\n", waits > 0 ? (wall / waits - 1) * 100 : 0.0);
    std::printf("CPU time                %.3f s\n", cpu_seconds(after) - cpu_seconds(before));
    std::printf("peak RSS                %.1f MiB\n", static_cast<double>(after.ru_maxrss) / 1024.0);
    return upgraded == cameras && configured == cameras ? 0 : 1;
}
