// The hardware tests, the settings block and the auto test controls.

#include "factory_test/dialog/ipc_test.h"
#include "factory_test/dialog/ipc_test_controls.h"
#include "factory_test/onvif_bench.h"
#include "factory_test/version_check.h"
#include "runtime/rt_time.h"

namespace {
constexpr std::int64_t kMicTestMs = 10000;
constexpr std::int64_t kLightTestMs = 3000;
constexpr std::int64_t kEmptyListPauseMs = 100;
constexpr std::int64_t kAfterBringUpMs = 30;
}  // namespace

// ---- Direct tests ---------------------------------------------------------------

void CIpcTest::OnBnClickedButtonOpenIrcut() {
    if (std::shared_ptr<OnvifBenchCamera> onvif = onvif_camera()) onvif->ir_cut(true);
    else if (m_login_handle.load() != -1) Network_ClientIrcutControl(m_login_handle.load(), 1);
}

void CIpcTest::OnBnClickedButtonCloseIrcut() {
    if (std::shared_ptr<OnvifBenchCamera> onvif = onvif_camera()) onvif->ir_cut(false);
    else if (m_login_handle.load() != -1) Network_ClientIrcutControl(m_login_handle.load(), 0);
}

void CIpcTest::OnBnClickedButtonSpeaker() {
    if (m_live_handle.load() != -1) Network_ClientPlayVoiceData_test(m_login_handle.load(), 1);
}

void CIpcTest::zoom(std::int32_t value) {
    // An ONVIF camera zooms its lens: 5x for the 5X button, back to the
    // wide end for 1X and reset alike.
    if (std::shared_ptr<OnvifBenchCamera> onvif = onvif_camera()) {
        onvif->zoom(value == kZoom5x ? 5 : 1);
        return;
    }
    if (m_live_handle.load() == -1) return;
    const QRect area = control(IDC_VIDEO)->rect();
    ZOOM_PARAM param{value, area.width() / 2, area.height() / 2};
    Network_ClientLiveControl(m_live_handle.load(), LIVE_CTRL_ZOOM, &param);
}

int CIpcTest::OnPtzPress(int id) {
    std::uint32_t move = 0;
    onvif::PanTiltDirection direction = onvif::PanTiltDirection::up;
    switch (id) {
        case IDC_BTN_PTZ_UP: move = PTZ_MOVE_UP; break;
        case IDC_BTN_PTZ_LEFT: move = PTZ_MOVE_LEFT, direction = onvif::PanTiltDirection::left; break;
        case IDC_BTN_PTZ_DOWN: move = PTZ_MOVE_DOWN, direction = onvif::PanTiltDirection::down; break;
        case IDC_BTN_PTZ_RIGHT: move = PTZ_MOVE_RIGHT, direction = onvif::PanTiltDirection::right; break;
        default: return 0;
    }
    if (std::shared_ptr<OnvifBenchCamera> onvif = onvif_camera()) {
        onvif->move(direction);  // ContinuousMove until the release's Stop
        return 0;
    }
    PTZ_PARAM param{1, move, 0, 0};
    Network_ClientPTZControl(m_login_handle.load(), 0, &param);
    return 0;
}

int CIpcTest::OnPtzRelease(int) {
    if (std::shared_ptr<OnvifBenchCamera> onvif = onvif_camera()) {
        onvif->stop_move();
        return 0;
    }
    PTZ_PARAM param{1, PTZ_MOVE_STOP, 0, 0};
    Network_ClientPTZControl(m_login_handle.load(), 0, &param);
    return 0;
}

// ---- Timed tests on the action worker ---------------------------------------------

namespace {
// Sets a request unless the same test is still pending or running.
bool request(std::atomic<int>& flag) {
    int idle = 0;
    return flag.compare_exchange_strong(idle, 1);
}
}  // namespace

void CIpcTest::OnBnClickedButtonMic() {
    if (m_live_handle.load() == -1 || !request(m_req_mic)) return;
    std::lock_guard<std::mutex> guard(m_action_lock);
    m_action_wake.notify_all();
}

void CIpcTest::OnBnClickedButtonWhiteLight() {
    if (m_login_handle.load() == -1 || !request(m_req_white_light)) return;
    std::lock_guard<std::mutex> guard(m_action_lock);
    m_action_wake.notify_all();
}

void CIpcTest::OnBnClickedButtonInfraredLamp() {
    if (m_login_handle.load() == -1 || !request(m_req_ir_lamp)) return;
    std::lock_guard<std::mutex> guard(m_action_lock);
    m_action_wake.notify_all();
}

void CIpcTest::run_action_requests() {
    if (m_req_mic.load()) {
        Network_ClientLiveControl(m_live_handle.load(), LIVE_CTRL_MIC_TEST_START, nullptr);
        rt_sleep_ms(kMicTestMs);
        Network_ClientLiveControl(m_live_handle.load(), LIVE_CTRL_MIC_TEST_STOP, nullptr);
        m_req_mic.store(0);
    }
    if (m_req_white_light.load()) {
        light_test(1);
        m_req_white_light.store(0);
    }
    if (m_req_ir_lamp.load()) {
        light_test(0);
        m_req_ir_lamp.store(0);
    }
}

