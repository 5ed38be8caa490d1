#include "batch/dialog/tervane_dlg.h"

#include <QElapsedTimer>
#include <QLineEdit>

#include "batch/dialog/batch_dlg_bridge.h"
#include "batch/dialog/batch_dlg_controls.h"
#include "batch/dialog/batch_dlg_rules.h"
#include "batch/dialog/batch_settings.h"
#include "batch/dialog/device_list_view.h"
#include "batch/dialog/firmware_check_task.h"
#include "runtime/lang.h"
#include "runtime/result_codes.h"
#include "runtime/trace.h"
#include "search/address_list.h"
#include "ui/network_cards.h"
#include "ui/qt_text.h"
#include "ui/report_list.h"
#include "ui/wait_cursor.h"

using namespace batch_dlg;

namespace {

// The longest time one turn of report handling keeps the GUI thread.
constexpr qint64 kReportSliceMs = 15;

std::vector<std::string> host_card_addresses() {
    std::vector<std::string> addresses;
    PosixUdpTransport host;
    host.list_ipv4_addresses(&addresses);
    return ui::network_card_addresses(addresses);
}

// Both searches as the options ask, sweeping once at start (later only on
// Refresh, and while a job's devices wait to be heard), and the ONVIF
// cameras' identity read with the dialog's login.
CameraSearchOptions camera_search_options(const BatchDialogOptions& dialog, std::shared_ptr<const SharedLogin> login) {
    CameraSearchOptions options;
    options.native = dialog.discovery;
    options.onvif = dialog.onvif;
    options.identity = onvif_sessions(std::move(login), dialog.discovery.endpoints.card);
    return options;
}

}  // namespace

CtervaneDlg::CtervaneDlg(QWidget* parent, BatchDialogOptions options)
    : DialogBase(parent),
      m_options(std::move(options)),
      m_table([this](const std::string& key) { return lang(key); }),
      m_search_login(std::make_shared<SharedLogin>()),
      m_search(m_options.transport, camera_search_options(m_options, m_search_login)),
      m_search_link(m_search),
      m_job(m_table, m_client, m_search_link) {
    Network_ClientInit();
    if (m_options.shell_runner) m_job.set_shell_runner(m_options.shell_runner);
    m_job.set_onvif_connector(onvif_connector(m_options.discovery.endpoints.card));
    // Runs on the search's delivery thread; the table tells the window.
    m_search.SetCallback([this](const FoundCamera& camera, bool is_new) {
        m_table.update_dev_find_list(listed_device_from(camera), is_new);
    });
    build(dialog_spec(), control_table());
    name_controls(control_names());
    m_firmware_check =
        new FirmwareCheckTask([this](const FirmwarePreflight& result) { on_firmware_checked(result); }, this);
    connect_handlers();
    connect_job_buttons();
}

CtervaneDlg::~CtervaneDlg() {
    shut_down();
    Network_ClientUnInit();
}

// Runs at every opening, in the classic order: language, captions and
// combos, network cards, start-up states, stored fields, list, discovery.
void CtervaneDlg::on_init() {
    if (lang_file().empty()) set_lang_file(lang_default_file());
    apply_language();
    control_as<QLineEdit>(IDC_EDIT_ADD_ADDRESS)->setPlaceholderText(QString::fromStdString(lang("IDS_ADD_ADDRESS_HINT")));
    fill_combos();
    m_dev_type_filter = 0;
    get_more_ip();
    combo_select(IDC_COMBO_NETWORK_CARD, 0);
    update_controls();  // idle: a job of an earlier opening was stopped at its close
    set_enabled(IDC_BTN_STOP, false);
    set_text(IDC_EDIT_USER, "Admin");
    set_enabled(IDC_BTN_SET_NETWORK, false);
    for (int id : network_address_fields()) set_enabled(id, false);
    for (int id : hidden_at_start()) set_shown(id, false);
    m_saver.wait();  // what the last opening stored is read back
    batch_settings::load_cfg_param(*this);
    m_plan = DevicePlan{};  // a plan is one opening's
    m_table.set_plan({});
    update_search_login();
    start_device_list();
}

