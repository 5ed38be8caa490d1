#pragma once

// The factory test bench for one camera at a time: lists the cameras that
// the camera search finds (native devices and ONVIF cameras in one list),
// logs into the chosen one, checks its firmware version, shows its
// identity, capabilities and live video, runs the hardware tests and
// writes PASS / NG records.
//
// Threads: the window thread owns every widget. The discovery thread, the
// auto-show worker and the action worker never touch one: they work on the
// device rows and the panel snapshot (both lock-guarded) and hand widget
// changes to the window thread as queued calls, which they never wait for.

#include <QRect>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "client/kaltro_client.h"
#include "discovery/discovery.h"
#include "factory_test/device_rows.h"
#include "rtsp/rtsp_live.h"
#include "runtime/cthread.h"
#include "search/camera_search.h"
#include "ui/dialog_base.h"

class LiveVideoBridge;
class OnvifBenchCamera;
struct OnvifBringUp;
class QrView;

// Login of the bench (fixed account).
constexpr std::int32_t kBenchPort = 6001;
constexpr const char* kBenchUser = "Admin";
constexpr const char* kBenchPassword = "tovik";
// The zoom values of live command 11 for the 1X and 5X buttons.
constexpr std::int32_t kZoom1x = 200;
constexpr std::int32_t kZoom5x = 1000;

class CIpcTest : public ui::DialogBase {
    Q_OBJECT
public:
    // `transport` and `options` reach the camera search's native discovery
    // engine (null: real sockets) and its WS-Discovery; `transport` also
    // lists the host's addresses for the card combo.
    explicit CIpcTest(QWidget* parent = nullptr, IUdpTransport* transport = nullptr, DiscoveryOptions options = {});
    ~CIpcTest() override;

    // Device list: what the search reports; a native device as its
    // discovery record (dev_find_cb's), an ONVIF camera as its row.
    int update_dev_find_list(const DEV_INFO* record, int is_new);
    static int dev_find_cb(DEV_INFO* record, int is_new, void* user);
    void update_found_camera(const FoundCamera& camera, bool is_new);
    const DeviceRows& device_rows() const { return m_rows; }

    // Logs into the device of row `item`, reads it out and starts its live
    // video: 0 when the video runs, -1 when the sequence stopped early. Any thread.
    int ipc_login_live(int item);
    void reset_test_buttons();
    void draw_qrcode(const std::string& text);

    // Handlers, as the controls call them (public so tests and the launcher
    // drive the dialog the way a user does).
    void OnBnClickedButtonSearch();
    void OnNMDblclkListDevice(int row);
    void OnStnClickedVideo();
    void OnBnClickedButtonStart();
    void OnBnClickedCheckAutoShow();
    void OnBnClickedCheckVersion();
    void OnBnClickedButtonOpenIrcut();
    void OnBnClickedButtonCloseIrcut();
    void OnBnClickedButtonSpeaker();
    void OnBnClickedButtonMic();
    void OnBnClickedButtonWhiteLight();
    void OnBnClickedButtonInfraredLamp();
    void OnBnClickedButtonZoom1x() { zoom(kZoom1x); }
    void OnBnClickedButtonZoom5x() { zoom(kZoom5x); }
    void OnBnClickedButtonZoomReset() { zoom(0); }
    int OnPtzPress(int id);
    int OnPtzRelease(int id);
    void OnCbnSelchangeComboLightMode();
    void OnBnClickedButtonConfig();
    void OnBnClickedButtonWriteTestRecord();
    void OnBnClickedButtonWriteTestNg();

    // CThread<CIpcTest>: 1 one pass of the auto-show worker, 2 the action worker.
    int ThreadFunc(std::uint32_t param);

