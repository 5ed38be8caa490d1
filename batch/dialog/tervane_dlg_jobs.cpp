// The batch dialog's job buttons: each validates its fields, describes the
// job in the step flags and hands it to the engine.
#include <algorithm>

#include "batch/dialog/batch_dlg_bridge.h"
#include "batch/dialog/batch_dlg_controls.h"
#include "batch/dialog/batch_dlg_rules.h"
#include "batch/dialog/batch_settings.h"
#include "batch/dialog/firmware_check_task.h"
#include "batch/dialog/tervane_dlg.h"
#include "batch/job_report_files.h"
#include "batch/text_limits.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

using namespace batch_dlg;

void CtervaneDlg::connect_job_buttons() {
    struct SingleStep {
        int id;
        JobStepField step;
        const char* fail_key;
    };
    static constexpr SingleStep kSingleStepButtons[] = {
        {IDC_BTN_SET_TIME_ZONE, &JOB_STEPS::change_time_zone, "IDS_START_UPGRADE_FAIL"},
        {IDC_BTN_SYNC_TIME, &JOB_STEPS::change_time_sync, "IDS_START_UPGRADE_FAIL"},
        {IDC_BTN_UPGRADE_LOGO, &JOB_STEPS::change_logo, "IDS_START_UPGRADE_FAIL"},
        {IDC_BTN_SET_LANGUAGE, &JOB_STEPS::change_language, "IDS_START_UPGRADE_FAIL"},
        {IDC_BTN_SET_PASSWORD, &JOB_STEPS::change_password, "IDS_START_UPGRADE_FAIL"},
        {IDC_BTN_SET_VIDEO_STD, &JOB_STEPS::change_video_standard, "IDS_START_UPGRADE_FAIL"},
        {IDC_BTN_SET_UID, &JOB_STEPS::change_UID, "IDS_START_UPGRADE_FAIL"},
        {IDC_BTN_SET_MAX_CH, &JOB_STEPS::change_max_wifi_ch, "IDS_START_UPGRADE_FAIL"},
        {IDC_BTN_SET_DEFAULT_CH, &JOB_STEPS::change_deafult_ch, "IDS_START_UPGRADE_FAIL"},
        {IDC_BTN_SEND_COMMAND, &JOB_STEPS::send_command, "IDS_START_UPGRADE_FAIL"},
        {IDC_BTN_RESET, &JOB_STEPS::restore_factory, "IDS_SETTING_FAILED"},
        {IDC_BTN_RESET_PWD, &JOB_STEPS::reset_pwd, "IDS_SETTING_FAILED"},
    };
    for (const SingleStep& button : kSingleStepButtons)
        on_clicked(button.id, [this, button] { on_job_button(button.step, true, button.fail_key); });
    on_clicked(IDC_BTN_UPGRADE, [this] { on_upgrade(); });
    on_clicked(IDC_BTN_SET_RANGE, [this] { on_set_range(); });
    on_clicked(IDC_BTN_SET_NETWORK, [this] { on_set_network(); });
    on_clicked(IDC_BTN_SET_TIME_FORMAT, [this] { on_set_time_format(); });
    on_clicked(IDC_BTN_SET_NTP, [this] { on_set_ntp(); });
    on_clicked(IDC_BTN_START, [this] { on_start(); });
}

bool CtervaneDlg::check_user_name() {
    if (!text(IDC_EDIT_USER).empty()) return true;
    message_box("IDS_INPUT_USER_NAME", "IDS_ERROR");
    set_focus(IDC_EDIT_USER);
    return false;
}

bool CtervaneDlg::check_firmware_path(std::string& path) {
    path = text(IDC_EDIT_FW_PATH);
    if (firmware_path_acceptable(path)) return true;
    message_box("IDS_INVALID_UPGRADE_FILE", "IDS_ERROR");
    set_focus(IDC_BTN_BROWSE_FW);
    return false;
}

