// Bringing a camera up: login, version check, read-out, live video.

#include <cstring>
#include <memory>

#include "factory_test/dialog/ipc_test.h"
#include "factory_test/dialog/ipc_test_controls.h"
#include "factory_test/dialog/ipc_test_trace.h"
#include "factory_test/dialog/live_video_bridge.h"
#include "factory_test/version_check.h"
#include "ui/wait_cursor.h"

#include <QThread>

namespace {

struct LightSupport {
    const char* line;
    bool white;
    bool infrared;
};

LightSupport light_support(int light_type) {
    switch (light_type) {
        case 1: return {"IDS_SUPPORT_DOUBLE_LIGHT", true, true};
        case 2: return {"IDS_SUPPORT_WHITE_LIGHT", true, false};
        case 3: return {"IDS_SUPPORT_INFRARED_LAMP", false, true};
        case 4: return {"IDS_SUPPORT_PWM_DOUBLE_LIGHT", true, true};
        case 5: return {"IDS_SUPPORT_PWM_WHITE_LIGHT", true, false};
        case 6: return {"IDS_SUPPORT_PWM_INFRARED_LAMP", false, true};
        default: return {"IDS_UNSUPPORT_LIGHT", false, false};
    }
}

std::string field(const char* text, std::size_t size) { return std::string(text, strnlen(text, size)); }

}  // namespace

void CIpcTest::line_at(int position, const char* key) {
    on_gui([this, position, key] { list_box_insert(IDC_LIST_RESULT, position, lang(key)); });
}

void CIpcTest::line_added(const char* key) {
    on_gui([this, key] { list_box_add(IDC_LIST_RESULT, lang(key)); });
}

int CIpcTest::ipc_login_live(int item) {
    std::lock_guard<std::mutex> guard(m_connect_lock);
    return login_live_locked(item);
}

int CIpcTest::login_live_locked(int item) {
    stop_action_worker();
    const BenchDeviceRow device = m_rows.row(item);
    const PanelState state = panel();
    const int b = state.version_check ? 1 : 0;
    // The last camera's video stops before its picture goes, so no frame of
    // it can arrive after the clearing.
    close_connection();
    on_gui([this] {
        set_test_buttons_enabled(false);
        list_box_clear(IDC_LIST_RESULT);
        clear_device_view();
    });
    if (device.protocol == DeviceProtocol::onvif) return login_live_onvif(device, state, b);

    std::int32_t handle = -1;
    std::int32_t result;
    {
        // Only the window thread shows the busy cursor; a worker's login leaves it alone.
        std::unique_ptr<ui::WaitCursor> busy;
        if (QThread::currentThread() == thread()) busy = std::make_unique<ui::WaitCursor>();
        result = Network_ClientLogin(&handle, device.ip.c_str(), kBenchPort, kBenchUser, kBenchPassword);
    }
    // Any refusal (user, password, too many users, timeout...) leaves the
    // bench outside: reads through the handle would only fail and read as
    // missing hardware.
    if (result != NETWORK_OK) {
        if (handle != -1) Network_ClientLogout(handle);
        on_gui([this] { message_box("IDS_NETWORK_ERROR", "IDS_ERROR"); });
        return -1;
    }
    m_login_handle.store(handle);
    // An early return keeps the login until the next bring-up or the close.
    if (state.version_check && !check_version_line(device, state)) return -1;

    on_gui([this] { set_shown(IDC_VIDEO, true); });
    m_video_wnd = m_video->target();
    IPC_DEVICE_INFO info{};
    Network_ClientGetDeviceConfig(handle, NETWORK_CMD_GET_DEVICE_INFO, 0, &info, sizeof(info));
    CAMERA_ADVANCE_CONFIG adv{};
    Network_ClientGetCameraAdvanceConfig(handle, 0, &adv, sizeof(adv));
    show_capabilities(b, adv);
    show_identity(info);
    show_storage();

    LIVE_PARAM param{0, m_video_wnd, 2};
    std::int32_t live = -1;
    result = Network_ClientStartLive(&live, handle, &param, nullptr, nullptr);
    if (result != NETWORK_OK || live == -1) {
        TRACE_POS("CIpcTest::ipc_login_live");
        line_at(b + 3, "IDS_LIVE_EROOR");
        m_live_handle.store(-1);
        return -1;
    }
    m_live_handle.store(live);
    Network_ClientLiveControl(live, LIVE_CTRL_OPTIONS, &m_live_opt);
    Network_ClientLiveControl(live, LIVE_CTRL_VIDEO_TARGET, &m_video_wnd);
    line_at(b + 3, "IDS_LIVE_NORMAL");
    line_at(b + 4, "IDS_MANUAL_OPERATION");
    on_gui([this] {
        for (int id : {IDC_BTN_IRCUT_OPEN, IDC_BTN_IRCUT_CLOSE, IDC_BTN_ZOOM_1X, IDC_BTN_ZOOM_5X, IDC_BTN_ZOOM_RESET})
            set_enabled(id, true);
    });
    if (state.auto_config)
        line_at(b + 5, apply_settings(state, false) == NETWORK_OK ? "IDS_SETTING_SUCCESS" : "IDS_SETTING_FAILED");
    start_action_worker();
    return 0;
}

