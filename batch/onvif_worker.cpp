#include "batch/onvif_worker.h"

#include "batch/batch_job.h"
#include "batch/firmware_version.h"
#include "batch/net_prefix.h"
#include "onvif/xaddr.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace {

// Login attempts of a pass and the pause between them, as for native devices.
constexpr int kLoginAttempts = 10;
constexpr int kLoginPauseMs = 500;

// A flashed camera is given what it announced as its down time, but never
// less than a native device's wait after its flash, and then as long again
// as a native device's second login to answer.
constexpr std::int64_t kMinRebootWaitMs = 40000;
constexpr std::int64_t kBackBudgetMs = 60000;
constexpr int kBackPollMs = 2000;
// One tick of the progress bar's waiting share per this much waiting.
constexpr std::int64_t kWaitTickMs = 10000;

}  // namespace

COnvifWorker::COnvifWorker(CBatchJob& job, int ch, int thrd_index) : CDeviceWorker(job, ch, thrd_index) {}

void COnvifWorker::run() {
    give_way_to_the_front_end();
    TRACE_MSG("COnvifWorker::run", "ONVIF worker of row %d begins\n", m_ch);
    read_listed_device();
    std::optional<DeviceRow> row = m_job.table().row(m_ch);
    m_version_before = row ? row->version : std::string();
    m_login = {m_params.user, m_params.pwd};
    onvif::Result login = open(row ? row->xaddr : std::string())
                              ? log_in()
                              : onvif::Result{onvif::Status::Unreachable, "no ONVIF client in this job"};
    if (ip_change_steps(login) && running()) {
        m_job.note_worker_pass(m_slot, ++m_passes);
        if (!login.ok()) {
            report_login_failure(login);
        } else {
            if (m_steps.need_update)
                upgrade_step();
            else
                post(12);
            if (running()) setting_steps();
        }
        m_ended = running();
    } else {
        m_ended = running() || !login.ok();
    }
    finish();
}

bool COnvifWorker::open(const std::string& xaddr) {
    m_xaddr = xaddr;
    m_device = m_job.open_onvif(xaddr, m_login);
    if (!m_device) return false;
    m_device->set_abort_check([this] { return !running(); });
    return true;
}

onvif::Result COnvifWorker::log_in() {
    onvif::Result result{onvif::Status::Unreachable, "not tried"};
    for (int attempt = 0; attempt < kLoginAttempts && running(); ++attempt) {
        if (attempt > 0) rt_sleep_ms(kLoginPauseMs);
        // The clock first: a camera whose clock is off refuses a token made
        // with ours. A camera that will not tell its time is tried as it is.
        onvif::Result clock = m_device->sync_clock();
        if (clock.status == onvif::Status::Unreachable || clock.status == onvif::Status::Aborted) {
            result = clock;
            continue;
        }
        onvif::DeviceInformation info;
        result = m_device->get_device_information(&info);
        TRACE_MSG("COnvifWorker::log_in", "row %d login %s: status %d %s\n", m_ch, m_xaddr.c_str(),
                  static_cast<int>(result.status), result.detail.c_str());
        if (result.ok()) {
            m_version_now = info.firmware_version;
            return result;
        }
        if (result.status != onvif::Status::Unreachable) return result;
    }
    return result;
}

void COnvifWorker::report_login_failure(const onvif::Result& result) {
    if (!running()) return;
    if (result.status == onvif::Status::AuthRefused) {
        // As a native device that refuses the password: the row says so and
        // the steps it will not reach are marked as not done.
        for (int code : {0, 21, 24, 18, 27}) post(code);
        return;
    }
    post(m_ip != m_job.table().ip_of(m_ch) ? 13 : 1);
}

bool COnvifWorker::ip_change_steps(const onvif::Result& login) {
    auto change = [&](JobStepField field, const std::string& ip, const std::string& mask,
                      const std::string& gateway) {
        if (m_ip != ip) {
            bool done = login.ok() && running() && change_address(ip, mask, gateway);
            post(done ? 14 : 13);
        }
        return after_ip_change(field);
    };
    if (m_steps.change_auto_ip && !change(&JOB_STEPS::change_auto_ip, m_job.new_ip(m_slot), "", "")) return false;
    if (m_steps.change_ip && !change(&JOB_STEPS::change_ip, m_params.net_ip, m_params.net_mask, m_params.net_gateway))
        return false;
    if (!m_steps.change_auto_ip && !m_steps.change_ip) post(15);
    return true;
}

std::optional<onvif::NetworkInterface> COnvifWorker::listed_interface() {
    std::vector<onvif::NetworkInterface> interfaces;
    if (!with_retry([&] { return m_device->get_network_interfaces(&interfaces); }).ok() || interfaces.empty())
        return std::nullopt;
    for (const onvif::NetworkInterface& candidate : interfaces)
        if (candidate.address == m_ip) return candidate;
    return interfaces.front();
}