    std::int32_t login_handle() const { return m_login_handle.load(); }
    // The ONVIF camera brought up, or null (a native one, or none).
    std::shared_ptr<OnvifBenchCamera> onvif_camera() const;
    std::int32_t live_handle() const { return m_live_handle.load(); }
    bool full_screen() const { return m_full_screen; }
    bool action_worker_running() const { return m_action_running.load() != 0; }
    std::string cur_mac() const;
    const LiveVideoBridge& video() const { return *m_video; }
    const QrView& qr_view() const { return *m_qr; }
    // Lays the dialog out as its opening does for a screen whose room is
    // `client`: the table fitted to it, then grown to fill it.
    void lay_out_for(const QRect& client);
    // Lays the controls out for a client area of `size`, in proportion to
    // the table's layout (the dialog's start-up does this for the room its
    // screen has).
    void scale_controls(const QSize& size);

protected:
    void on_init() override;
    bool on_close_request() override;

private:
    // What the workers need to know of the controls, kept current by the window thread.
    struct PanelState {
        std::string nic;
        std::string typed_version;
        std::string start_text;
        bool version_check = false;
        bool auto_config = false;
        bool mic_config = false;
        bool speaker_config = false;
        int light_mode = 0;
        int light_type = 0;
        int direction = 0;
    };

    void connect_handlers();
    void load_lang_file();
    void set_language_texts();
    void init_list_columns();
    void init_controls();
    void get_more_ip();
    void sync_panel();
    PanelState panel() const;
    bool auto_test_running(const PanelState& panel) const;
    bool typed_version_too_short() const;
    void refresh_device_list();
    void set_test_buttons_enabled(bool enabled);

    // Runs `change` on the window thread: at once when called there, else queued.
    void on_gui(std::function<void()> change);

    // ipc_login_live's stages.
    int login_live_locked(int item);
    // The ONVIF camera's bring-up (ipc_test_onvif.cpp): the same lines and
    // buttons as far as the camera offers them.
    int login_live_onvif(const BenchDeviceRow& device, const PanelState& panel, int b);
    void show_onvif_capabilities(int b, const OnvifBringUp& camera);
    void show_onvif_identity(const OnvifBringUp& camera);
    int start_onvif_live(OnvifBenchCamera& camera, int b);
    void on_live_state(const OnvifBenchCamera* camera, rtsp::LiveState state, int line);
    void enable_onvif_buttons(const OnvifBringUp& camera);
    bool write_onvif_record(OnvifBenchCamera& camera, const char* result);
    bool check_version_line(const BenchDeviceRow& device, const PanelState& panel);
    void show_capabilities(int b, const CAMERA_ADVANCE_CONFIG& adv);
    void show_identity(IPC_DEVICE_INFO& info);
    void show_storage();
    std::int32_t apply_settings(const PanelState& panel, bool with_direction);
    void close_connection();
    std::int32_t take_login();
    void clear_device_view();
    void light_test(std::int32_t white);
    void start_action_worker();
    void stop_action_worker();
    void line_at(int position, const char* key);
    void line_added(const char* key);

    void place_window(const QRect& client);
    void grow_to(const QRect& client);
    void enter_full_screen();
    void leave_full_screen();
    void zoom(std::int32_t value);
    void write_record(const char* result, const char* function);
    void run_action_requests();
    int auto_show_pass();

    DeviceRows m_rows;
    CCameraSearch m_discovery;
    IUdpTransport* m_transport;
    LiveVideoBridge* m_video;
    QrView* m_qr;
    std::vector<QRect> m_orig_rects;  // rectangles as the table lays them out
    int m_orig_cx = 0;
    int m_orig_cy = 0;

    mutable std::mutex m_onvif_lock;  // guards m_onvif
    std::shared_ptr<OnvifBenchCamera> m_onvif;
    std::atomic<std::int32_t> m_login_handle{-1};
    std::atomic<std::int32_t> m_live_handle{-1};
    std::uint32_t m_live_opt = 0;
    std::uint32_t m_video_wnd = 0;
    const int m_type_filter = 1;

    std::atomic<int> m_action_running{0};
    std::atomic<int> m_req_mic{0};
    std::atomic<int> m_req_white_light{0};
    std::atomic<int> m_req_ir_lamp{0};
    std::mutex m_action_lock;  // pairs with m_action_wake; guards the lamp test's state
    std::condition_variable m_action_wake;
    std::int32_t m_lamp_login = -1;  // the login a lamp test runs on, -1 when none runs
    bool m_lamp_cut_short = false;   // the connection closes: end the lamp test now

    bool m_full_screen = false;
    QRect m_place_dlg;
    QRect m_place_video;
    bool m_video_was_raised = false;

    mutable std::mutex m_state_lock;  // guards m_panel and m_cur_mac
    PanelState m_panel;
    std::string m_cur_mac;

    std::mutex m_connect_lock;  // one bring-up at a time
    CThread<CIpcTest> m_thread[2];
};