// The range rule; a bad end of the range shows the good one's address.
bool CtervaneDlg::check_range(bool order_check, std::string& start, std::string& end) {
    const RangeCheck check = check_ip_range(text(IDC_IP_RANGE_START), text(IDC_IP_RANGE_END), order_check);
    if (check.start_replaced) set_text(IDC_IP_RANGE_START, check.start);
    if (check.end_replaced) set_text(IDC_IP_RANGE_END, check.end);
    switch (check.outcome) {
        case RangeCheck::Ok:
            start = check.start;
            end = check.end;
            return true;
        case RangeCheck::BothInvalid:
            message_box("IDS_INVALID_IP_ADDR", "IDS_ERROR");
            set_focus(IDC_IP_RANGE_START);
            return false;
        case RangeCheck::PrefixMismatch:
            message_box("IDS_IP_RANGE_DISMATCH", "IDS_ERROR");
            set_focus(IDC_IP_RANGE_END);
            return false;
        case RangeCheck::EndBeforeStart:
            message_box("IDS_IP_END_ERROR_LESS_START", "IDS_ERROR");
            set_focus(IDC_IP_RANGE_END);
            return false;
    }
    return false;
}

bool CtervaneDlg::check_ntp_server(std::string& server) {
    server = text(IDC_EDIT_NTP);
    if (is_host_name_or_ip(server)) return true;
    message_box("IDS_INVALID_NTP_SERVER", "IDS_ERROR");
    set_focus(IDC_EDIT_NTP);
    return false;
}

// The job's copy of the fields: workers never read a control.
JobParams CtervaneDlg::collect_job_params(const JobAsk& ask) const {
    JobParams params;
    params.ntp_server = ask.ntp;
    params.user = text(IDC_EDIT_USER);
    params.pwd = text(IDC_EDIT_PASSWORD);
    params.logo_path = text(IDC_EDIT_LOGO_PATH);
    params.command = text(IDC_EDIT_COMMAND);
    params.uid = text(IDC_EDIT_UID);
    params.video_standard_index = combo_selection(IDC_COMBO_VIDEO_STD);
    params.time_zone_index = combo_selection(IDC_COMBO_TIME_ZONE);
    params.time_format_index = combo_selection(IDC_COMBO_TIME_FORMAT);
    params.language_index = combo_selection(IDC_COMBO_LANGUAGE);
    params.dhcp_checked = is_checked(IDC_CHECK_DHCP) ? 1 : 0;
    params.default_password = text(IDC_EDIT_DEFAULT_PWD);
    params.max_channel_text = text(IDC_COMBO_MAX_CH);
    params.default_channel_text = text(IDC_COMBO_DEFAULT_CH);
    params.net_ip = text(IDC_IP_NEW_ADDRESS);
    params.net_mask = text(IDC_IP_SUBMASK);
    params.net_gateway = text(IDC_IP_GATEWAY);
    return params;
}

StepCheckBoxes CtervaneDlg::step_check_boxes() const {
    StepCheckBoxes boxes;
    boxes.auto_ip = is_checked(IDC_CHECK_AUTO_IP);
    boxes.video_standard = is_checked(IDC_CHECK_VIDEO_STD);
    boxes.time_zone = is_checked(IDC_CHECK_TIME_ZONE);
    boxes.time_format = is_checked(IDC_CHECK_TIME_FORMAT);
    boxes.time_sync = is_checked(IDC_CHECK_TIME_SYNC);
    boxes.dhcp = is_checked(IDC_CHECK_DHCP);
    boxes.set_network = is_checked(IDC_CHECK_SET_NETWORK);
    boxes.logo = is_checked(IDC_CHECK_LOGO);
    boxes.language = is_checked(IDC_CHECK_LANGUAGE);
    boxes.password = is_checked(IDC_CHECK_PASSWORD);
    boxes.max_wifi_ch = is_checked(IDC_CHECK_MAX_CH);
    boxes.default_wifi_ch = is_checked(IDC_CHECK_DEFAULT_CH);
    boxes.uid = is_checked(IDC_CHECK_UID);
    boxes.send_command = is_checked(IDC_CHECK_COMMAND);
    boxes.upgrade = is_checked(IDC_CHECK_UPGRADE);
    return boxes;
}

