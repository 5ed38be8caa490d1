// The test dialog's set-up, device list, full-screen view and closing.

#include "factory_test/dialog/ipc_test.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QScreen>
#include <QThread>

#include "client/kaltro_live.h"
#include "factory_test/dialog/ipc_test_controls.h"
#include "factory_test/dialog/ipc_test_trace.h"
#include "factory_test/dialog/live_video_bridge.h"
#include "factory_test/dialog/qr_view.h"
#include "factory_test/onvif_bench.h"
#include "factory_test/version_check.h"
#include "runtime/lang.h"
#include "search/device_sessions.h"
#include "ui/clickable_frame.h"
#include "ui/network_cards.h"
#include "ui/report_list.h"

namespace {

// Both kinds of camera; the ONVIF ones' identity read with the bench's login.
CameraSearchOptions search_options(DiscoveryOptions native) {
    CameraSearchOptions options;
    options.native = std::move(native);
    options.identity = onvif_sessions({kBenchUser, kBenchPassword}, "");
    return options;
}

}  // namespace

CIpcTest::CIpcTest(QWidget* parent, IUdpTransport* transport, DiscoveryOptions options)
    : ui::DialogBase(parent), m_discovery(transport, search_options(std::move(options))), m_transport(transport) {
    build(ipc_test_dialog_spec(), ipc_test_controls());
    name_controls(ipc_test_control_names());
    m_video = new LiveVideoBridge(control_as<ui::ClickableFrame>(IDC_VIDEO));
    m_qr = new QrView(this);
    connect_handlers();
    Network_ClientInit();
}

CIpcTest::~CIpcTest() {
    if (m_thread[0].IsRunning()) m_thread[0].Stop();
    stop_action_worker();
    close_connection();
    m_discovery.Stop();
    Network_ClientUnInit();
}

void CIpcTest::connect_handlers() {
    on_clicked(IDC_BTN_SEARCH, [this] { OnBnClickedButtonSearch(); });
    connect(report_list(IDC_LIST_DEVICE), &ui::ReportList::row_double_clicked, this,
            [this](int row) { OnNMDblclkListDevice(row); });
    on_clicked(IDC_VIDEO, [this] { OnStnClickedVideo(); });
    on_clicked(IDC_BTN_START, [this] { OnBnClickedButtonStart(); });
    on_clicked(IDC_CHECK_AUTO_SHOW, [this] { OnBnClickedCheckAutoShow(); });
    on_clicked(IDC_CHECK_VERSION, [this] { OnBnClickedCheckVersion(); });
    on_clicked(IDC_BTN_IRCUT_OPEN, [this] { OnBnClickedButtonOpenIrcut(); });
    on_clicked(IDC_BTN_IRCUT_CLOSE, [this] { OnBnClickedButtonCloseIrcut(); });
    on_clicked(IDC_BTN_SPEAKER, [this] { OnBnClickedButtonSpeaker(); });
    on_clicked(IDC_BTN_MIC, [this] { OnBnClickedButtonMic(); });
    on_clicked(IDC_BTN_WHITE_LIGHT, [this] { OnBnClickedButtonWhiteLight(); });
    on_clicked(IDC_BTN_INFRARED_LAMP, [this] { OnBnClickedButtonInfraredLamp(); });
    on_clicked(IDC_BTN_ZOOM_1X, [this] { OnBnClickedButtonZoom1x(); });
    on_clicked(IDC_BTN_ZOOM_5X, [this] { OnBnClickedButtonZoom5x(); });
    on_clicked(IDC_BTN_ZOOM_RESET, [this] { OnBnClickedButtonZoomReset(); });
    for (int id : kPtzButtons) {
        on_pressed(id, [this, id] { OnPtzPress(id); });
        on_released(id, [this, id] { OnPtzRelease(id); });
    }
    on_selection_changed(IDC_COMBO_LIGHT_MODE, [this] { OnCbnSelchangeComboLightMode(); });
    on_clicked(IDC_BTN_CONFIG, [this] { OnBnClickedButtonConfig(); });
    on_clicked(IDC_BTN_PASS, [this] { OnBnClickedButtonWriteTestRecord(); });
    on_clicked(IDC_BTN_NG, [this] { OnBnClickedButtonWriteTestNg(); });
    // The workers read these controls through the panel snapshot.
    for (int id : {IDC_CHECK_VERSION, IDC_CHECK_AUTO_CONFIG, IDC_CHECK_MIC_CFG, IDC_CHECK_SPEAKER_CFG})
        connect(control_as<QCheckBox>(id), &QCheckBox::toggled, this, [this] { sync_panel(); });
    connect(control_as<QLineEdit>(IDC_EDIT_VERSION), &QLineEdit::textChanged, this, [this] { sync_panel(); });
    for (int id : {IDC_COMBO_NIC, IDC_COMBO_LIGHT_MODE, IDC_COMBO_LIGHT_TYPE, IDC_COMBO_DIRECTION})
        connect(control_as<QComboBox>(id), &QComboBox::currentIndexChanged, this, [this] { sync_panel(); });
}

