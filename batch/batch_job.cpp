#include "batch/batch_job.h"

#include <algorithm>
#include <cstdlib>
#include <random>
#include <system_error>

#include "batch/batch_worker.h"
#include "batch/customer_cfg.h"
#include "batch/firmware_version.h"
#include "batch/ip_pool.h"
#include "batch/onvif_worker.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace {

int run_with_system_shell(const std::string& command_line) {
    int status = std::system(command_line.c_str());
    TRACE_MSG("run_with_system_shell", "shell \"%s\" returned %d\n", command_line.c_str(), status);
    return status;
}

// The host's neighbour (ARP) cache is emptied after the IP changes so the
// next logins resolve the devices' new addresses afresh.
constexpr const char* kNeighbourFlush = "ip -4 neigh flush all";
constexpr const char* kNeighbourShow = "ip -4 neigh show";

}  // namespace

const char* start_refusal_key(int result) {
    switch (result) {
        case START_EMPTY_RANGE: return "IDS_INVALID_IP_ADDR";
        case START_ALL_IP_CONFLICT: return "IDS_ALL_IP_CONFLICT";
        case START_PASSWORD_TOO_LONG: return "IDS_DEFAULT_PWD_TOO_LONG";
        case START_BAD_UID: return "IDS_UID_NOT_ALLOWED";
        case START_RANGE_AND_PLAN: return "IDS_PLAN_AND_RANGE";
        default: return "IDS_START_UPGRADE_FAIL";
    }
}

CBatchJob::CBatchJob(CDeviceTable& table, IDeviceClient& client, IDiscoveryLink& discovery)
    : m_table(table),
      m_client(client),
      m_discovery(discovery),
      m_shell_runner(&run_with_system_shell),
      m_worker(new CThread<CBatchJob>[kMaxWorkers]) {
    for (auto& handle : m_dev_handle) handle.store(-1);
    m_job_lock.Create();
}

CBatchJob::~CBatchJob() {
    // The front end's notifier may already be gone; the last reports need none.
    m_reports.set_notifier(nullptr);
    stop_job();
    m_job_lock.Close();
}

void CBatchJob::set_shell_runner(ShellRunner runner) { m_shell_runner = std::move(runner); }

void CBatchJob::set_onvif_connector(OnvifConnector connector) { m_onvif_connector = std::move(connector); }

std::unique_ptr<onvif::IDevice> CBatchJob::open_onvif(const std::string& xaddr,
                                                      const onvif::Credentials& login) const {
    return m_onvif_connector ? m_onvif_connector(xaddr, login) : nullptr;
}

void CBatchJob::set_thread_gate(std::function<bool(int slot)> gate) { m_thread_gate = std::move(gate); }

int CBatchJob::plan_workers(const JobParams& params, const std::string& range_start,
                            const std::string& range_end, std::vector<int>& rows) {
    int limit = std::min(m_table.row_count(), kMaxWorkers);
    if (m_steps.change_auto_ip) {
        int count = 0;
        std::vector<std::string> pool = build_ip_pool(range_start, range_end, m_table.listed_ips(), count);
        if (count < 1) return START_EMPTY_RANGE;
        if (pool.empty()) return START_ALL_IP_CONFLICT;
        limit = std::min({static_cast<int>(pool.size()), kMaxWorkers, m_table.checked_count()});
        for (int slot = 0; slot < limit; ++slot) m_new_ip[slot] = pool[slot];
    }
    if (m_steps.change_password && params.default_password.size() > kMaxDevicePasswordBytes)
        return START_PASSWORD_TOO_LONG;
    if (m_steps.change_UID && !uid_is_shell_safe(params.uid)) return START_BAD_UID;
    // Rows are taken in order; a checked row without a Version is unchecked
    // and skipped, since the device cannot be worked on. Checked rows past
    // the last range address are left out; both are told to the front end.
    std::vector<SkippedRow> skipped;
    int total = m_table.row_count();
    for (int row = 0; row < total; ++row) {
        std::optional<DeviceRow> r = m_table.row(row);
        if (!r || !r->checked) continue;
        if (r->version.empty()) {
            m_table.set_checked(row, false);
            skipped.push_back({row, SkippedRow::NoVersion, r->note});
        } else if (static_cast<int>(rows.size()) < limit) {
            if (int refused = refuse_planned(*r); refused != START_OK) return refused;
            rows.push_back(row);
        } else {
            skipped.push_back({row, SkippedRow::NoFreeAddress});
        }
    }
    std::lock_guard<std::mutex> guard(m_runs_lock);
    m_skipped = std::move(skipped);
    return START_OK;
}