// Starts the job and, when the engine took it, stores the fields. A range
// whose every address is in use is told to the user and counts as taken, as
// does a range without addresses (the rule above makes that impossible).
int CtervaneDlg::run_job(const JobAsk& ask, const char* fail_key) {
    // Nothing is sent, and nothing stored, while a planned address is taken
    // (-1: refused here, before the engine was asked).
    if (m_table.checked_count() > 0 && !planned_addresses_free()) return -1;
    m_job.m_dostep = ask.steps;
    update_search_login();  // a camera heard during the job is read with its login
    int result = m_job.start_upgrade(collect_job_params(ask), ask.path, ask.start, ask.end);
    if (result == START_ALL_IP_CONFLICT) message_box("IDS_ALL_IP_CONFLICT", "IDS_ERROR");
    if (result == START_ALL_IP_CONFLICT || result == START_EMPTY_RANGE) result = START_OK;
    if (result != START_OK) {
        update_controls();
        show_start_refusal(fail_key, result);
        return result;
    }
    // Checked rows that all lack a Version leave a job without workers: it
    // would wait for a Stop that nothing hints at.
    if (m_job.running() && m_job.worker_count() == 0) m_job.stop_job();
    if (m_job.running()) begin_job_report(ask.steps, ask.path);
    update_controls();
    if (m_job.running()) set_focus(IDC_BTN_STOP);
    m_saver.save(batch_settings::collect_cfg_param(*this));
    return result;
}

// The failure and, where the engine names one, its reason: a user cannot
// mend a field the message does not point to.
void CtervaneDlg::show_start_refusal(const char* fail_key, int result) {
    const std::string reason_key = start_refusal_key(result);
    std::string text = lang(fail_key);
    if (reason_key != "IDS_START_UPGRADE_FAIL") text += "\n" + lang(reason_key);
    message_box_text(text, "IDS_ERROR");
}

bool CtervaneDlg::checking_firmware() const { return m_firmware_check != nullptr && m_firmware_check->busy(); }

void CtervaneDlg::check_firmware_then_run(const JobAsk& ask) {
    // With no row checked the job sends nothing and only stores the fields.
    if (m_table.checked_count() == 0) {
        run_job(ask);
        return;
    }
    m_pending_job = ask;
    m_firmware_check->start(ask.path);
    update_controls();
}

void CtervaneDlg::on_firmware_checked(const FirmwarePreflight& result) {
    update_controls();
    // Sent as it is to the checked ONVIF cameras; the native ones refuse it
    // without a byte sent. With none of the former nothing would take it.
    if (firmware_for_onvif_only(result) && !onvif_row_checked()) {
        TRACE_MSG("CtervaneDlg::on_firmware_checked", "firmware file %s refused: %s, and no ONVIF camera is checked\n",
                  m_pending_job.path.c_str(), firmware_fault_text(result.fault));
        message_box("IDS_FIRMWARE_ONVIF_ONLY", "IDS_ERROR");
        set_focus(IDC_BTN_BROWSE_FW);
        return;
    }
    if (!result.ok() && !firmware_for_onvif_only(result)) {
        TRACE_MSG("CtervaneDlg::on_firmware_checked", "firmware file %s refused: %s\n",
                  m_pending_job.path.c_str(), firmware_fault_text(result.fault));
        const bool unreadable =
            result.fault == FirmwareFault::Unreadable || result.fault == FirmwareFault::NotRegularFile;
        message_box(unreadable ? "IDS_INVALID_UPGRADE_FILE" : "IDS_FIRMWARE_DAMAGED", "IDS_ERROR");
        set_focus(IDC_BTN_BROWSE_FW);
        return;
    }
    m_firmware = result;
    run_job(m_pending_job);
}

bool CtervaneDlg::onvif_row_checked() const {
    const std::vector<DeviceRow> rows = m_table.rows();
    return std::any_of(rows.begin(), rows.end(),
                       [](const DeviceRow& row) { return row.checked && row.protocol == DeviceProtocol::onvif; });
}

