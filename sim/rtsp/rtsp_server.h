#pragma once

// RTSP for simulated cameras: each camera streams H.264 (or H.265) of the moving test
// picture (its MAC, its clock, and the clock's time code along the bottom
// edge) on its own address, behind its digest login, over RTSP with RTP
// interleaved on the TCP connection or on UDP. GStreamer's RTSP server does
// the protocol; one GLib main loop thread of ours serves every camera, and
// each stream's pipeline gets its pictures from a feed thread
// (sim/rtsp/rtsp_feed.h). Every client gets a pipeline of its own, so a
// fault counts from that client's first picture.
//
// Thread-safe; no call waits for a client or a stream.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

#include "sim/rtsp/rtsp_feed.h"
#include "sim/rtsp/rtsp_log.h"

struct RtspStreamConfig {
    std::string camera;          // the camera's MAC: the stream's key, written on the picture
    std::string address;         // IPv4 address to serve on: the camera's own
    std::uint16_t port = 554;    // 0: a free port, which the URI then names
    std::string path = "/stream1";
    std::string user;            // the digest login; "" serves without one
    std::string password;
    LivePictureSize size;        // width a multiple of 8, height even, 128x64 up to 4096x4096
    int fps = 25;                // 1..60
    RtspFault fault;
    RtspCodec codec = RtspCodec::h264;  // H.265 needs x265enc (gstreamer1.0-plugins-bad)
};

class RtspServer {
public:
    RtspServer();
    ~RtspServer();
    RtspServer(const RtspServer&) = delete;
    RtspServer& operator=(const RtspServer&) = delete;

    // Serves `config.camera`'s stream (replacing one it had); "" and the
    // rtsp:// URI a client opens, or why not (bad settings, address in use).
    std::string start_stream(const RtspStreamConfig& config, std::string* uri);
    // Stops serving and closes the camera's client connections; false when
    // it had no stream.
    bool stop_stream(const std::string& camera);
    // The fault of the streams clients open from now on.
    bool set_fault(const std::string& camera, const RtspFault& fault);

    // What the camera's server saw, null when it never served; it stays
    // after stop_stream so a test can read the TEARDOWN count.
    std::shared_ptr<const RtspLog> log(const std::string& camera) const;
    // {"uri", "fault", the log's counts}; null when the camera never served.
    nlohmann::json to_json(const std::string& camera) const;

    struct Camera;  // one camera's server (rtsp_server.cpp)

private:
    // Runs `call` on the loop thread and waits for it: GStreamer's server
    // objects are only touched there.
    template <class F>
    void on_loop(F&& call);
    bool stop_locked(const std::string& camera);

    GMainContext* m_context;
    GMainLoop* m_loop;
    std::thread m_loop_thread;

    // Guards the tables. The loop thread never takes it, so it may be held
    // while waiting for the loop.
    mutable std::mutex m_lock;
    std::map<std::string, std::unique_ptr<Camera>> m_cameras;
    std::map<std::string, std::shared_ptr<RtspLog>> m_logs;
};