int CBatchJob::refuse_planned(const DeviceRow& row) const {
    if (!row.planned) return START_OK;
    // The range hands out its addresses in row order: one device cannot
    // take both its own address and one of the range.
    if (m_steps.change_auto_ip && !row.planned->ip.empty()) return START_RANGE_AND_PLAN;
    if (!row.planned->uid.empty() && !uid_is_shell_safe(row.planned->uid)) return START_BAD_UID;
    return START_OK;
}

void CBatchJob::plan_slots(const std::vector<int>& rows) {
    int at_barrier = 0;
    for (std::size_t t = 0; t < rows.size(); ++t) {
        std::optional<DeviceRow> r = m_table.row(rows[t]);
        m_planned[t] = r ? r->planned : std::nullopt;
        m_slot_steps[t] = m_steps;
        if (m_planned[t]) m_slot_steps[t] = planned_steps(m_steps, *m_planned[t], {r->ip, r->mask, r->gateway});
        if (waits_at_ip_change_barrier(m_slot_steps[t])) ++at_barrier;
    }
    // Only the workers that change an address before their other steps
    // meet at the barrier; with per-device steps that need not be all.
    m_barrier_cnt.store(at_barrier);
}

JobParams CBatchJob::params_of(int slot) const {
    return m_planned[slot] ? planned_params(m_params, *m_planned[slot]) : m_params;
}

int CBatchJob::start_upgrade(const JobParams& params, const std::string& path, const std::string& range_start,
                             const std::string& range_end) {
    if (m_table.checked_count() == 0) return START_OK;
    stop_job();
    m_steps = m_dostep;
    std::vector<int> rows;
    int refused = plan_workers(params, range_start, range_end, rows);
    if (refused != START_OK) {
        for (auto& ip : m_new_ip) ip.clear();
        return refused;
    }
    m_fw_path = path;
    // Read once: the file may be moved or replaced while the job runs, and
    // the verdict must judge what was flashed.
    m_fw_version = m_steps.need_update ? firmware_file_version(path) : std::nullopt;
    m_fw_native_version = m_steps.need_update ? native_firmware_version(path) : std::nullopt;
    m_params = params;
    // The worker count is final before the first worker starts, so the
    // barrier and the progress never see a count that is still growing.
    m_thrd_cnt.store(static_cast<int>(rows.size()));
    plan_slots(rows);
    clear_counters();
    record_runs(rows);
    m_running.store(1);
    TRACE_MSG("CBatchJob::start_upgrade", "CtervaneDlg::start_upgrade  ---------------- total_cnt=%d ",
              m_table.row_count());
    start_workers(rows);
    post(REPORT_RUN_STATE, 0);
    return START_OK;
}

void CBatchJob::record_runs(const std::vector<int>& rows) {
    std::vector<DeviceRun> runs;
    for (int row : rows) {
        DeviceRun run;
        run.row = row;
        if (std::optional<DeviceRow> r = m_table.row(row)) {
            run.mac = r->mac;
            run.ip_before = r->ip;
            run.version_before = r->version;
            run.protocol = r->protocol;
            run.planned = r->planned;
        }
        runs.push_back(std::move(run));
    }
    std::lock_guard<std::mutex> guard(m_runs_lock);
    m_runs = std::move(runs);
    ++m_runs_generation;
}

void CBatchJob::start_workers(const std::vector<int>& rows) {
    const int count = static_cast<int>(rows.size());
    for (int t = 0; t < count; ++t) {
        post_status(rows[t], kStatusClearRow);
        m_slot_row[t] = rows[t];
        m_entered[t].store(0);
    }
    // Creating a hundred threads takes long on a busy machine, and the front
    // end's thread (the GUI's) must not wait for it: a launcher thread
    // creates them. stop_job joins it first; slots it never reached are
    // finished there like any worker stopped before it began.
    try {
        m_launcher = std::thread([this, count] { launch_workers(count); });
    } catch (const std::system_error&) {
        launch_workers(count);
    }
}

void CBatchJob::launch_workers(int count) {
    for (int t = 0; t < count && running(); ++t) {
        TRACE_MSG("CBatchJob::launch_workers",
                  "CtervaneDlg::start_upgrade  ---------------- Start ch=%d thrd_index=%d", m_slot_row[t], t);
        bool may_start = !m_thread_gate || m_thread_gate(t);
        if (!may_start || m_worker[t].Start(this, report_pair(m_slot_row[t], t), 0) != RC_OK) {
            // A device whose worker never runs is finished at once, and the
            // IP-change barrier no longer waits for it.
            TRACE_MSG("CBatchJob::launch_workers", "worker of row %d could not be started\n", m_slot_row[t]);
            m_entered[t].store(1);
            if (waits_at_ip_change_barrier(m_slot_steps[t])) m_barrier_cnt.fetch_sub(1);
            finished_one_device(m_slot_row[t]);
        }
    }
}