bool CIpcTest::check_version_line(const BenchDeviceRow& device, const PanelState& state) {
    switch (check_version(state.typed_version, device.version)) {
        case VersionVerdict::TooHigh: line_added("IDS_VERSION_ERROR"); return false;
        case VersionVerdict::TooLow: line_added("UDS_INSERT_VERSION_LOW"); return false;
        case VersionVerdict::Normal: line_added("IDS_VERSION_NORMAL"); return true;
        case VersionVerdict::Unconfirmed: return true;
    }
    return true;
}

void CIpcTest::show_capabilities(int b, const CAMERA_ADVANCE_CONFIG& adv) {
    LightSupport light{"IDS_HARD_LIGHT", false, false};
    if (adv.light_mode == 2) {
        line_added(light.line);
    } else {
        light = light_support(adv.light_type);
        if (b == 0) line_added(light.line);
        else line_at(b, light.line);
    }
    const bool mic = adv.mic == 1, speaker = adv.speaker == 1, ptz = adv.ptz == 1;
    line_at(b + 1, mic ? "IDS_SUPPORT_MIC" : "IDS_UNSUPPORT_MIC");
    line_at(b + 2, speaker ? "IDS_SUPPORT_SPEAKER" : "IDS_UNSUPPORT_SPEAKER");
    on_gui([this, light, mic, speaker, ptz] {
        set_enabled(IDC_BTN_WHITE_LIGHT, light.white);
        set_enabled(IDC_BTN_INFRARED_LAMP, light.infrared);
        set_enabled(IDC_BTN_MIC, mic);
        set_enabled(IDC_BTN_SPEAKER, speaker);
        for (int id : kPtzButtons) set_enabled(id, ptz);
    });
}

void CIpcTest::show_identity(IPC_DEVICE_INFO& info) {
    const std::string uid = field(info.uid, sizeof(info.uid));
    const std::string pid = field(info.pid, sizeof(info.pid));
    TRACE_MSG("CIpcTest::ipc_login_live", "device uid: %s", uid.c_str());
    TRACE_MSG("CIpcTest::ipc_login_live", "device pid: %s", pid.c_str());
    TRACE_MSG("CIpcTest::ipc_login_live", "qrcode : %s", field(info.qrcode, sizeof(info.qrcode)).c_str());
    // The symbol shows the UID, not the device's own QR text.
    std::memset(info.qrcode, 0, sizeof(info.qrcode));
    std::memcpy(info.qrcode, uid.data(), std::min(uid.size(), sizeof(info.qrcode) - 1));
    const std::string qr = field(info.qrcode, sizeof(info.qrcode));
    on_gui([this, uid, pid, qr] {
        set_text(IDC_STATIC_UID, uid);
        set_text(IDC_STATIC_PID, pid);
        draw_qrcode(qr);
    });
}

void CIpcTest::show_storage() {
    USB_INFO usb{};
    const std::int32_t result =
        Network_ClientGetDeviceConfig(m_login_handle.load(), NETWORK_CMD_GET_USB_INFO, 0, &usb, sizeof(usb));
    TRACE_MSG("CIpcTest::ipc_login_live", "Network_ClientGetDeviceConfig ret = %d,usbinfo.disk_cnt = %d\n",
              result, usb.disk_cnt);
    std::string shown = "NONE";
    if (usb.disk_cnt > 0) {
        shown = field(usb.disk_text, sizeof(usb.disk_text));
        TRACE_MSG("CIpcTest::ipc_login_live", "usb: %s", shown.c_str());
    }
    on_gui([this, shown] { set_text(IDC_STATIC_TF, shown); });
}

std::int32_t CIpcTest::apply_settings(const PanelState& state, bool with_direction) {
    const std::int32_t login = m_login_handle.load();
    auto ldr = [login](std::int32_t command, std::int32_t value) {
        return Network_ClientLDRControl(login, command, value);
    };
    std::int32_t r = 0;
    if (state.light_mode == 1) {
        r = ldr(NETWORK_CMD_LIGHT_MODE, 2);
        r = ldr(NETWORK_CMD_LIGHT_TYPE, 2);
    } else if (state.light_mode == 0) {
        r = ldr(NETWORK_CMD_LIGHT_MODE, 1);
        static constexpr std::int32_t kSoftTypes[] = {5, 6, 4};
        if (state.light_type >= 0 && state.light_type < 3) r = ldr(NETWORK_CMD_LIGHT_TYPE, kSoftTypes[state.light_type]);
    }
    if (with_direction) r = ldr(NETWORK_CMD_MODULE_DIRECTION, state.direction);
    r = ldr(NETWORK_CMD_MIC, state.mic_config ? 1 : 0);
    r = ldr(NETWORK_CMD_SPEAKER, state.speaker_config ? 1 : 0);
    return r;
}

void CIpcTest::start_action_worker() {
    if (m_action_running.load() != 0) return;
    m_thread[1].Stop();
    m_action_running.store(1);
    m_thread[1].Start(this, 2, 0);
}

void CIpcTest::stop_action_worker() {
    if (m_action_running.load() != 1) return;
    {
        std::lock_guard<std::mutex> guard(m_action_lock);
        m_action_running.store(0);
    }
    m_action_wake.notify_all();
    m_thread[1].Stop();
}
