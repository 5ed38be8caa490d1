#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "batch/device_access.h"
#include "batch/device_table.h"
#include "batch/job_params.h"
#include "batch/job_steps.h"
#include "batch/report_queue.h"
#include "batch/text_limits.h"
#include "batch/verdict_search.h"
#include "client/kaltro_client.h"
#include "onvif/onvif_device.h"
#include "runtime/cmutex.h"
#include "runtime/cthread.h"

// Runs a host command line (the neighbour-cache commands) and waits for it;
// the result is traced, never acted on.
using ShellRunner = std::function<int(const std::string& command_line)>;

// Opens a session with an ONVIF camera's device service; null when it
// cannot. Called on the worker's thread.
using OnvifConnector =
    std::function<std::unique_ptr<onvif::IDevice>(const std::string& xaddr, const onvif::Credentials& login)>;

// Why start_upgrade started nothing.
enum StartResult : int {
    START_OK = 0,                // started, or nothing checked (nothing to do, nothing changed)
    START_EMPTY_RANGE = 1,       // the IP range holds no address
    START_ALL_IP_CONFLICT = 2,   // every address of the range is in use
    START_PASSWORD_TOO_LONG = 3, // the default password does not fit the device's 31 bytes
    START_BAD_UID = 4,           // the UID could change the meaning of the device's shell line
    START_RANGE_AND_PLAN = 5,    // a device has a planned address and the job hands out a range
};

// The language-file key of the text that tells the user why start_upgrade
// refused to start a job.
const char* start_refusal_key(int result);

// What the engine knows of one device of a job, kept after the job ended
// until the next one starts (the front end writes the job report from it).
struct DeviceRun {
    int row = -1;
    std::string mac;
    std::string ip_before;       // as listed when the job started
    std::string version_before;
    DeviceProtocol protocol = DeviceProtocol::native;
    std::int64_t started_at = 0; // system time in ms since the epoch; 0: the worker never began
    std::int64_t ended_at = 0;
    int passes = 0;              // passes the worker began (login, steps, logout)
    // The device's results as its worker reported them, kept by the engine
    // itself so a report on disk can follow a job that no front end reads.
    std::string marks[6];        // network, upgrade, logo, command, time, settings
    int message_status = -1;     // the last status code with a message: the status text
    bool already_current = false;  // the upgrade was refused: it runs the firmware's version
    std::optional<PlannedValues> planned;  // the device's own values when a plan names it
    std::optional<bool> uid_written;       // the UID step's answer: 0 or not; nothing until it ran
};

// A checked row that the job did not take, and why.
struct SkippedRow {
    enum Reason { NoVersion, NoFreeAddress };
    int row = -1;
    Reason reason = NoVersion;
    std::string detail;  // why the row has no version, when the list knows
};

// The batch job engine: plans a job over the checked rows of the device
// table, runs one worker thread per device and reports to its front end
// through a queue. Qt-free; a dialog and the command line drive it alike.
// start_upgrade and stop_job are called from one (front-end) thread.
class CBatchJob {
public:
    static constexpr int kMaxWorkers = CDeviceTable::kMaxRows;

    CBatchJob(CDeviceTable& table, IDeviceClient& client, IDiscoveryLink& discovery);
    ~CBatchJob();
    CBatchJob(const CBatchJob&) = delete;
    CBatchJob& operator=(const CBatchJob&) = delete;

    // The steps of the next job; the front end fills them before start_upgrade.
    JOB_STEPS m_dostep{};

    void set_shell_runner(ShellRunner runner);
    // How the job reaches ONVIF cameras; without one their workers report
    // that they cannot log in.
    void set_onvif_connector(OnvifConnector connector);
    std::unique_ptr<onvif::IDevice> open_onvif(const std::string& xaddr, const onvif::Credentials& login) const;
    // Decides whether a worker's thread may be created (default: always);
    // tests use it to stand for a thread the system cannot create.
    void set_thread_gate(std::function<bool(int slot)> gate);
    CReportQueue& reports() { return m_reports; }
    // Flashed devices awaiting their verdict; the front end searches while any do.
    VerdictSearch& verdict_search() { return m_verdict_search; }

    // Stops any running job, then starts one worker per checked row with a
    // Version (at most kMaxWorkers; with a range, at most one per free
    // address). range_start/range_end only matter with change_auto_ip.
    int start_upgrade(const JobParams& params, const std::string& path, const std::string& range_start,
                      const std::string& range_end);

    // Ends the job: every worker leaves at its next check, is joined, and the
    // counters are cleared. Never waits for a front end, nor long for a
    // device: a worker's call that waits on one gives up (abort_check).
    void stop_job();
    // Asks every worker to leave at its next check and returns at once; their
    // last reports (each one's finish among them) follow. stop_job joins them.
    void request_stop() { m_running.store(0); }

    bool running() const { return m_running.load() != 0; }
    int worker_count() const { return m_thrd_cnt.load(); }

    // The devices of the last job in worker order, and the checked rows it
    // left out; both stay readable after the job ended.
    std::vector<DeviceRun> device_runs() const;
    std::vector<SkippedRow> skipped_rows() const;
    // A worker's first and last moment, for its DeviceRun.
    void note_worker_begin(int slot);
    void note_worker_pass(int slot, int passes);
    void note_worker_end(int slot, int passes);
    // Grows with every change of device_runs(): a reader that saw the same
    // value has nothing new to read.
    std::uint64_t runs_generation() const { return m_runs_generation.load(); }