std::vector<DeviceRun> CBatchJob::device_runs() const {
    std::lock_guard<std::mutex> guard(m_runs_lock);
    return m_runs;
}

std::vector<SkippedRow> CBatchJob::skipped_rows() const {
    std::lock_guard<std::mutex> guard(m_runs_lock);
    return m_skipped;
}

void CBatchJob::note_worker_begin(int slot) {
    std::lock_guard<std::mutex> guard(m_runs_lock);
    if (slot < 0 || slot >= static_cast<int>(m_runs.size())) return;
    m_runs[slot].started_at = rt_calendar_ms();
    ++m_runs_generation;
}

void CBatchJob::note_worker_pass(int slot, int passes) {
    std::lock_guard<std::mutex> guard(m_runs_lock);
    if (slot < 0 || slot >= static_cast<int>(m_runs.size())) return;
    m_runs[slot].passes = passes;
    ++m_runs_generation;
}

void CBatchJob::note_worker_end(int slot, int passes) {
    std::lock_guard<std::mutex> guard(m_runs_lock);
    if (slot < 0 || slot >= static_cast<int>(m_runs.size())) return;
    m_runs[slot].ended_at = rt_calendar_ms();
    m_runs[slot].passes = passes;
    ++m_runs_generation;
}

void CBatchJob::note_uid_written(int slot, bool written) {
    std::lock_guard<std::mutex> guard(m_runs_lock);
    if (slot < 0 || slot >= static_cast<int>(m_runs.size())) return;
    m_runs[slot].uid_written = written;
    ++m_runs_generation;
}

void CBatchJob::post_status(int row, int code) {
    record_status(row, code);
    post(REPORT_STATUS, report_pair(row, code));
}

// The same effect as the list's row gets (marks, a message), without the
// text: the reader looks that up in its own language.
void CBatchJob::record_status(int row, int code) {
    if (code < 0 || code >= kStatusCount) return;
    const StatusEffect effect = status_effect(code);
    std::lock_guard<std::mutex> guard(m_runs_lock);
    auto run = std::find_if(m_runs.begin(), m_runs.end(), [row](const DeviceRun& r) { return r.row == row; });
    if (run == m_runs.end()) return;
    if (code == kStatusClearRow) {
        for (std::string& mark : run->marks) mark = kMarkBlank;
        run->message_status = -1;
    } else {
        if (effect.column >= 0) run->marks[effect.column - COL_NETWORK] = effect.mark;
        if (effect.message_key) run->message_status = code;
    }
    if (code == kStatusAlreadyCurrent) run->already_current = true;
    ++m_runs_generation;
}

void CBatchJob::stop_job() {
    m_running.store(0);
    if (m_launcher.joinable()) m_launcher.join();
    int started = m_thrd_cnt.load();
    for (int slot = 0; slot < started; ++slot) {
        if (m_worker[slot].IsRunning()) m_worker[slot].Stop();
        // Every worker reports its device finished exactly once, even one
        // whose thread was stopped before it could begin.
        if (m_entered[slot].exchange(1) == 0) {
            post_status(m_slot_row[slot], kStatusStopped);
            finished_one_device(m_slot_row[slot]);
        }
        m_new_ip[slot].clear();
        m_planned[slot].reset();
        m_slot_steps[slot] = JOB_STEPS{};
    }
    m_fw_path.clear();
    m_fw_version.reset();
    m_fw_native_version.reset();
    m_params = JobParams{};
    post(REPORT_RUN_STATE, 0);
    clear_counters();
}

void CBatchJob::clear_counters() {
    CAutoMutex lock(&m_job_lock);
    std::fill(std::begin(m_progress_cnt), std::end(m_progress_cnt), 0);
    m_finish_cnt = 0;
    m_finish_change_ip_cnt = 0;
}

int CBatchJob::ThreadFunc(std::uint32_t param) {
    m_entered[report_low(param)].store(1);
    note_worker_begin(report_low(param));
    int row = report_high(param);
    std::optional<DeviceRow> listed = m_table.row(row);
    if (listed && listed->protocol == DeviceProtocol::onvif) {
        COnvifWorker(*this, row, report_low(param)).run();
    } else {
        CBatchWorker(*this, row, report_low(param)).run();
    }
    return 1;
}

