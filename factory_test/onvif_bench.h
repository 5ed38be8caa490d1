#pragma once

// An ONVIF camera on the test bench: its bring-up with the bench's login
// (identity, services, the profile shown, what it can be tested for), its
// live video over RTSP into a video target of the client library, and the
// test commands (pan/tilt while a button is held, zoom, the IR-cut filter).
//
// Threads: bring_up runs on the caller's thread (the window's, or the
// auto-show worker's). The commands run, in the order given, on a thread of
// the camera's own, so a slow camera never holds the window; a release's
// Stop always follows its press's move. The live stream decodes on its own
// thread (rtsp/rtsp_live.h). Destroying the camera (or close()) ends all
// three: a call under way gives up within the session's abort poll, and
// the stream sends its TEARDOWN.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "factory_test/test_record.h"
#include "onvif/camera_control.h"
#include "onvif/ptz_moves.h"
#include "rtsp/rtsp_live.h"

// What the camera offers the bench's buttons.
struct OnvifBenchOffer {
    bool pan_tilt = false;
    bool zoom = false;
    bool ir_cut = false;  // ON and OFF both
};

struct OnvifBringUp {
    bool logged_in = false;
    std::string login_error;  // why not: the call that failed and its detail
    onvif::DeviceInformation info;
    std::string mac;          // "AA:BB:CC:DD:EE:FF"
    std::optional<onvif::VideoProfile> profile;  // the one shown
    std::string stream_uri;   // "" when the camera gave none
    std::string stream_error; // why there is none
    OnvifBenchOffer offer;
};

// The profile the bench shows: the first H.264 or H.265 one, else the
// first whose encoder is not named (it may still stream either); none when
// every profile names another codec.
std::optional<onvif::VideoProfile> bench_profile(const std::vector<onvif::VideoProfile>& profiles);

class OnvifBenchCamera {
public:
    // `session` logs in as the bench; `ip` is the camera's address, the only
    // host its stream may be opened from.
    OnvifBenchCamera(std::unique_ptr<onvif::ICamera> session, std::string ip, onvif::Credentials login);
    ~OnvifBenchCamera();
    OnvifBenchCamera(const OnvifBenchCamera&) = delete;
    OnvifBenchCamera& operator=(const OnvifBenchCamera&) = delete;

    // Once, before anything else; within `budget_ms` of runtime time for the
    // identity, each later call within the session's own time-outs.
    OnvifBringUp bring_up(std::int64_t budget_ms = 10000);
    const OnvifBringUp& state() const { return m_state; }

    // Starts the stream into `target` and waits (at most the stream's open
    // budget) until it plays or ended: the state then. `on_state` is told
    // every later change, on the stream's thread.
    rtsp::LiveState start_live(std::uint32_t target, rtsp::RtspLive::StateCallback on_state);
    // TEARDOWN, and no picture after it returns.
    void stop_live();

    // Queued; their results go to the trace.
    void move(onvif::PanTiltDirection direction);
    void stop_move();
    void zoom(double magnification);
    void ir_cut(bool open);  // open: the filter out (OFF), closed: in (ON)

    // GetDeviceInformation afresh on the camera's thread, waited for: what
    // its PASS / NG record says. False when the camera does not answer.
    bool record_identity(RecordIdentity* out);

    // Ends the commands, the stream and any call under way; what is queued
    // is dropped.
    void close();

private:
    bool closing();
    void post(std::function<void()> command);
    void run();
    void read_offer(const onvif::Services& services);
    void traced(const char* what, const onvif::Result& result) const;

    std::unique_ptr<onvif::ICamera> m_session;
    const std::string m_ip;
    const onvif::Credentials m_login;
    OnvifBringUp m_state;
    onvif::PtzNode m_node;

    std::mutex m_lock;  // the queue, the closing flag, the stream
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    bool m_closing = false;
    std::unique_ptr<rtsp::RtspLive> m_live;
    rtsp::RtspLive::StateCallback m_on_state;
    std::thread m_thread;
};