void CtervaneDlg::fill_combos() {
    auto fill = [this](int id, const std::vector<std::string>& entries, int selected) {
        combo_clear(id);
        for (int i = 0; i < static_cast<int>(entries.size()); ++i) combo_insert(id, i, entries[i]);
        combo_select(id, selected);
    };
    auto keys = [this](const char* prefix, int count) {
        std::vector<std::string> texts;
        for (int i = 0; i < count; ++i) texts.push_back(lang(prefix + std::to_string(i)));
        return texts;
    };
    std::vector<std::string> zones, max_channels, channels{lang("IDS_AUTO")};
    for (int i = 0; i < kTimeZoneCount; ++i) zones.push_back(time_zone_text(i));
    for (int ch = 10; ch <= 14; ++ch) max_channels.push_back(std::to_string(ch));
    for (int ch = 1; ch <= 14; ++ch) channels.push_back(std::to_string(ch));
    fill(IDC_COMBO_DEVICE_TYPE, {lang("IDS_ALL")}, 0);
    fill(IDC_COMBO_TIME_ZONE, zones, kDefaultTimeZoneIndex);
    fill(IDC_COMBO_TIME_FORMAT, keys("IDS_TIME_FORMAT_", 4), 0);
    fill(IDC_COMBO_VIDEO_STD, {"NTSC", "PAL"}, 0);
    fill(IDC_COMBO_LANGUAGE, keys("IDS_LANGUAGE_", 21), 2);
    fill(IDC_COMBO_MAX_CH, max_channels, 4);
    fill(IDC_COMBO_DEFAULT_CH, channels, 0);
}

void CtervaneDlg::get_more_ip() {
    combo_clear(IDC_COMBO_NETWORK_CARD);
    const std::vector<std::string> addresses =
        m_options.host_addresses ? m_options.host_addresses() : host_card_addresses();
    for (int i = 0; i < static_cast<int>(addresses.size()); ++i) {
        TRACE_MSG("CtervaneDlg::get_more_ip", "ip = %s\n", addresses[i].c_str());
        combo_insert(IDC_COMBO_NETWORK_CARD, i, addresses[i]);
    }
}

void CtervaneDlg::start_device_list() {
    ui::ReportList* list = report_list(IDC_LIST_DEVICES);
    if (list->columnCount() == 0) add_device_columns(*list, lang("IDS_PROMPT"));
    set_column_captions(*list, lang("IDS_PROMPT"), lang("IDS_PLANNED_IP"), lang("IDS_PLANNED_UID"));
    show_planned_columns(*list, false);
    m_table.clear();
    list->clear_rows();
    m_pending_reports.clear();
    m_job.reports().drain();  // reports of an earlier opening's job are not this window's

    m_discovery_wakeup = new QueuedWakeup([this] { show_device_table(); }, this);
    m_job_wakeup = new QueuedWakeup([this] { process_reports(); }, this);
    m_report_failed = new QueuedWakeup(
        [this] {
            if (m_open) message_box("IDS_JOB_REPORT_FAILED", "IDS_WARNING");
        },
        this);
    m_table.set_change_notifier([wakeup = m_discovery_wakeup](int) { wakeup->post(); });
    m_job.reports().set_notifier([wakeup = m_job_wakeup] { wakeup->post(); });
    // One search of each kind now; later ones only by Refresh, Add by
    // address, and while flashed devices of a job wait to be heard with
    // their new version.
    m_search.Start();
    m_job.verdict_search().start([this] { m_search.Sweep(nullptr); });
    m_open = true;
}

