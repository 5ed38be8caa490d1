#include "batch/batch_worker.h"

#include <algorithm>

#include "batch/batch_job.h"
#include "batch/firmware_version.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace {

// Login answers that end the device's passes at once.
bool login_refused(int ret) {
    return ret == NETWORK_ERR_USER || ret == NETWORK_ERR_PASSWORD;
}
bool login_final(int ret) {
    return login_refused(ret) || ret == NETWORK_ERR_MAX_USER || ret == NETWORK_ERR_BUSY;
}

// A flashed device drops its connection when it reboots. One that never
// does must not hold its worker (nor a stop) for ever: after this long the
// worker goes on as if the disconnect had come.
constexpr std::int64_t kDisconnectWaitMs = 120000;

// A device back from its flash is listed with its new version only once
// discovery has heard it again; the verdict gives discovery this long.
constexpr std::int64_t kVersionWaitMs = 10000;

// A device given its planned address is heard from there at discovery's
// next search; this long covers several searches and a slow device.
constexpr std::int64_t kPlannedAddressWaitMs = 30000;

// A network field goes into the change request only when it fits the
// request's 32-byte text with its terminator.
bool fits_request_field(const std::string& text) { return text.size() <= 30; }

}  // namespace

CBatchWorker::CBatchWorker(CBatchJob& job, int ch, int thrd_index) : CDeviceWorker(job, ch, thrd_index) {}

bool CBatchWorker::group1() const { return m_job.table().group1_of(m_ch) != 0; }

void CBatchWorker::run() {
    give_way_to_the_front_end();
    TRACE_MSG("CBatchWorker::run", "CtervaneDlg::  ThreadFunc  ---------------- ENTER!!! \n");
    // A stop must not wait for a device that holds a call (a login or a
    // request it never answers): the library gives such calls up.
    m_job.client().SetThreadAbortCB(&CBatchJob::abort_check, &m_job);
    read_listed_device();
    if (ip_change_steps()) {
        m_customer_cfg = CUSTOMER_CFG{};
        m_need_set_customer_cfg = false;
        passes();
    } else {
        m_ended = true;  // the job was this IP change alone
    }
    m_job.client().SetThreadAbortCB(nullptr, nullptr);
    finish();
}

bool CBatchWorker::send_ip_change(bool with_network_fields) {
    IpChangeRequest request{m_mac, m_job.new_ip(m_slot), "", ""};
    if (with_network_fields) {
        if (fits_request_field(m_params.net_ip)) request.ip = m_params.net_ip;
        if (fits_request_field(m_params.net_mask)) request.mask = m_params.net_mask;
        if (fits_request_field(m_params.net_gateway)) request.gateway = m_params.net_gateway;
    }
    // An address given alone keeps the device's mask and gateway: sent
    // empty they would take the device off its network.
    const bool address_alone = request.mask.empty() && request.gateway.empty();
    bool sent = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) rt_sleep_ms(100);
        int ret = with_network_fields && !address_alone ? m_job.discovery().ChangeIp(request)
                                                        : m_job.discovery().ChangeIpPort(request);
        if (ret == 0) post(14);
        sent = sent || ret == 0;
    }
    // Not one request could leave (no card up, the chosen card down): the
    // device keeps its address, which the row must say rather than nothing.
    if (!sent) post(13);
    return sent;
}

// A planned address has taken only when discovery hears the device from
// it: the report says so, and a device that never answers from there is a
// failed network step rather than a silent one.
void CBatchWorker::confirm_planned_address() {
    const std::optional<PlannedValues>& planned = m_job.planned(m_slot);
    if (!planned || planned->ip.empty()) return;
    const std::int64_t deadline = rt_clock_ms() + kPlannedAddressWaitMs;
    // Discovery hears the device anew only when it searches: the front end
    // searches while devices wait to be heard, for a verdict or for this.
    std::optional<VerdictSearch::Waiting> searching;
    while (m_job.table().ip_of(m_ch) != planned->ip) {
        if (!searching) searching.emplace(m_job.verdict_search());
        if (!running()) return;
        if (rt_clock_ms() >= deadline) {
            TRACE_MSG("CBatchWorker::confirm_planned_address", "device index %d not heard at %s\n", m_ch,
                      planned->ip.c_str());
            post(13);
            return;
        }
        rt_sleep_ms(100);
    }
}