void CIpcTest::on_gui(std::function<void()> change) {
    if (QThread::currentThread() == thread()) change();
    else QMetaObject::invokeMethod(this, std::move(change), Qt::QueuedConnection);
}

// ---- Start-up ---------------------------------------------------------------

void CIpcTest::on_init() {
    // The controls are as new (the dialog layer restores them); the rows and
    // the views of the dialog's own are too.
    m_rows.clear();
    refresh_device_list();
    clear_device_view();
    // The dialog layer has fitted the table to this screen's room already.
    const QPoint corner = screen() ? screen()->availableGeometry().topLeft() : QPoint(0, 0);
    grow_to(QRect(corner, room_on(screen())));
    if (lang_file().empty()) load_lang_file();
    set_language_texts();
    init_list_columns();
    init_controls();
}

void CIpcTest::lay_out_for(const QRect& client) {
    fit_to(client.size());
    grow_to(client);
}

// The table's layout, as fitted, grows in proportion to fill `client`.
void CIpcTest::grow_to(const QRect& client) {
    m_orig_cx = width();
    m_orig_cy = height();
    m_orig_rects.clear();
    for (int id : control_ids()) m_orig_rects.emplace_back(control_rect(id));
    place_window(client);
    scale_controls(size());
}

void CIpcTest::scale_controls(const QSize& size) {
    if (size.width() < 1 || size.height() <= 0) return;
    const float fx = static_cast<float>(size.width()) / static_cast<float>(m_orig_cx);
    const float fy = static_cast<float>(size.height()) / static_cast<float>(m_orig_cy);
    const std::vector<int> ids = control_ids();
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const QRect& r = m_orig_rects[i];
        const int left = static_cast<int>(r.left() * fx), right = static_cast<int>((r.right() + 1) * fx);
        const int top = static_cast<int>(r.top() * fy), bottom = static_cast<int>((r.bottom() + 1) * fy);
        move_control(ids[i], QRect(left, top, right - left, bottom - top));
    }
    if (m_qr->isVisible()) m_qr->follow_area(control_rect(IDC_QR_AREA));
}

void CIpcTest::load_lang_file() { set_lang_file(lang_locale_file()); }

void CIpcTest::set_language_texts() {
    apply_language();
    combo_clear(IDC_COMBO_NIC);
    get_more_ip();
    combo_select(IDC_COMBO_NIC, 0);
    const std::pair<int, std::vector<const char*>> combos[] = {
        {IDC_COMBO_LIGHT_MODE, {"IDS_SOFT_LIGHT", "IDS_HARD_LIGHT"}},
        {IDC_COMBO_LIGHT_TYPE, {"IDS_WHITE_LIGHT", "IDS_INFRARED_LAMP", "IDS_DOUBLE_LIGHT"}},
        {IDC_COMBO_DIRECTION, {"IDS_MODULE_DIRECTION_NOMARL", "IDS_MODULE_DIRECTION_REVERSE"}},
    };
    for (const auto& [id, keys] : combos) {
        combo_clear(id);
        for (std::size_t i = 0; i < keys.size(); ++i) combo_insert(id, static_cast<int>(i), lang(keys[i]));
        combo_select(id, 0);
    }
}