void CtervaneDlg::connect_handlers() {
    on_clicked(IDC_BTN_REFRESH, [this] { on_refresh(); });
    on_clicked(IDC_BTN_ADD_ADDRESS, [this] { on_add_by_address(); });
    for (int id : {IDC_EDIT_USER, IDC_EDIT_PASSWORD})
        connect(control_as<QLineEdit>(id), &QLineEdit::textChanged, this, [this] { update_search_login(); });
    on_selection_changed(IDC_COMBO_DEVICE_TYPE, [this] { on_device_type_changed(); });
    on_clicked(IDC_BTN_SELECT_ALL, [this] {
        m_table.select_all();
        show_device_table();
    });
    on_clicked(IDC_BTN_SELECT_INVERT, [this] {
        m_table.select_invert();
        show_device_table();
    });
    // ONVIF cameras' own firmware files come with any name.
    on_clicked(IDC_BTN_BROWSE_FW, [this] {
        on_browse(IDC_EDIT_FW_PATH, "update files(*.update)|*.update|all files(*)|*||", "update");
    });
    on_clicked(IDC_BTN_BROWSE_LOGO, [this] { on_browse(IDC_EDIT_LOGO_PATH, "update files(*.jpg)|*.jpg||", "logo"); });
    on_clicked(IDC_BTN_STOP, [this] { on_stop(); });
    on_clicked(IDC_BTN_LOAD_PLAN, [this] { on_load_plan(); });
    on_clicked(IDC_BTN_EXPORT_LIST, [this] { on_export_list(); });
    on_clicked(IDC_CHECK_SET_NETWORK, [this] { on_set_network_box(); });
    on_clicked(IDC_CHECK_DHCP, [this] { on_dhcp_box(); });
    connect(report_list(IDC_LIST_DEVICES), &ui::ReportList::row_check_toggled, this,
            [this](int row, bool checked) { on_row_check_toggled(row, checked); });
    set_tab_order({IDC_COMBO_DEVICE_TYPE, IDC_EDIT_ADD_ADDRESS, IDC_BTN_ADD_ADDRESS, IDC_BTN_LOAD_PLAN,
                   IDC_BTN_EXPORT_LIST, IDC_BTN_REFRESH, IDC_BTN_SELECT_ALL, IDC_BTN_SELECT_INVERT, IDC_LIST_DEVICES,
                   IDC_CHECK_UPGRADE, IDC_EDIT_FW_PATH, IDC_BTN_BROWSE_FW, IDC_BTN_UPGRADE, IDC_BTN_STOP, IDC_BTN_START,
                   IDC_CHECK_SET_NETWORK, IDC_CHECK_DHCP, IDC_IP_NEW_ADDRESS, IDC_IP_SUBMASK, IDC_IP_GATEWAY,
                   IDC_BTN_SET_NETWORK, IDC_BTN_RESET, IDC_BTN_RESET_PWD, IDC_CHECK_TIME_ZONE, IDC_COMBO_TIME_ZONE,
                   IDC_BTN_SET_TIME_ZONE, IDC_CHECK_NTP, IDC_EDIT_NTP, IDC_BTN_SET_NTP});
}

void CtervaneDlg::show_device_table() {
    m_showing_table = true;
    show_device_rows(m_table.rows(), *report_list(IDC_LIST_DEVICES));
    m_showing_table = false;
}

// The user's check marks go into the table, which the job reads.
void CtervaneDlg::on_row_check_toggled(int row, bool checked) {
    if (!m_showing_table) m_table.set_checked(row, checked);
}

// Empties the list and searches again, both kinds, from the chosen card's
// address. The native sweep runs on this thread (200 ms per local address),
// as it always has; the ONVIF cameras' identities are read anew off it.
void CtervaneDlg::on_refresh() {
    // While the card combo is hidden nobody chose a card: its first entry
    // would confine the search, and every change of address after it, to
    // one card, so the search goes out of every card instead.
    const std::string card = is_shown(IDC_COMBO_NETWORK_CARD) ? text(IDC_COMBO_NETWORK_CARD) : "";
    m_table.clear();
    show_device_table();
    update_search_login();
    m_search.Refresh(card.c_str());
}