bool CBatchWorker::ip_change_steps() {
    if (m_steps.change_auto_ip) {
        if (m_ip != m_job.new_ip(m_slot)) send_ip_change(false);
        if (!after_ip_change(&JOB_STEPS::change_auto_ip)) return false;
    }
    if (m_steps.change_ip) {
        if (m_ip != m_job.new_ip(m_slot) && send_ip_change(true)) confirm_planned_address();
        if (!after_ip_change(&JOB_STEPS::change_ip)) return false;
    }
    if (!m_steps.change_auto_ip && !m_steps.change_ip) post(15);
    return true;
}

void CBatchWorker::passes() {
    for (;;) {
        if (!running()) return;
        if (m_max_try_cnt-- <= 0) {
            m_ended = true;
            return;
        }
        ++m_passes;
        m_job.note_worker_pass(m_slot, m_passes);
        TRACE_MSG("CBatchWorker::passes", "### device index %d enter the while loop again \n", m_ch);
        int ret = login();
        if (m_device_handle == -1) {
            if (login_failure_ends(ret)) {
                m_ended = true;
                return;
            }
        } else if (((m_steps.need_update && !m_update_complete && !m_already_current) || m_retry_step == 2) &&
                   running()) {
            upgrade_step();
        }
        if (upgrade_verdict() == Verdict::GoOn) {
            setting_steps();
            logout_if_logged_in();
            if (m_retry_step == 0) {
                m_ended = running();
                return;
            }
        }
        logout_if_logged_in();
    }
}

int CBatchWorker::login() {
    m_max_wait_time = 60000;
    m_ip_use = m_steps.change_auto_ip ? m_job.new_ip(m_slot) : m_job.table().ip_of(m_ch);
    int ret = -1;
    // The budget is counted per attempt (6 s each), so a pass makes at most
    // 10 attempts however long each one takes.
    while (m_max_wait_time > 0 && running()) {
        if (m_steps.change_auto_ip) sleep_while_running(5000);
        ret = m_job.client().Login(&m_device_handle, m_ip_use, m_port, m_params.user, m_params.pwd);
        TRACE_MSG("CBatchWorker::login",
                  "### device index %d start to login %s ,return value== %d and max_try_cnt = %d "
                  "device_handle=%d  max_wait_time=%d\n",
                  m_ch, m_ip_use.c_str(), ret, m_max_try_cnt, m_device_handle, m_max_wait_time);
        m_job.set_dev_handle(m_slot, m_device_handle);
        if (login_final(ret)) {
            m_max_try_cnt = 0;
            break;
        }
        if (ret == 0 && m_device_handle != -1) break;
        m_max_wait_time -= 6000;
        rt_sleep_ms(500);
    }
    TRACE_MSG("CBatchWorker::login", "### upgrade proc tag 111: index = %d, ret = %d \n", m_ch, ret);
    return ret;
}

// True when the worker ends here.
bool CBatchWorker::login_failure_ends(int ret) {
    if (login_refused(ret) || ret == NETWORK_ERR_BUSY || ret == NETWORK_ERR_MAX_USER) {
        if (login_refused(ret)) {
            for (int code : {0, 21, 24, 18, 27}) post(code);
        } else {
            post(ret == NETWORK_ERR_BUSY ? 7 : 29);
        }
        rt_sleep_ms(100);
        return true;
    }
    if (m_max_try_cnt <= 0) {
        post(m_ip_use != m_job.table().ip_of(m_ch) ? 13 : 1);
        rt_sleep_ms(100);
    }
    return false;
}

void CBatchWorker::logout_if_logged_in() {
    if (m_device_handle == -1) return;
    m_job.client().Logout(m_device_handle);
    m_device_handle = -1;
    m_job.set_dev_handle(m_slot, -1);
}

