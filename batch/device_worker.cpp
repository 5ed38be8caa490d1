#include "batch/device_worker.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "batch/batch_job.h"
#include "runtime/rt_time.h"

CDeviceWorker::CDeviceWorker(CBatchJob& job, int ch, int thrd_index)
    : m_job(job), m_steps(job.steps_of(thrd_index)), m_params(job.params_of(thrd_index)), m_ch(ch), m_slot(thrd_index) {}

// A hundred workers starting together (logins, transfers) would otherwise
// take turns on the CPU with the front end's thread, and the window would
// stall for a tenth of a second at a time. Workers wait on the network most
// of the time, so the lowest priority costs the job little; it lets the front
// end's thread run first when both want the CPU. (Linux gives every thread
// its own nice value; raising it needs no privilege.)
void CDeviceWorker::give_way_to_the_front_end() {
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), kWorkerNice);
}

void CDeviceWorker::read_listed_device() {
    if (std::optional<DeviceRow> row = m_job.table().row(m_ch)) {
        m_mac = row->mac;
        m_ip = row->ip;
        m_port = std::atoi(row->port.c_str());
    }
}

bool CDeviceWorker::running() const { return m_job.running(); }
void CDeviceWorker::post(int code) { m_job.post_status(m_ch, code); }

void CDeviceWorker::sleep_while_running(int ms) {
    while (ms > 0 && running()) {
        int slice = std::min(ms, 100);
        rt_sleep_ms(slice);
        ms -= slice;
    }
}

void CDeviceWorker::count_progress_once(int kind) {
    if (!m_progress_marks[kind]) return;
    m_progress_marks[kind] = false;
    m_job.add_progress(kind);
}

// So a job of devices already on the firmware's version ends at 100 % like any other.
void CDeviceWorker::count_progress_as_flashed() {
    for (int kind = 0; kind < 3; ++kind) count_progress_once(kind);
    for (int tick = 0; tick < 12; ++tick) m_job.add_progress(3);
}

bool CDeviceWorker::after_ip_change(JobStepField field) {
    if (only_step(m_steps, field)) return false;
    m_job.finished_one_device_change_ip(m_ch);
    // Barrier: every worker of the job has sent its change (and the last one
    // has emptied the neighbour cache) before anyone logs in.
    while (m_job.finish_change_ip_count() < m_job.barrier_count() && running()) rt_sleep_ms(100);
    post(10);
    return true;
}

void CDeviceWorker::report_stopped() {
    post(m_update_complete && !m_upgrade_confirmed ? kStatusStoppedAfterFlash : kStatusStopped);
}

void CDeviceWorker::finish() {
    if (!m_ended) report_stopped();
    m_job.note_worker_end(m_slot, m_passes);
    m_job.finished_one_device(m_ch);
}