    // The worker body, run once per device by CThread; param = row * 65536 + slot.
    int ThreadFunc(std::uint32_t param);

    // Device event callback registered with the client library.
    static int32_t check_DeviceEvent(int32_t handle, DEVICE_EVENT* event, void* user);
    // The workers' abort check for the client library: non-zero once the job stops.
    static int32_t abort_check(void* job);
    void on_device_disconnected(int32_t handle);

    // Progress of flashed devices (kinds 0..3, see batch_job.cpp).
    void add_progress(int kind);
    // Waits a random time below `seconds` in 200 ms steps while the job runs;
    // returns the milliseconds waited.
    int random_wait(int seconds);
    // A worker has ended; the last one ends the job.
    void finished_one_device(int row);
    // A worker has sent its IP change; the last one empties the host's
    // neighbour cache before the waiting workers go on.
    void finished_one_device_change_ip(int row);

    // Read-only views for workers and tests.
    const JOB_STEPS& steps() const { return m_steps; }
    const JobParams& params() const { return m_params; }
    const std::string& fw_path() const { return m_fw_path; }
    // The firmware file's version, read once when the job started; nothing
    // when the job has no upgrade or the file could not be read then.
    const std::optional<std::string>& fw_version() const { return m_fw_version; }
    // The same for a file in the native firmware format only; ONVIF cameras
    // take any file, and their verdict trusts no other file's version field.
    const std::optional<std::string>& fw_native_version() const { return m_fw_native_version; }
    const std::string& new_ip(int slot) const { return m_new_ip[slot]; }
    // A slot's device as a plan gave it its own values, copied from its row
    // when the job started (nothing when no plan names it), and the steps
    // and fields that make of them with the job's: what its worker runs.
    const std::optional<PlannedValues>& planned(int slot) const { return m_planned[slot]; }
    const JOB_STEPS& steps_of(int slot) const { return m_slot_steps[slot]; }
    JobParams params_of(int slot) const;
    // The UID step's answer for the slot's device, for its report.
    void note_uid_written(int slot, bool written);
    std::int32_t dev_handle(int slot) const { return m_dev_handle[slot].load(); }
    void set_dev_handle(int slot, std::int32_t handle) { m_dev_handle[slot].store(handle); }
    int finish_change_ip_count();
    // Workers that the IP-change barrier waits for: those whose thread ran.
    int barrier_count() const { return m_barrier_cnt.load(); }
    CDeviceTable& table() { return m_table; }
    IDeviceClient& client() { return m_client; }
    IDiscoveryLink& discovery() { return m_discovery; }
    void post(int kind, std::uint32_t data) { m_reports.push({kind, data}); }
    // Keeps the status in the device's run, then sends it to the front end.
    void post_status(int row, int code);

private:
    int plan_workers(const JobParams& params, const std::string& range_start,
                     const std::string& range_end, std::vector<int>& rows);
    int refuse_planned(const DeviceRow& row) const;
    // Each taken row's planned values and steps, into its slot.
    void plan_slots(const std::vector<int>& rows);
    void clear_counters();
    void start_workers(const std::vector<int>& rows);
    void launch_workers(int count);
    void record_runs(const std::vector<int>& rows);

    CDeviceTable& m_table;
    IDeviceClient& m_client;
    IDiscoveryLink& m_discovery;
    ShellRunner m_shell_runner;
    OnvifConnector m_onvif_connector;
    std::function<bool(int slot)> m_thread_gate;
    CReportQueue m_reports;
    VerdictSearch m_verdict_search;

    std::atomic<std::uint8_t> m_running{0};
    JOB_STEPS m_steps{};  // m_dostep as the job started; the workers read this copy
    JobParams m_params;
    std::string m_fw_path;
    std::optional<std::string> m_fw_version;
    std::optional<std::string> m_fw_native_version;
    std::atomic<int> m_thrd_cnt{0};
    std::atomic<int> m_barrier_cnt{0};
    std::unique_ptr<CThread<CBatchJob>[]> m_worker;
    std::thread m_launcher;  // creates the workers' threads
    std::string m_new_ip[kMaxWorkers];
    std::optional<PlannedValues> m_planned[kMaxWorkers];
    JOB_STEPS m_slot_steps[kMaxWorkers] = {};
    int m_slot_row[kMaxWorkers] = {};
    // Set when a slot's worker body has begun; a worker stopped before its
    // thread ran is reported finished by stop_job instead.
    std::atomic<std::uint8_t> m_entered[kMaxWorkers] = {};
    std::atomic<std::int32_t> m_dev_handle[kMaxWorkers];

    void record_status(int row, int code);

    mutable std::mutex m_runs_lock;  // guards m_runs and m_skipped
    std::vector<DeviceRun> m_runs;
    std::atomic<std::uint64_t> m_runs_generation{0};
    std::vector<SkippedRow> m_skipped;

    CMutex m_job_lock;  // guards the counters below
    int m_progress_cnt[4] = {0, 0, 0, 0};
    int m_finish_cnt = 0;
    int m_finish_change_ip_cnt = 0;
};