// Switches a lamp on, leaves it on for the test and switches it off again,
// both through the same login. Closing the connection cuts the test short
// (take_login) rather than log out under a burning lamp.
void CIpcTest::light_test(std::int32_t white) {
    std::int32_t login;
    {
        std::lock_guard<std::mutex> guard(m_action_lock);
        login = m_lamp_login = m_login_handle.load();
    }
    if (login == -1) return;
    Network_ClientDeviceControl(login, DEVICE_CTRL_LIGHT, 0, 1, white);
    {
        std::unique_lock<std::mutex> guard(m_action_lock);
        rt_wait_ms(m_action_wake, guard, kLightTestMs, [this] { return m_lamp_cut_short; });
    }
    Network_ClientDeviceControl(login, DEVICE_CTRL_LIGHT, 0, 0, white);
    {
        std::lock_guard<std::mutex> guard(m_action_lock);
        m_lamp_login = -1;
        m_lamp_cut_short = false;
    }
    m_action_wake.notify_all();
}

int CIpcTest::ThreadFunc(std::uint32_t param) {
    if (param == 1) return auto_show_pass();
    if (param != 2) return 1;
    while (m_action_running.load() == 1) {
        {
            // Idles without polling; a request or the stop wakes it at once.
            std::unique_lock<std::mutex> guard(m_action_lock);
            m_action_wake.wait(guard, [this] {
                return m_action_running.load() != 1 || m_req_mic.load() || m_req_white_light.load() ||
                       m_req_ir_lamp.load();
            });
        }
        run_action_requests();
    }
    return 1;
}

// ---- Settings -------------------------------------------------------------------

void CIpcTest::OnCbnSelchangeComboLightMode() {
    const int selection = combo_selection(IDC_COMBO_LIGHT_MODE);
    if (selection == 1) set_shown(IDC_COMBO_LIGHT_TYPE, false);
    else if (selection == 0) set_shown(IDC_COMBO_LIGHT_TYPE, true);
}

void CIpcTest::OnBnClickedButtonConfig() {
    sync_panel();
    if (apply_settings(panel(), true) != NETWORK_OK)
        message_box("IDS_SETTING_FAILED", "IDS_HINT", ui::MsgButtons::Ok, ui::MsgIcon::Exclamation);
    else
        message_box("IDS_SETTING_SUCCESS_REBOOT", "IDS_HINT", ui::MsgButtons::Ok, ui::MsgIcon::Information);
}

// ---- Auto test --------------------------------------------------------------------

bool CIpcTest::auto_test_running(const PanelState& state) const {
    return state.start_text != lang("IDS_START_EXECUTION");
}

void CIpcTest::OnBnClickedCheckVersion() { set_enabled(IDC_EDIT_VERSION, is_checked(IDC_CHECK_VERSION)); }

void CIpcTest::OnBnClickedCheckAutoShow() {
    if (is_checked(IDC_CHECK_AUTO_SHOW)) {
        m_thread[0].Start(this, 1, 0);
        list_box_clear(IDC_LIST_RESULT);
        set_enabled(IDC_BTN_SEARCH, false);
        set_enabled(IDC_LIST_DEVICE, false);
    } else {
        m_thread[0].Stop();
        set_enabled(IDC_BTN_SEARCH, true);
        set_enabled(IDC_LIST_DEVICE, true);
    }
}

void CIpcTest::OnBnClickedButtonStart() {
    sync_panel();
    if (!auto_test_running(panel())) {
        if (typed_version_too_short()) {
            message_box("IDS_INSERT_VERSION", "IDS_ERROR");
            return;
        }
        set_text(IDC_BTN_START, lang("IDS_STOP"));
        sync_panel();
        if (is_checked(IDC_CHECK_AUTO_SHOW)) {
            {
                std::lock_guard<std::mutex> guard(m_state_lock);
                m_cur_mac = m_rows.row(0).mac;
            }
            ipc_login_live(0);
            for (int id : {IDC_CHECK_AUTO_SHOW, IDC_CHECK_VERSION, IDC_EDIT_VERSION}) set_enabled(id, false);
        }
        return;
    }
    set_text(IDC_BTN_START, lang("IDS_START_EXECUTION"));
    sync_panel();
    close_connection();
    for (int id : {IDC_CHECK_AUTO_SHOW, IDC_CHECK_VERSION, IDC_EDIT_VERSION}) set_enabled(id, true);
    reset_test_buttons();
    list_box_clear(IDC_LIST_RESULT);
}

int CIpcTest::auto_show_pass() {
    const std::string first = m_rows.row(0).mac;
    if (first.empty()) {
        on_gui([this] { reset_test_buttons(); });
        close_connection();
        {
            std::lock_guard<std::mutex> guard(m_state_lock);
            m_cur_mac.clear();
        }
        // The search empties discovery's list, and every camera that answers
        // it is new again: one listed since the look above answers as well,
        // and its row is kept (DeviceRows holds one row per MAC).
        m_rows.clear();
        on_gui([this] { refresh_device_list(); });
        m_discovery.Refresh(panel().nic.c_str());
        rt_sleep_ms(kEmptyListPauseMs);
        return 0;
    }
    if (first == cur_mac()) return 1;
    on_gui([this] { set_shown(IDC_VIDEO, false); });
    if (panel().start_text != lang("IDS_STOP")) return 1;
    if (ipc_login_live(0) == -1) return 1;
    {
        std::lock_guard<std::mutex> guard(m_state_lock);
        m_cur_mac = first;
    }
    rt_sleep_ms(kAfterBringUpMs);
    return 0;
}
