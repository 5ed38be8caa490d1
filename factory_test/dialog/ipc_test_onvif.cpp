// Bringing an ONVIF camera up: the bench's login, the version check on the
// firmware version the camera tells, the lines and buttons of what it
// offers, its serial number as UID and QR symbol, live video over RTSP.

#include <memory>

#include "factory_test/dialog/ipc_test.h"
#include "factory_test/dialog/ipc_test_controls.h"
#include "factory_test/dialog/ipc_test_trace.h"
#include "factory_test/dialog/live_video_bridge.h"
#include "factory_test/onvif_bench.h"
#include "onvif/onvif_session.h"
#include "ui/wait_cursor.h"

#include <QThread>

namespace {

// The line of a stream that ended on its own; null for a stop of ours.
const char* live_end_key(rtsp::LiveState state) {
    switch (state) {
        case rtsp::LiveState::stopped: return nullptr;
        case rtsp::LiveState::stalled: return "IDS_LIVE_STALLED";
        case rtsp::LiveState::ended: return "IDS_LIVE_ENDED";
        case rtsp::LiveState::garbage: return "IDS_LIVE_UNDECODABLE";
        default: return "IDS_LIVE_EROOR";
    }
}

// " (H.264 1920x1080)": what the live line adds for the technician.
std::string stream_text(const OnvifBringUp& camera) {
    if (!camera.profile) return "";
    const onvif::VideoProfile& p = *camera.profile;
    std::string text = " (" + std::string(onvif::codec_text(p.codec));
    if (p.width > 0 && p.height > 0) text += " " + std::to_string(p.width) + "x" + std::to_string(p.height);
    return text + ")";
}

}  // namespace

int CIpcTest::login_live_onvif(const BenchDeviceRow& device, const PanelState& state, int b) {
    const onvif::Credentials login{kBenchUser, kBenchPassword};
    auto camera = std::make_shared<OnvifBenchCamera>(onvif::open_camera(device.xaddr, login), device.ip, login);
    OnvifBringUp up;
    {
        std::unique_ptr<ui::WaitCursor> busy;
        if (QThread::currentThread() == thread()) busy = std::make_unique<ui::WaitCursor>();
        up = camera->bring_up();
    }
    if (!up.logged_in) {
        on_gui([this] { message_box("IDS_NETWORK_ERROR", "IDS_ERROR"); });
        return -1;
    }
    {
        std::lock_guard<std::mutex> guard(m_onvif_lock);
        m_onvif = camera;
    }
    // The version the camera tells now, not the one the search listed.
    BenchDeviceRow checked = device;
    checked.version = up.info.firmware_version;
    if (state.version_check && !check_version_line(checked, state)) return -1;

    on_gui([this] { set_shown(IDC_VIDEO, true); });
    show_onvif_capabilities(b, up);
    show_onvif_identity(up);
    on_gui([this] { set_text(IDC_STATIC_TF, "NONE"); });
    return start_onvif_live(*camera, b);
}

void CIpcTest::show_onvif_capabilities(int b, const OnvifBringUp& camera) {
    // No lights, microphone or speaker test reaches an ONVIF camera.
    if (b == 0) line_added("IDS_UNSUPPORT_LIGHT");
    else line_at(b, "IDS_UNSUPPORT_LIGHT");
    line_at(b + 1, "IDS_UNSUPPORT_MIC");
    line_at(b + 2, "IDS_UNSUPPORT_SPEAKER");
    on_gui([this, camera] { enable_onvif_buttons(camera); });
}