bool COnvifWorker::change_address(const std::string& ip, const std::string& mask, const std::string& gateway) {
    std::optional<onvif::NetworkInterface> interface = listed_interface();
    if (!interface) return false;
    // Without a mask the camera keeps its prefix, as a native device keeps
    // its mask when only the address changes.
    int prefix = mask.empty() ? interface->prefix_length : prefix_length_of(mask);
    if (prefix <= 0) return false;
    bool reboot_needed = false;
    onvif::Result set = m_device->set_ipv4(interface->token, false, ip, prefix, &reboot_needed);
    TRACE_MSG("COnvifWorker::change_address", "row %d to %s/%d: status %d %s\n", m_ch, ip.c_str(), prefix,
              static_cast<int>(set.status), set.detail.c_str());
    if (!set.ok()) return false;
    follow_to(ip);
    if (!gateway.empty() && !with_retry([&] { return m_device->set_default_gateway(gateway); }).ok()) return false;
    return true;
}

void COnvifWorker::follow_to(const std::string& ip) {
    std::string moved = onvif::xaddr_with_host(m_xaddr, ip);
    if (moved.empty() || moved == m_xaddr) return;
    m_ip = ip;
    if (open(moved)) m_device->sync_clock();
}

void COnvifWorker::upgrade_step() {
    // A camera that already runs the native file's version is in the state
    // the job asks for: done, and nothing is sent.
    const std::optional<std::string>& flashed = m_job.fw_native_version();
    if (flashed && version_listed_matches(*flashed, m_version_now)) {
        post(kStatusAlreadyCurrent);
        count_progress_as_flashed();
        return;
    }
    std::int64_t expected_down_ms = 0;
    if (!transfer_firmware(&expected_down_ms)) return;
    judge_upgrade(wait_until_back(expected_down_ms));
}

bool COnvifWorker::transfer_firmware(std::int64_t* expected_down_ms) {
    onvif::FirmwareUpgradeTicket ticket;
    onvif::Result started = with_retry([&] { return m_device->start_firmware_upgrade(&ticket); });
    if (!started.ok()) {
        TRACE_MSG("COnvifWorker::transfer_firmware", "row %d start refused: %s\n", m_ch, started.detail.c_str());
        if (running()) post(started.status == onvif::Status::Unreachable ? 7 : 5);
        return false;
    }
    post(6);
    count_progress_once(0);
    sleep_while_running(static_cast<int>(ticket.upload_delay_ms));
    if (!running()) return false;
    onvif::Result sent = m_device->upload_firmware(ticket, m_job.fw_path(), {});
    TRACE_MSG("COnvifWorker::transfer_firmware", "row %d upload: status %d %s\n", m_ch,
              static_cast<int>(sent.status), sent.detail.c_str());
    if (!sent.ok()) {
        // A camera that refused the image failed; one that went away during
        // the transfer may be tried again later.
        if (running()) post(sent.status == onvif::Status::Unreachable ? 7 : 5);
        return false;
    }
    m_update_complete = true;
    count_progress_once(1);
    post(11);
    *expected_down_ms = ticket.expected_down_time_ms;
    return true;
}

bool COnvifWorker::wait_until_back(std::int64_t expected_down_ms) {
    std::int64_t down = std::max(expected_down_ms, kMinRebootWaitMs);
    for (std::int64_t waited = 0; waited < down && running(); waited += kWaitTickMs) {
        sleep_while_running(static_cast<int>(std::min(kWaitTickMs, down - waited)));
        m_job.add_progress(3);
    }
    std::int64_t deadline = rt_clock_ms() + kBackBudgetMs;
    // The front end searches meanwhile, so a camera back at another address
    // is heard by its MAC.
    VerdictSearch::Waiting waiting(m_job.verdict_search());
    while (running() && rt_clock_ms() < deadline) {
        // A camera on DHCP may come back at another address: discovery
        // hears it by its MAC.
        if (std::optional<std::string> listed = m_job.discovery().FindIp(m_mac); listed && *listed != m_ip)
            follow_to(*listed);
        m_device->sync_clock();
        onvif::DeviceInformation info;
        onvif::Result result = m_device->get_device_information(&info);
        if (result.ok()) {
            m_version_now = info.firmware_version;
            count_progress_once(2);
            return true;
        }
        if (result.status == onvif::Status::AuthRefused) break;
        sleep_while_running(kBackPollMs);
    }
    return false;
}

// The camera is upgraded when it reports the firmware's version (a file in
// the native format says which) or, for a file whose version we cannot
// read, any version other than the one it ran before.
void COnvifWorker::judge_upgrade(bool back) {
    if (!running()) return;
    const std::optional<std::string>& flashed = m_job.fw_native_version();
    bool upgraded = back && !m_version_now.empty() && (flashed ? version_listed_matches(*flashed, m_version_now)
                                                       : m_version_now != m_version_before);
    TRACE_MSG("COnvifWorker::judge_upgrade", "row %d version before \"%s\", now \"%s\": %s\n", m_ch,
              m_version_before.c_str(), m_version_now.c_str(), upgraded ? "upgraded" : "not upgraded");
    if (back && !m_version_now.empty()) m_job.table().set_version(m_ch, m_version_now);
    post(upgraded ? 8 : 9);
    m_upgrade_confirmed = upgraded;
}

onvif::Result COnvifWorker::with_retry(const std::function<onvif::Result()>& call) {
    onvif::Result result = call();
    if (result.status != onvif::Status::Unreachable || !running()) return result;
    sleep_while_running(1000);
    return running() ? call() : result;
}