void CtervaneDlg::begin_job_report(const JOB_STEPS& steps, const std::string& path) {
    m_outcome = JobOutcome{};
    m_outcome.steps = step_names(steps);
    if (steps.need_update) {
        m_outcome.firmware_path = path;
        m_outcome.firmware_sha256 = m_firmware.sha256;
    }
    m_outcome.started_at = rt_calendar_ms();
    if (m_table.has_plan()) m_outcome.plan_path = m_plan.path;
    m_unlisted = unlisted_planned();
    m_outcome_due = true;
    // Beside the logs, in the working directory; file names from the date
    // and time only, never from a device's texts. The report exists from now
    // on and follows the engine's state of the devices, so a crash of the
    // program leaves what the job did.
    m_journal.reset();  // the last job's report is written first
    m_journal = std::make_unique<CJobJournal>(CJobJournal::Place{"", kJobReportDir, std::time(nullptr)});
    m_journal->set_source(
        [this, header = m_outcome, unlisted = m_unlisted] {
            JobOutcome outcome = header;
            add_live_job_devices(outcome, m_job, m_table);
            outcome.devices.insert(outcome.devices.end(), unlisted.begin(), unlisted.end());
            return outcome;
        },
        [this] { return m_job.runs_generation(); });
}

void CtervaneDlg::finish_job_report() {
    if (!m_outcome_due) return;
    m_outcome_due = false;
    m_outcome.ended_at = rt_calendar_ms();
    add_job_devices(m_outcome, m_job, m_table);
    m_outcome.devices.insert(m_outcome.devices.end(), m_unlisted.begin(), m_unlisted.end());
    // Written off this thread; a failure is told once it is known.
    m_journal->finish(m_outcome, [wakeup = m_report_failed](const std::string& error) {
        if (!error.empty()) wakeup->post();
    });
}

void CtervaneDlg::wait_for_job_report() {
    if (m_journal && !m_outcome_due) m_journal->wait();
}

void CtervaneDlg::on_job_button(JobStepField step, bool user_check, const char* fail_key) {
    if (user_check && !check_user_name()) return;
    JobAsk ask;
    ask.steps.*step = 1;
    run_job(ask, fail_key);
}

void CtervaneDlg::on_upgrade() {
    JobAsk ask;
    if (!check_user_name() || !check_firmware_path(ask.path)) return;
    ask.steps.need_update = 1;
    check_firmware_then_run(ask);
}

void CtervaneDlg::on_set_range() {
    JobAsk ask;
    if (!check_range(true, ask.start, ask.end)) return;
    ask.steps.change_auto_ip = 1;
    run_job(ask);
}

void CtervaneDlg::on_set_network() {
    if (!check_user_name()) return;
    JobAsk ask;
    ask.steps.change_dhcp = is_checked(IDC_CHECK_DHCP) ? 1 : 0;
    ask.steps.change_ip = is_checked(IDC_CHECK_SET_NETWORK) ? 1 : 0;
    run_job(ask);
}

void CtervaneDlg::on_set_time_format() {
    if (!check_user_name()) return;
    TRACE_MSG("CtervaneDlg::on_set_time_format", "CtervaneDlg:: OnBnClickedBtnSet3  ----------------00000 ");
    JobAsk ask;
    ask.steps.change_time_format = 1;
    TRACE_MSG("CtervaneDlg::on_set_time_format", "CtervaneDlg:: OnBnClickedBtnSet3  ----------------11111 ");
    const int result = run_job(ask);
    TRACE_MSG("CtervaneDlg::on_set_time_format",
              "CtervaneDlg:: OnBnClickedBtnSet3  ----------------22222 nRet=%d", result);
}

// The time server alone: ONVIF cameras take it, native rows say they cannot.
void CtervaneDlg::on_set_ntp() {
    JobAsk ask;
    if (!check_user_name() || !check_ntp_server(ask.ntp)) return;
    run_job(ask);
}

void CtervaneDlg::on_start() {
    if (!check_user_name()) return;
    JobAsk ask;
    ask.steps = check_update_step(step_check_boxes(), text(IDC_EDIT_COMMAND));
    if (ask.steps.change_auto_ip && !check_range(false, ask.start, ask.end)) return;
    if (is_checked(IDC_CHECK_NTP) && !check_ntp_server(ask.ntp)) return;
    if (!ask.steps.need_update) {
        run_job(ask);
        return;
    }
    if (check_firmware_path(ask.path)) check_firmware_then_run(ask);
}