// What the camera offers, whether or not its video comes: pan/tilt and
// zoom through its PTZ node, the IR-cut filter through its imaging service.
void CIpcTest::enable_onvif_buttons(const OnvifBringUp& camera) {
    for (int id : {IDC_BTN_WHITE_LIGHT, IDC_BTN_INFRARED_LAMP, IDC_BTN_MIC, IDC_BTN_SPEAKER}) set_enabled(id, false);
    for (int id : kPtzButtons) set_enabled(id, camera.offer.pan_tilt);
    for (int id : {IDC_BTN_ZOOM_1X, IDC_BTN_ZOOM_5X, IDC_BTN_ZOOM_RESET}) set_enabled(id, camera.offer.zoom);
    for (int id : {IDC_BTN_IRCUT_OPEN, IDC_BTN_IRCUT_CLOSE}) set_enabled(id, camera.offer.ir_cut);
}

// ONVIF has no cloud UID: the serial number stands for it, in the UID
// field and in the QR symbol.
void CIpcTest::show_onvif_identity(const OnvifBringUp& camera) {
    const std::string serial = camera.info.serial_number.substr(0, 127);
    TRACE_MSG("CIpcTest::ipc_login_live", "device uid: %s", serial.c_str());
    TRACE_MSG("CIpcTest::ipc_login_live", "ONVIF camera %s, model %s", camera.mac.c_str(), camera.info.model.c_str());
    on_gui([this, serial] {
        set_text(IDC_STATIC_UID, serial);
        draw_qrcode(serial);
    });
}

int CIpcTest::start_onvif_live(OnvifBenchCamera& camera, int b) {
    const OnvifBringUp& up = camera.state();
    const int live_line = b + 3;
    const OnvifBenchCamera* which = &camera;
    const rtsp::LiveState state = camera.start_live(m_video->target(), [this, which, live_line](rtsp::LiveState s) {
        if (rtsp::live_state_final(s)) on_gui([this, which, s, live_line] { on_live_state(which, s, live_line); });
    });
    const bool playing = state == rtsp::LiveState::playing;
    if (!playing) {
        TRACE_MSG("CIpcTest::ipc_login_live", "live video of %s: %s %s", up.mac.c_str(), rtsp::live_state_name(state),
                  up.stream_error.c_str());
        line_at(live_line, live_end_key(state) ? live_end_key(state) : "IDS_LIVE_EROOR");
    } else {
        const std::string text = lang("IDS_LIVE_NORMAL") + stream_text(up);
        on_gui([this, live_line, text] { list_box_insert(IDC_LIST_RESULT, live_line, text); });
        line_at(live_line + 1, "IDS_MANUAL_OPERATION");
    }
    // Then what the buttons can do, where the list goes on.
    const int next = live_line + (playing ? 2 : 1);
    line_at(next, up.offer.pan_tilt ? "IDS_SUPPORT_PTZ" : "IDS_UNSUPPORT_PTZ");
    line_at(next + 1, up.offer.zoom ? "IDS_SUPPORT_ZOOM" : "IDS_UNSUPPORT_ZOOM");
    line_at(next + 2, up.offer.ir_cut ? "IDS_SUPPORT_IRCUT" : "IDS_UNSUPPORT_IRCUT");
    return playing ? 0 : -1;
}

// A stream of the camera still shown that ended on its own: its live line
// says how (the picture is gone already, by the stream's end mark).
void CIpcTest::on_live_state(const OnvifBenchCamera* camera, rtsp::LiveState state, int line) {
    const char* key = live_end_key(state);
    if (key == nullptr || onvif_camera().get() != camera) return;
    TRACE_MSG("CIpcTest::on_live_state", "live video ended: %s", rtsp::live_state_name(state));
    list_box_set_line(IDC_LIST_RESULT, line, lang(key));
}

bool CIpcTest::write_onvif_record(OnvifBenchCamera& camera, const char* result) {
    RecordIdentity identity;
    if (!camera.record_identity(&identity)) {
        message_box("IDS_MODULE_GET_PARAM_FAILED", "IDS_WARNING");
        return false;
    }
    if (write_test_record(identity, result) != RecordWrite::Ok) {
        message_box("IDS_MODULE_CREATE_FILE_FAILED", "IDS_WARNING");
        return false;
    }
    return true;
}
