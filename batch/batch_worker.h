#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "batch/device_worker.h"
#include "batch/job_steps.h"
#include "client/kaltro_client.h"

// One device of a batch job reached through the native client library,
// worked on by one thread: the IP change, then up to 10 passes of login,
// firmware upgrade and the setting steps. Every result goes to the front end
// as a status report.
class CBatchWorker : private CDeviceWorker {
public:
    CBatchWorker(CBatchJob& job, int ch, int thrd_index);
    void run();

    using CDeviceWorker::kWorkerNice;

private:
    enum class Verdict { NextPass, GoOn };

    // IP change and its barrier; false when the job is that change alone.
    bool ip_change_steps();
    // True when at least one request could be sent.
    bool send_ip_change(bool with_network_fields);
    void confirm_planned_address();

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

    bool group1() const;

    std::string m_ip_use;
    int m_max_try_cnt = 10;
    int m_max_wait_time = 60000;
    int32_t m_device_handle = -1;
    int32_t m_upgrade_handle = -1;
    bool m_already_current = false;    // refused: it runs the firmware's version (status 32)
    int m_retry_step = 0;
    int m_ticks = 0;
    bool m_need_set_customer_cfg = false;
    CUSTOMER_CFG m_customer_cfg{};
};
