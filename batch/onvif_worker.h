#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "batch/device_worker.h"
#include "onvif/onvif_device.h"

// One ONVIF camera of a batch job, worked on by one thread through the
// camera's device service: log in, the IP change and its barrier, the
// firmware upgrade (start, upload, wait for the camera to come back, judge
// the version it reports), then the setting steps ONVIF offers. Steps it
// does not offer are reported as not available, never as done. Status codes
// and marks are the native worker's wherever the meaning is the same.
class COnvifWorker : private CDeviceWorker {
public:
    COnvifWorker(CBatchJob& job, int ch, int thrd_index);
    void run();

private:
    // Connects to the listed device service address; false when the job
    // has no way to reach ONVIF cameras.
    bool open(const std::string& xaddr);
    // Reads the camera's clock and identity with the job's login, within
    // the login budget. Posts nothing; the result says what happened.
    onvif::Result log_in();
    void report_login_failure(const onvif::Result& result);
    // False when the worker ends here (the job was the IP change alone).
    bool ip_change_steps(const onvif::Result& login);
    bool change_address(const std::string& ip, const std::string& mask, const std::string& gateway);
    // The interface that carries the listed address (else the first one).
    std::optional<onvif::NetworkInterface> listed_interface();
    // Moves the session (and the row's address) to `ip`.
    void follow_to(const std::string& ip);

    void upgrade_step();
    // Starts the upgrade and sends the file; true once the camera took it.
    bool transfer_firmware(std::int64_t* expected_down_ms);
    // Polls until the camera answers again after its flash, within the
    // reboot budget; it may come back at another address.
    bool wait_until_back(std::int64_t expected_down_ms);
    void judge_upgrade(bool back);

    void setting_steps();
    void time_step();
    bool set_clock_now(const std::string& time_zone);
    void settings_step();
    int password_setting();
    int dhcp_setting();
    void command_column();
    // The zone the job sets, as a TZ text; "" when the job sets none.
    std::string job_time_zone() const;

    // Calls `call` once more after a short pause when the camera did not
    // answer the first time (a lost datagram, a camera still settling).
    onvif::Result with_retry(const std::function<onvif::Result()>& call);

    std::unique_ptr<onvif::IDevice> m_device;
    onvif::Credentials m_login;
    std::string m_xaddr;
    std::string m_version_before;
    std::string m_version_now;
};