void CBatchWorker::upgrade_step() {
    IDeviceClient& client = m_job.client();
    // An all-zero settings record first: every apply flag 0.
    CUSTOMER_CFG untouched{};
    client.SetDeviceConfig(m_device_handle, NETWORK_CMD_CUSTOMER_CFG, 0, &untouched, sizeof untouched);
    int ret = client.SetEventCB(m_device_handle, &CBatchJob::check_DeviceEvent, &m_job);
    TRACE_MSG("CBatchWorker::upgrade_step",
              "### Network_ClientSetEventCB  ret = %d device_handle=%d   thrd_index=%d \n", ret,
              m_device_handle, m_slot);
    start_transfer();
    // Nothing to flash: the device stays logged in for the steps that follow.
    if (m_already_current) return;
    rt_sleep_ms(100);
    poll_transfer();
    TRACE_MSG("CBatchWorker::upgrade_step",
              "### device index %d  upgarde over max_try_cnt=%d update_complete=%d  upgrade_handle=%d "
              "device_handle=%d",
              m_ch, m_max_try_cnt, m_update_complete ? 1 : 0, m_upgrade_handle, m_device_handle);
    if (m_upgrade_handle != -1) {
        client.StopUpgrade(m_upgrade_handle);
        m_upgrade_handle = -1;
    }
    m_ticks = 0;
    if (m_device_handle != -1) {
        if (m_update_complete) {
            post(11);
            if (group1())
                m_job.add_progress(3);
            else
                wait_for_disconnect();
        } else {
            m_retry_step = 2;
        }
        logout_if_logged_in();
    }
    if (!m_update_complete) return;
    wait_after_flash();
    second_login();
    count_progress_once(2);
    if (m_device_handle != -1 && running()) confirm_upgrade();
    m_retry_step = 0;
}

void CBatchWorker::confirm_upgrade() {
    IDeviceClient& client = m_job.client();
    // The white light blinks once: the technician sees which camera is done.
    client.DeviceControl(m_device_handle, DEVICE_CTRL_LIGHT, 0, 1, 1);
    client.DeviceControl(m_device_handle, DEVICE_CTRL_LIGHT, 0, 0, 1);
    post(8);
    m_upgrade_confirmed = true;
}

void CBatchWorker::start_transfer() {
    // A file not in the native format is for ONVIF cameras of the job only:
    // a native device would take it whole and then refuse it.
    int ret = m_job.fw_native_version() ? m_job.client().StartUpgrade(&m_upgrade_handle, m_device_handle, m_job.fw_path())
                                        : NETWORK_ERR_UPGRADE_INVALID_FILE;
    TRACE_MSG("CBatchWorker::start_transfer",
              "### device index %d start to send upgarde request max_try_cnt=%d nRet=%d  upgrade_handle=%d "
              "device_handle=%d",
              m_ch, m_max_try_cnt, ret, m_upgrade_handle, m_device_handle);
    if (ret == 0 && m_upgrade_handle != -1) {
        post(6);
        count_progress_once(0);
        return;
    }
    if (m_upgrade_handle != -1) m_job.client().StopUpgrade(m_upgrade_handle);
    m_upgrade_handle = -1;
    if (ret == NETWORK_ERR_UPGRADE_SAME_VERSION && runs_the_firmware_version()) {
        m_already_current = true;
        post(kStatusAlreadyCurrent);
        count_progress_as_flashed();
        return;
    }
    int status = 7;
    if (ret == NETWORK_ERR_UPGRADE_SAME_VERSION) status = 2;
    if (ret == NETWORK_ERR_UPGRADE_BOARD_TYPE) status = 4;
    if (ret == NETWORK_ERR_UPGRADE_INVALID_FILE) {
        status = 3;
        m_max_try_cnt = 0;
    }
    // Earlier passes retry silently; only the last one tells. A stopped job
    // judges nothing: the call may only have been given up.
    if (m_max_try_cnt <= 0 && running()) post(status);
}

void CBatchWorker::poll_transfer() {
    IDeviceClient& client = m_job.client();
    int failures = 0;
    while (m_upgrade_handle != -1 && running()) {
        int32_t value = 0;
        int ret = client.GetUpgradeStatus(m_upgrade_handle, &value);
        TRACE_MSG("CBatchWorker::poll_transfer", "### device index %d has send upgrade file = %d nRet=%d\n",
                  m_ch, value, ret);
        if (value == 100) {
            client.StopUpgrade(m_upgrade_handle);
            m_upgrade_handle = -1;
            m_update_complete = true;
            count_progress_once(1);
        } else if (ret != 0 && ++failures > 3) {
            // Failed polls count over the whole transfer, not only in a row.
            rt_sleep_ms(100);
            client.StopUpgrade(m_upgrade_handle);
            m_upgrade_handle = -1;
            post(7);
            rt_sleep_ms(500);
            break;
        }
        rt_sleep_ms(200);
    }
}