// Cameras the broadcast does not reach (behind a router, on another VLAN)
// are asked at their addresses; their answers list them like the rest.
void CtervaneDlg::on_add_by_address() {
    const std::string typed = text(IDC_EDIT_ADD_ADDRESS);
    std::vector<std::string> addresses;
    std::string error;
    if (typed.find_first_not_of(' ') == std::string::npos) {
        message_box("IDS_INPUT_ADDRESSES", "IDS_ERROR");
        set_focus(IDC_EDIT_ADD_ADDRESS);
        return;
    }
    if (!parse_address_list(typed, &addresses, &error)) {
        message_box_text(lang("IDS_INVALID_ADDRESSES") + "\n" + error, "IDS_ERROR");
        set_focus(IDC_EDIT_ADD_ADDRESS);
        return;
    }
    TRACE_MSG("CtervaneDlg::on_add_by_address", "asking %zu addresses (%s)\n", addresses.size(), typed.c_str());
    update_search_login();
    if (m_search.ProbeAddresses(addresses) != RC_OK) message_box("IDS_ADDRESSES_NOT_SENT", "IDS_ERROR");
}

void CtervaneDlg::update_search_login() { m_search_login->set({text(IDC_EDIT_USER), text(IDC_EDIT_PASSWORD)}); }

void CtervaneDlg::on_device_type_changed() {
    const int selected = combo_selection(IDC_COMBO_DEVICE_TYPE);
    if (selected == m_dev_type_filter) return;
    m_dev_type_filter = selected;
    on_refresh();
}

void CtervaneDlg::on_browse(int edit_id, const char* filter, const char* suffix) {
    if (std::optional<std::string> path = choose_file(filter, suffix)) set_text(edit_id, *path);
}

void CtervaneDlg::on_stop() {
    if (checking_firmware()) {
        m_firmware_check->cancel();  // no job started yet
        update_controls();
        return;
    }
    ui::WaitCursor wait;
    m_outcome.stopped = true;
    m_job.stop_job();
    for (int row = 0; row < m_table.row_count(); ++row) m_table.set_result(row, COL_UPGRADE, " ");
    show_device_table();
    report_list(IDC_LIST_DEVICES)->repaint();
    update_controls();
}

void CtervaneDlg::on_set_network_box() {
    const bool on = is_checked(IDC_CHECK_SET_NETWORK);
    set_enabled(IDC_BTN_SET_NETWORK, on);
    set_enabled(IDC_CHECK_DHCP, !on);
    for (int id : network_address_fields()) set_enabled(id, on);
}

void CtervaneDlg::on_dhcp_box() {
    const bool on = is_checked(IDC_CHECK_DHCP);
    set_enabled(IDC_BTN_SET_NETWORK, on);
    set_enabled(IDC_CHECK_SET_NETWORK, !on);
}

bool CtervaneDlg::busy() const { return m_job.running() || checking_firmware(); }

void CtervaneDlg::update_controls() {
    if (busy()) {
        for (int id : locked_while_running()) set_enabled(id, false);
        set_enabled(IDC_BTN_STOP, true);
    } else {
        for (int id : enabled_when_idle()) set_enabled(id, true);
        set_enabled(IDC_BTN_STOP, false);
        if (is_checked(IDC_CHECK_SET_NETWORK)) {
            set_enabled(IDC_CHECK_DHCP, false);
            for (int id : network_address_fields()) set_enabled(id, true);
            set_enabled(IDC_BTN_SET_NETWORK, true);
        }
        if (is_checked(IDC_CHECK_DHCP)) {
            set_enabled(IDC_CHECK_SET_NETWORK, false);
            set_enabled(IDC_BTN_SET_NETWORK, true);
        }
        // With a plan the network button runs the planned cameras' own values.
        if (m_table.has_plan()) set_enabled(IDC_BTN_SET_NETWORK, true);
        for (int id : job_buttons_when_idle()) set_enabled(id, true);
    }
    set_text(IDC_LABEL_COUNT, "");
    set_progress(IDC_PROGRESS, 0);
    m_display = JobDisplay{};
}