int32_t CBatchJob::check_DeviceEvent(int32_t handle, DEVICE_EVENT* event, void* user) {
    if (event == nullptr) return 0;
    TRACE_MSG("CBatchJob::check_DeviceEvent", "\n--- check_DeviceEvent   hDev=%d pEvent->main=%d -------- \n",
              handle, event->main);
    if (user != nullptr && event->main == EVENT_DISCONNECTED)
        static_cast<CBatchJob*>(user)->on_device_disconnected(handle);
    return 0;
}

int32_t CBatchJob::abort_check(void* job) { return static_cast<CBatchJob*>(job)->running() ? 0 : 1; }

void CBatchJob::on_device_disconnected(int32_t handle) {
    for (auto& slot : m_dev_handle) {
        std::int32_t expected = handle;
        slot.compare_exchange_strong(expected, -1);
    }
}

// Each device weighs 15 in the bar: 1 when its transfer starts (kind 0), 1
// when the transfer reaches 100 (kind 1), 1 when it is back after the flash
// (kind 2) and 12 ticks of waiting for it (kind 3).
void CBatchJob::add_progress(int kind) {
    if (kind < 0 || kind > 3) return;
    int n = m_thrd_cnt.load();
    if (n <= 0) return;
    int back = -1;
    int percent = 0;
    {
        CAutoMutex lock(&m_job_lock);
        ++m_progress_cnt[kind];
        if (kind == 2) back = m_progress_cnt[2];
        if (m_progress_cnt[3] > n * 12 || m_progress_cnt[2] == n) m_progress_cnt[3] = n * 12;
        int sum = m_progress_cnt[0] + m_progress_cnt[1] + m_progress_cnt[2] + m_progress_cnt[3];
        percent = std::min(sum * 100 / (n * 15), 100);
    }
    // Posted after the lock is released: a push may call the front end's
    // notifier. Two workers may post out of order; front ends keep the highest.
    if (back >= 0) post(REPORT_COUNT, report_pair(back, n));
    post(REPORT_PROGRESS, static_cast<std::uint32_t>(percent));
}

int CBatchJob::random_wait(int seconds) {
    if (seconds <= 0) return 0;
    // Each thread draws from its own generator: workers that start in the
    // same second must not all wait the same time.
    thread_local std::mt19937 generator{std::random_device{}()};
    int r = static_cast<int>(generator() % static_cast<unsigned>(seconds * 1000));
    int waited = 0;
    while (m_running.load() == 1 && r > 0) {
        rt_sleep_ms(200);
        r -= 200;
        waited += 200;
    }
    return waited;
}

void CBatchJob::finished_one_device(int row) {
    post(REPORT_FINISHED, static_cast<std::uint32_t>(row));
    bool last = false;
    {
        CAutoMutex lock(&m_job_lock);
        ++m_finish_cnt;
        TRACE_MSG("CBatchJob::finished_one_device",
                  "-------------finished_one_device  ---------------- m_finish_cnt=%d m_thrd_cnt=%d\n",
                  m_finish_cnt, m_thrd_cnt.load());
        last = m_finish_cnt == m_thrd_cnt.load();
        if (last) m_running.store(0);
    }
    if (!last) return;
    post(REPORT_RUN_STATE, 0);
    post(REPORT_ALL_FINISHED, 0);
}

void CBatchJob::finished_one_device_change_ip(int row) {
    post(REPORT_IP_CHANGED, static_cast<std::uint32_t>(row));
    bool last = false;
    {
        CAutoMutex lock(&m_job_lock);
        TRACE_MSG("CBatchJob::finished_one_device_change_ip",
                  "---finished_one_device_change_ip  ----- m_finish_change_ip_cnt=%d m_thrd_cnt=%d\n",
                  m_finish_change_ip_cnt, m_thrd_cnt.load());
        last = m_finish_change_ip_cnt == m_barrier_cnt.load() - 1;
        if (!last) {
            ++m_finish_change_ip_cnt;
            return;
        }
    }
    // The last device: every other worker waits at the barrier, so nobody
    // else counts now; the commands run without the lock held.
    rt_sleep_ms(1000);
    m_shell_runner(kNeighbourFlush);
    m_shell_runner(kNeighbourShow);
    CAutoMutex lock(&m_job_lock);
    ++m_finish_change_ip_cnt;
}

int CBatchJob::finish_change_ip_count() {
    CAutoMutex lock(&m_job_lock);
    return m_finish_change_ip_cnt;
}