void CIpcTest::get_more_ip() {
    PosixUdpTransport host;
    IUdpTransport& transport = m_transport ? *m_transport : host;
    std::vector<std::string> addresses;
    if (transport.list_ipv4_addresses(&addresses) != 0) return;
    int index = 0;
    for (const std::string& address : ui::network_card_addresses(addresses)) {
        TRACE_MSG("CIpcTest::get_more_ip", "ip = %s\n", address.c_str());
        combo_insert(IDC_COMBO_NIC, index++, address);
    }
}

void CIpcTest::init_list_columns() {
    ui::ReportList* list = report_list(IDC_LIST_DEVICE);
    if (list->columnCount() > 0) return;  // made at the first opening
    list->add_column(lang("IDS_ID_NUMBER"), 50);
    list->add_column("UUID", 180);
    list->add_column(lang("IDS_IP_ADDR"), 180);
    list->add_column(lang("IDS_SOFTWARE_VERSION"), 150);
    list->add_column("BID", 80);
}

void CIpcTest::init_controls() {
    m_discovery.SetCallback([this](const FoundCamera& camera, bool is_new) { update_found_camera(camera, is_new); });
    m_discovery.Start();
    set_checked(IDC_CHECK_AUTO_SHOW, true);
    set_checked(IDC_CHECK_VERSION, true);
    sync_panel();
    m_thread[0].Start(this, 1, 0);
    set_shown(IDC_VIDEO, false);
    set_enabled(IDC_EDIT_VERSION, true);
    set_enabled(IDC_BTN_SEARCH, false);
    set_enabled(IDC_LIST_DEVICE, false);
    set_test_buttons_enabled(false);
}

// ---- The panel snapshot -------------------------------------------------------

void CIpcTest::sync_panel() {
    PanelState state;
    state.nic = text(IDC_COMBO_NIC);
    state.typed_version = text(IDC_EDIT_VERSION);
    state.start_text = text(IDC_BTN_START);
    state.version_check = is_checked(IDC_CHECK_VERSION);
    state.auto_config = is_checked(IDC_CHECK_AUTO_CONFIG);
    state.mic_config = is_checked(IDC_CHECK_MIC_CFG);
    state.speaker_config = is_checked(IDC_CHECK_SPEAKER_CFG);
    state.light_mode = combo_selection(IDC_COMBO_LIGHT_MODE);
    state.light_type = combo_selection(IDC_COMBO_LIGHT_TYPE);
    state.direction = combo_selection(IDC_COMBO_DIRECTION);
    std::lock_guard<std::mutex> guard(m_state_lock);
    m_panel = std::move(state);
}

CIpcTest::PanelState CIpcTest::panel() const {
    std::lock_guard<std::mutex> guard(m_state_lock);
    return m_panel;
}

std::string CIpcTest::cur_mac() const {
    std::lock_guard<std::mutex> guard(m_state_lock);
    return m_cur_mac;
}

bool CIpcTest::typed_version_too_short() const {
    return is_checked(IDC_CHECK_VERSION) && text(IDC_EDIT_VERSION).size() < kMinTypedVersion;
}

// ---- Device list ----------------------------------------------------------------

int CIpcTest::dev_find_cb(DEV_INFO* record, int is_new, void* user) {
    if (user == nullptr) return 0;
    return static_cast<CIpcTest*>(user)->update_dev_find_list(record, is_new);
}