// Reports are handled one at a time in the order the workers sent them. A
// message box opened by one of them runs a nested event loop, in which later
// reports are handled from the same queue, so the order holds.
void CtervaneDlg::process_reports() {
    for (const JobReport& report : m_job.reports().drain()) m_pending_reports.push_back(report);
    // A burst (a hundred workers starting) is handled in slices, with the
    // event loop running in between, so the window keeps answering. The
    // reports only change the table and the display; the widgets follow once
    // per slice, not once per report.
    QElapsedTimer slice;
    slice.start();
    while (m_open && !m_pending_reports.empty() && slice.elapsed() < kReportSliceMs) {
        const JobReport report = m_pending_reports.front();
        m_pending_reports.pop_front();
        apply_report(report);
    }
    if (!m_open) return;
    show_job_display();
    if (!m_pending_reports.empty()) m_job_wakeup->post();
}

void CtervaneDlg::apply_report(const JobReport& report) {
    switch (handle_job_report(report, m_table, m_display)) {
        case ReportAction::RunStateChanged:
            show_job_display();  // the job's last progress is shown before the controls reset it
            update_controls();
            break;
        case ReportAction::AllFinished:
            show_job_display();
            finish_job_report();
            message_box("IDS_ALL_FINISH", "IDS_PROMPT");
            break;
        case ReportAction::None:
            break;
    }
}

// The rows, the progress bar and the count as the reports so far left them;
// a widget whose value is already shown is not touched.
void CtervaneDlg::show_job_display() {
    show_device_table();
    if (progress(IDC_PROGRESS) != m_display.progress) set_progress(IDC_PROGRESS, m_display.progress);
    if (text(IDC_LABEL_COUNT) != m_display.count_text) set_text(IDC_LABEL_COUNT, m_display.count_text);
}

bool CtervaneDlg::on_close_request() {
    if (m_job.running() && message_box("IDS_QUIT_UPGRADE_CONFIRM", "IDS_PROMPT", ui::MsgButtons::OkCancel,
                                       ui::MsgIcon::Exclamation) != ui::MsgResult::Ok)
        return false;
    shut_down();
    return true;
}

// Stops the job (joining every worker) and discovery (joining its threads)
// before the notifications are cut, so no engine thread can reach the
// window afterwards; what they queued meanwhile is dropped.
void CtervaneDlg::shut_down() {
    m_open = false;
    if (m_firmware_check != nullptr) m_firmware_check->cancel();
    m_outcome.stopped = m_outcome.stopped || m_job.running();
    m_job.stop_job();
    m_job.verdict_search().stop();
    m_search.Stop();
    m_table.set_change_notifier(nullptr);
    m_job.reports().set_notifier(nullptr);
    for (const JobReport& report : m_job.reports().drain()) m_pending_reports.push_back(report);
    // A job ended by the close still gets its report: its last reports go
    // into the table, not into the closed window.
    if (m_outcome_due) {
        JobDisplay unseen;
        for (const JobReport& report : m_pending_reports) handle_job_report(report, m_table, unseen);
        finish_job_report();
    }
    m_pending_reports.clear();
    m_saver.wait();
    // Its thread may still post the failure of its last write.
    if (m_journal) m_journal->wait();
    for (QueuedWakeup** wakeup : {&m_discovery_wakeup, &m_job_wakeup, &m_report_failed}) {
        if (*wakeup == nullptr) continue;
        (*wakeup)->detach();
        (*wakeup)->deleteLater();
        *wakeup = nullptr;
    }
}