void CBatchWorker::wait_for_disconnect() {
    std::int64_t deadline = rt_clock_ms() + kDisconnectWaitMs;
    int checks = 0;
    while (m_job.dev_handle(m_slot) == m_device_handle && running()) {
        if (rt_clock_ms() >= deadline) {
            TRACE_MSG("CBatchWorker::wait_for_disconnect",
                      "### device index %d no disconnect after the flash, going on\n", m_ch);
            return;
        }
        rt_sleep_ms(100);
        if (++checks % 100 == 0) m_job.add_progress(3);
    }
}

void CBatchWorker::wait_after_flash() {
    if (group1()) {
        m_job.add_progress(3);
        return;
    }
    for (int i = 0; i < 4; ++i) {
        sleep_while_running(10000);
        m_job.add_progress(3);
    }
}

void CBatchWorker::second_login() {
    int budget = 60000;
    while (budget > 0 && running()) {
        if (std::optional<std::string> listed = m_job.discovery().FindIp(m_mac)) m_ip = *listed;
        budget -= m_job.random_wait(5);
        const std::string& target = m_steps.change_auto_ip ? m_job.new_ip(m_slot) : m_ip;
        int ret = m_job.client().Login(&m_device_handle, target, m_port, m_params.user, m_params.pwd);
        m_job.set_dev_handle(m_slot, m_device_handle);
        TRACE_MSG("CBatchWorker::second_login",
                  "###device index %d upgrade login ret=%d device_handle=%d max_wait_time=%dms\n", m_ch, ret,
                  m_device_handle, m_max_wait_time);
        if ((ret == 0 && m_device_handle != -1) || login_refused(ret)) return;
        budget -= 500;
        m_ticks += 5;
        if (m_ticks % 100 == 0) m_job.add_progress(3);
        rt_sleep_ms(500);
    }
}

// The device's refusal is taken at its word only when the list, too, shows
// it with the firmware's version: a refusal that the list contradicts keeps
// the retries and the mismatch message of old.
bool CBatchWorker::runs_the_firmware_version() const {
    const std::optional<std::string>& firmware = m_job.fw_version();
    return firmware && version_listed_matches(*firmware, m_job.table().version_of(m_ch));
}

bool CBatchWorker::new_version_listed() {
    const std::optional<std::string>& flashed = m_job.fw_version();
    if (!flashed) return false;
    std::int64_t deadline = rt_clock_ms() + kVersionWaitMs;
    std::optional<VerdictSearch::Waiting> waiting;  // the front end searches meanwhile
    for (;;) {
        if (version_listed_matches(*flashed, m_job.table().version_of(m_ch))) return true;
        // Only a device that is back (logged in) can still be heard anew.
        if (m_device_handle == -1 || !running() || rt_clock_ms() >= deadline) return false;
        if (!waiting) waiting.emplace(m_job.verdict_search());
        rt_sleep_ms(100);
    }
}

// A flashed device counts as upgraded only once a login after the flash
// proved it is the device (not a host answering for it); a later pass that
// reaches it confirms it then. The listed version must show the firmware's.
CBatchWorker::Verdict CBatchWorker::upgrade_verdict() {
    if (m_retry_step == 2) return Verdict::NextPass;
    // A stopped job gives no verdict: the worker's end says what is known.
    if (!running()) return Verdict::NextPass;
    if (m_steps.need_update && m_update_complete && !m_upgrade_confirmed && m_device_handle != -1)
        confirm_upgrade();
    if (!m_steps.need_update)
        post(12);
    else if (!m_already_current && (!m_update_complete || !m_upgrade_confirmed || !new_version_listed()) && running())
        post(9);
    if (!running()) return Verdict::NextPass;
    if (m_device_handle == -1) {
        for (int code : {21, 24, 18, 27}) post(code);
        return Verdict::NextPass;
    }
    return Verdict::GoOn;
}
