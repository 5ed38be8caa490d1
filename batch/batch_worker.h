#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "batch/job_params.h"
#include "batch/job_steps.h"
#include "client/kaltro_client.h"

class CBatchJob;

// One device of a batch job, worked on by one thread: the IP change, then
// up to 10 passes of login, firmware upgrade and the setting steps. Every
// result goes to the front end as a status report; the worker reads the job
// copy and the device table, never a front end.
class CBatchWorker {
public:
    CBatchWorker(CBatchJob& job, int ch, int thrd_index);
    void run();

    // The nice value a worker's thread runs at (the front end's stays at 0).
    static constexpr int kWorkerNice = 19;

private:
    static void give_way_to_the_front_end();
    enum class Verdict { NextPass, GoOn };

    // IP change and its barrier; false when the job is that change alone.
    bool ip_change_steps();
    // True when at least one request could be sent.
    bool send_ip_change(bool with_network_fields);
    void confirm_planned_address();
    bool after_ip_change(JobStepField field);

    void passes();
    int login();
    bool login_failure_ends(int ret);
    void upgrade_step();
    void start_transfer();
    void poll_transfer();
    void wait_for_disconnect();
    void wait_after_flash();
    void second_login();
    // A login after the flash proved the device is the one flashed (the
    // library's login is mutual): the light blinks and the row shows √.
    void confirm_upgrade();
    Verdict upgrade_verdict();
    // What a stopped job shows for this device instead of a verdict.
    void report_stopped();
    // Does the list show the firmware's version (waiting a little for discovery)?
    bool new_version_listed();
    // Does the list show the device with the firmware's version already?
    bool runs_the_firmware_version() const;
    void logout_if_logged_in();

    // The setting steps; each returns false when the device asked for the
    // pass to be repeated (answer 17).
    void setting_steps();
    bool logo_step();
    bool send_logo(std::FILE* file);
    bool command_step();
    bool time_step();
    bool settings_step();
    bool uid_step();
    bool control_step(bool flagged, int step, int32_t code);
    // `answer` (when given) gets the device's answer.
    bool send_shell_line(const std::string& line, int step, int32_t* answer = nullptr);
    // Applies the retry rule to a device answer; true when it asked for a retry.
    bool asks_retry(int32_t answer, int step);

    void post(int code);
    void count_progress_once(int kind);
    void count_progress_as_flashed();
    bool running() const;
    bool group1() const;
    // Sleeps `ms`, in short slices, ending early when the job is stopped.
    void sleep_while_running(int ms);

    CBatchJob& m_job;
    const JOB_STEPS& m_steps;   // this device's: the job's with its planned values
    const JobParams m_params;   // likewise
    int m_ch;
    int m_slot;
    std::string m_mac;
    std::string m_ip;
    int m_port = 0;
    std::string m_ip_use;
    int m_max_try_cnt = 10;
    int m_passes = 0;
    int m_max_wait_time = 60000;
    int32_t m_device_handle = -1;
    int32_t m_upgrade_handle = -1;
    bool m_update_complete = false;
    bool m_upgrade_confirmed = false;  // status 8 given
    bool m_already_current = false;    // refused: it runs the firmware's version (status 32)
    bool m_ended = false;              // the passes ended by themselves, not by a stop
    int m_retry_step = 0;
    bool m_progress_marks[3] = {true, true, true};
    int m_ticks = 0;
    bool m_need_set_customer_cfg = false;
    CUSTOMER_CFG m_customer_cfg{};
};
