#pragma once

#include <string>

#include "batch/job_params.h"
#include "batch/job_steps.h"

class CBatchJob;

// What every device worker of a batch job shares, whatever protocol reaches
// its device: the job it reports to, its row and slot, the device as listed
// when the job started, the stop flag, the progress marks and the IP-change
// barrier. A worker reads the job's copy and the device table, never a
// front end.
class CDeviceWorker {
public:
    // The nice value a worker's thread runs at (the front end's stays at 0).
    static constexpr int kWorkerNice = 19;

protected:
    CDeviceWorker(CBatchJob& job, int ch, int thrd_index);
    ~CDeviceWorker() = default;

    static void give_way_to_the_front_end();
    // Reads the device's MAC, address and port from its row.
    void read_listed_device();

    void post(int code);
    void count_progress_once(int kind);
    // A device that needs no flash weighs in the bar as one flashed and back.
    void count_progress_as_flashed();
    bool running() const;
    // Sleeps `ms`, in short slices, ending early when the job is stopped.
    void sleep_while_running(int ms);
    // After this worker's IP change: the barrier every worker of the job
    // meets before anyone logs in. False when the job was that change alone.
    bool after_ip_change(JobStepField field);
    // What a stopped job shows for this device instead of a verdict.
    void report_stopped();
    // The worker's end, once, whichever way it came.
    void finish();

    CBatchJob& m_job;
    const JOB_STEPS& m_steps;   // this device's: the job's with its planned values
    const JobParams m_params;   // likewise
    int m_ch;
    int m_slot;
    std::string m_mac;
    std::string m_ip;
    int m_port = 0;
    int m_passes = 0;
    bool m_update_complete = false;    // the device took the whole firmware
    bool m_upgrade_confirmed = false;  // status 8 given
    bool m_ended = false;              // the passes ended by themselves, not by a stop

private:
    bool m_progress_marks[3] = {true, true, true};
};
