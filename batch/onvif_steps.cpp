// The setting steps of an ONVIF camera, in the native worker's order and
// columns: logo, the command column (command, UID, resets), time, settings.
#include "batch/batch_job.h"
#include "batch/onvif_worker.h"
#include "onvif/posix_time_zone.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace {

// The settings column's outcome over its several ONVIF calls.
enum SettingOutcome { kNotAsked, kDone, kFailed, kNotAvailable };

int worst(int a, int b) {
    // A failure outweighs a step the camera cannot take, which outweighs
    // one done: the column must never read as done when something was not.
    auto rank = [](int outcome) { return outcome == kFailed ? 3 : outcome == kNotAvailable ? 2 : outcome; };
    return rank(a) >= rank(b) ? a : b;
}

}  // namespace

void COnvifWorker::setting_steps() {
    post(m_steps.change_logo ? kStatusLogoNotOnOnvif : 21);
    command_column();
    if (running()) time_step();
    if (running()) settings_step();
}

void COnvifWorker::command_column() {
    bool asked = m_steps.send_command || m_steps.change_UID || m_steps.restore_factory || m_steps.reset_pwd;
    if (!asked) {
        post(24);
        return;
    }
    if (m_steps.restore_factory && running()) {
        onvif::Result reset = with_retry([&] { return m_device->set_system_factory_default_soft(); });
        TRACE_MSG("COnvifWorker::command_column", "row %d factory reset: status %d %s\n", m_ch,
                  static_cast<int>(reset.status), reset.detail.c_str());
        post(reset.ok() ? 23 : 22);
    }
    // Posted last, so the column shows what was not done.
    if (m_steps.send_command || m_steps.change_UID || m_steps.reset_pwd) post(kStatusCommandNotOnOnvif);
}

std::string COnvifWorker::job_time_zone() const {
    if (!m_steps.change_time_zone) return {};
    return onvif::posix_tz_for_offset((m_params.time_zone_index - 12) * 3600);
}

bool COnvifWorker::set_clock_now(const std::string& time_zone) {
    onvif::SystemDateTime current;
    with_retry([&] { return m_device->get_system_date_and_time(&current); });
    std::string zone = time_zone.empty() ? current.time_zone : time_zone;
    onvif::Result set = with_retry([&] {
        return m_device->set_system_date_and_time(onvif::DateTimeType::Manual, current.daylight_savings, zone,
                                                  rt_calendar_ms());
    });
    TRACE_MSG("COnvifWorker::set_clock_now", "row %d clock set (zone \"%s\"): status %d %s\n", m_ch, zone.c_str(),
              static_cast<int>(set.status), set.detail.c_str());
    // The clock moved: tokens from now on use the new offset.
    if (set.ok()) m_device->sync_clock();
    return set.ok();
}

void COnvifWorker::time_step() {
    const std::string& ntp = m_params.ntp_server;
    if (!m_steps.change_time_sync && ntp.empty()) {
        post(18);
        return;
    }
    bool ok = true;
    if (m_steps.change_time_sync) ok = set_clock_now(job_time_zone());
    if (ok && !ntp.empty() && running()) {
        onvif::SystemDateTime current;
        with_retry([&] { return m_device->get_system_date_and_time(&current); });
        std::string zone = m_steps.change_time_zone ? job_time_zone() : current.time_zone;
        ok = with_retry([&] { return m_device->set_ntp(ntp); }).ok() &&
             with_retry([&] {
                 return m_device->set_system_date_and_time(onvif::DateTimeType::NTP, current.daylight_savings, zone,
                                                           std::nullopt);
             }).ok();
        TRACE_MSG("COnvifWorker::time_step", "row %d NTP server %s: %s\n", m_ch, ntp.c_str(), ok ? "set" : "failed");
    }
    post(ok ? 17 : 16);
}

int COnvifWorker::password_setting() {
    if (!m_steps.change_password) return kNotAsked;
    // SetUser needs the user's level, which only GetUsers tells.
    std::vector<onvif::User> users;
    if (!with_retry([&] { return m_device->get_users(&users); }).ok()) return kFailed;
    onvif::User login_user{m_login.user, "Administrator"};
    for (const onvif::User& user : users)
        if (user.name == m_login.user) login_user = user;
    const std::string& password = m_params.default_password;
    if (!with_retry([&] { return m_device->set_user(login_user, password); }).ok()) return kFailed;
    // The later steps of the job log in with the new password.
    m_login.password = password;
    m_device->set_credentials(m_login);
    return kDone;
}

int COnvifWorker::dhcp_setting() {
    if (!m_steps.change_dhcp) return kNotAsked;
    std::optional<onvif::NetworkInterface> interface = listed_interface();
    if (!interface) return kFailed;
    bool dhcp = m_params.dhcp_checked != 0;
    bool reboot_needed = false;
    // DHCP off keeps the address the camera has now, as a fixed one.
    onvif::Result set = m_device->set_ipv4(interface->token, dhcp, interface->address, interface->prefix_length,
                                           &reboot_needed);
    TRACE_MSG("COnvifWorker::dhcp_setting", "row %d DHCP %s: status %d %s\n", m_ch, dhcp ? "on" : "off",
              static_cast<int>(set.status), set.detail.c_str());
    return set.ok() ? kDone : kFailed;
}

void COnvifWorker::settings_step() {
    int outcome = kNotAsked;
    if (m_steps.change_time_zone) {
        onvif::SystemDateTime current;
        bool read = with_retry([&] { return m_device->get_system_date_and_time(&current); }).ok();
        bool set = read && with_retry([&] {
                               return m_device->set_system_date_and_time(current.type, current.daylight_savings,
                                                                         job_time_zone(), std::nullopt);
                           }).ok();
        outcome = worst(outcome, set ? kDone : kFailed);
    }
    if (running()) outcome = worst(outcome, password_setting());
    // Last: with DHCP on the camera may leave its address.
    if (running()) outcome = worst(outcome, dhcp_setting());
    bool unavailable = m_steps.change_video_standard || m_steps.change_time_format || m_steps.change_language ||
                       m_steps.change_max_wifi_ch || m_steps.change_deafult_ch;
    if (unavailable) outcome = worst(outcome, kNotAvailable);
    switch (outcome) {
        case kNotAsked: post(27); break;
        case kDone: post(26); break;
        case kFailed: post(25); break;
        default: post(kStatusSettingsNotOnOnvif); break;
    }
}