int CIpcTest::update_dev_find_list(const DEV_INFO* record, int is_new) {
    if (record->device_type <= 0)
        TRACE_MSG("CIpcTest::update_dev_find_list", "unknown device type: %d\n", record->device_type);
    if (m_type_filter == 1 && !bench_lists_device_type(record->device_type)) return 0;
    if (m_rows.apply(*record, is_new != 0)) on_gui([this] { refresh_device_list(); });
    return 0;
}

void CIpcTest::update_found_camera(const FoundCamera& camera, bool is_new) {
    if (camera.protocol == DeviceProtocol::onvif) {
        if (m_rows.apply_onvif(camera, is_new)) on_gui([this] { refresh_device_list(); });
        return;
    }
    // An ONVIF row that turned out to be a native camera makes way for it.
    const bool was_onvif = m_rows.forget_onvif(camera.id);
    if (was_onvif) on_gui([this] { refresh_device_list(); });
    DEV_INFO record = camera.native;
    update_dev_find_list(&record, is_new || was_onvif ? 1 : 0);
}

// Updates the list in place while it still shows the same devices, so the
// operator's selection and scroll position survive discovery's updates.
void CIpcTest::refresh_device_list() {
    ui::ReportList* list = report_list(IDC_LIST_DEVICE);
    const std::vector<BenchDeviceRow> rows = m_rows.rows();
    ui::ReportList::UpdateBatch batch(*list);
    bool same_devices = list->row_count() <= static_cast<int>(rows.size());
    for (int i = 0; same_devices && i < list->row_count(); ++i)
        same_devices = list->cell(i, 1) == rows[static_cast<std::size_t>(i)].mac;
    if (!same_devices) list->clear_rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const BenchDeviceRow& row = rows[i];
        const int at = static_cast<int>(i) < list->row_count() ? static_cast<int>(i) : list->insert_row(row.number);
        list->set_cell(at, 1, row.mac);
        list->set_cell(at, 2, row.ip);
        list->set_cell(at, 3, row.version);
        list->set_cell(at, 4, row.board);
    }
}

void CIpcTest::OnBnClickedButtonSearch() {
    const std::string address = text(IDC_COMBO_NIC);
    m_rows.clear();
    refresh_device_list();
    m_discovery.Refresh(address.c_str());
}

void CIpcTest::OnNMDblclkListDevice(int row) {
    if (row < 0 || row >= m_rows.count()) return;
    if (typed_version_too_short()) {
        message_box("IDS_INSERT_VERSION", "IDS_ERROR");
        return;
    }
    ipc_login_live(row);
}

void CIpcTest::set_test_buttons_enabled(bool enabled) {
    for (int id : kTestButtons) set_enabled(id, enabled);
}

void CIpcTest::reset_test_buttons() {
    set_shown(IDC_VIDEO, false);
    set_test_buttons_enabled(false);
}

// Nothing on screen may belong to another camera than the one coming up:
// its last picture, UID, PID, TF card and QR symbol go first.
void CIpcTest::clear_device_view() {
    m_video->clear();
    m_qr->hide();
    for (int id : {IDC_STATIC_TF, IDC_STATIC_PID, IDC_STATIC_UID}) restore_control(id);
}

// ---- Full-screen view -----------------------------------------------------------

void CIpcTest::OnStnClickedVideo() {
    if (m_full_screen) leave_full_screen();
    else enter_full_screen();
}

void CIpcTest::enter_full_screen() {
    m_full_screen = true;
    for (int id : {IDC_BTN_START, IDC_CHECK_AUTO_SHOW, IDC_CHECK_VERSION, IDC_EDIT_VERSION, IDC_LIST_DEVICE,
                   IDC_BTN_SEARCH, IDC_CHECK_MIC_CFG, IDC_CHECK_SPEAKER_CFG, IDC_BTN_CONFIG})
        set_enabled(id, false);
    set_test_buttons_enabled(false);
    const QRect whole = screen() ? screen()->geometry() : geometry();
    m_place_dlg = geometry();
    m_place_video = control_rect(IDC_VIDEO);
    place_window(whole);
    move_control(IDC_VIDEO, QRect(0, 0, whole.width(), whole.height()));
    control(IDC_VIDEO)->raise();
}

void CIpcTest::leave_full_screen() {
    move_control(IDC_VIDEO, m_place_video);
    place_window(m_place_dlg);
    m_full_screen = false;
    m_qr->raise();
    set_enabled(IDC_BTN_START, true);
    if (!auto_test_running(panel()))
        for (int id : {IDC_CHECK_AUTO_SHOW, IDC_LIST_DEVICE, IDC_CHECK_VERSION, IDC_EDIT_VERSION}) set_enabled(id, true);
    for (int id : {IDC_BTN_SEARCH, IDC_CHECK_MIC_CFG, IDC_CHECK_SPEAKER_CFG, IDC_BTN_CONFIG}) set_enabled(id, true);
    // An ONVIF camera's buttons are what it offers, as its bring-up found.
    if (std::shared_ptr<OnvifBenchCamera> onvif = onvif_camera()) {
        enable_onvif_buttons(onvif->state());
        return;
    }
    CAMERA_ADVANCE_CONFIG adv{};
    Network_ClientGetCameraAdvanceConfig(m_login_handle.load(), 0, &adv, sizeof(adv));
    for (int id : {IDC_BTN_IRCUT_OPEN, IDC_BTN_IRCUT_CLOSE, IDC_BTN_SPEAKER}) set_enabled(id, true);
    if (adv.mic == 1) set_enabled(IDC_BTN_MIC, true);
    const int light = adv.light_type;
    if (light == 1 || light == 4 || light == 2 || light == 5) set_enabled(IDC_BTN_WHITE_LIGHT, true);
    if (light == 1 || light == 4 || light == 3 || light == 6) set_enabled(IDC_BTN_INFRARED_LAMP, true);
    for (int id : {IDC_BTN_ZOOM_1X, IDC_BTN_ZOOM_5X, IDC_BTN_ZOOM_RESET, IDC_BTN_PTZ_UP, IDC_BTN_PTZ_LEFT,
                   IDC_BTN_PTZ_RIGHT, IDC_BTN_PTZ_DOWN})
        set_enabled(id, true);
}

void CIpcTest::place_window(const QRect& client) {
    set_fixed_client_size(client.size());
    setGeometry(client);
}

// ---- Closing --------------------------------------------------------------------

bool CIpcTest::on_close_request() {
    if (m_full_screen) leave_full_screen();
    // Workers first: a bring-up still running on the auto-show worker would
    // otherwise open a connection after this one was closed.
    m_thread[0].Stop();
    stop_action_worker();
    close_connection();
    m_discovery.Stop();
    return true;
}

void CIpcTest::close_connection() {
    const std::int32_t live = m_live_handle.exchange(-1);
    if (live != -1) Network_ClientStopLive(live);
    const std::int32_t login = take_login();
    if (login != -1) Network_ClientLogout(login);
    std::shared_ptr<OnvifBenchCamera> onvif;
    {
        std::lock_guard<std::mutex> guard(m_onvif_lock);
        onvif.swap(m_onvif);
    }
    // Its stream's TEARDOWN and the end of its commands, outside the lock.
    if (onvif) onvif->close();
}

std::shared_ptr<OnvifBenchCamera> CIpcTest::onvif_camera() const {
    std::lock_guard<std::mutex> guard(m_onvif_lock);
    return m_onvif;
}

// A lamp test running on the login ends first, switching its lamp off while
// the login still works; then the login is this caller's to close.
std::int32_t CIpcTest::take_login() {
    std::unique_lock<std::mutex> guard(m_action_lock);
    if (m_lamp_login != -1) {
        m_lamp_cut_short = true;
        m_action_wake.notify_all();
        m_action_wake.wait(guard, [this] { return m_lamp_login == -1; });
    }
    return m_login_handle.exchange(-1);
}
