#include "sim/rtsp/rtsp_server.h"

#include <arpa/inet.h>
#include <gst/app/gstappsrc.h>
#include <gst/base/gstbasesink.h>
#include <gst/rtsp-server/rtsp-server.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <future>

#include "runtime/rt_time.h"

struct RtspServer::Camera {
    RtspStreamConfig config;  // its fault only under fault_lock: media are made on the loop thread
    std::mutex fault_lock;
    std::shared_ptr<RtspLog> log;
    std::string uri;
    GstRTSPServer* server = nullptr;
    GstRTSPMediaFactory* factory = nullptr;
    GSource* source = nullptr;
};

namespace {

constexpr const char* kRole = "viewer";
constexpr const char* kFeedKey = "tervane-feed";

bool gstreamer_ready(std::string* error) {
    static std::once_flag once;
    static std::string failure;
    std::call_once(once, [] {
        GError* gerror = nullptr;
        if (!gst_init_check(nullptr, nullptr, &gerror)) {
            failure = std::string("GStreamer: ") + (gerror ? gerror->message : "cannot start");
            g_clear_error(&gerror);
        }
    });
    *error = failure;
    return failure.empty();
}

std::string check_config(const RtspStreamConfig& config) {
    in_addr address{};
    if (config.camera.empty()) return "no camera";
    if (inet_pton(AF_INET, config.address.c_str(), &address) != 1) return "not an IPv4 address: " + config.address;
    if (config.path.size() < 2 || config.path[0] != '/' ||
        !std::all_of(config.path.begin(), config.path.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("/_.-", c); }))
        return "bad stream path: " + config.path;
    const LivePictureSize& size = config.size;
    if (size.width % 8 != 0 || size.height % 2 != 0 || size.width < 128 || size.height < 64 || size.width > 4096 ||
        size.height > 4096)
        return "bad picture size";
    if (config.fps < 1 || config.fps > 60) return "bad frame rate";
    return "";
}

// Enough bits that the picture's edges and time code come through clean.
int bitrate_kbps(const RtspStreamConfig& config) {
    const long pixels_per_second = static_cast<long>(config.size.width) * config.size.height * config.fps;
    return static_cast<int>(std::clamp(pixels_per_second / 5000, 500L, 8000L));
}

std::string launch_line(const RtspStreamConfig& config) {
    // Low latency: the encoder looks at no later picture (zerolatency: no
    // B-frames, no look-ahead), the source keeps only the newest pictures,
    // and every key frame carries its parameter sets for late joiners. The
    // feed stamps the pictures itself (sim/rtsp/rtsp_feed.h).
    const bool h265 = config.codec == RtspCodec::h265;
    char line[512];
    std::snprintf(line, sizeof line,
                  "( appsrc name=src is-live=true format=time max-buffers=2 leaky-type=downstream"
                  " ! videoconvert ! video/x-raw,format=I420"
                  " ! %s name=enc tune=zerolatency speed-preset=ultrafast bitrate=%d key-int-max=%d"
                  " ! video/x-%s,stream-format=byte-stream,alignment=au"
                  " ! %s name=pay0 pt=96 config-interval=-1 )",
                  h265 ? "x265enc" : "x264enc", bitrate_kbps(config), config.fps * 2, h265 ? "h265" : "h264",
                  h265 ? "rtph265pay" : "rtph264pay");
    return line;
}

// The server's sinks would hold each packet until the pipeline clock
// reaches its time stamp. Pictures are sent as soon as they are encoded,
// so nothing waits on a clock that the pipeline's pauses between DESCRIBE
// and PLAY move about.
void on_element_added(GstBin*, GstBin*, GstElement* element, gpointer) {
    if (GST_IS_BASE_SINK(element)) g_object_set(element, "sync", FALSE, nullptr);
}

void send_without_clock(GstElement* bin) {
    if (GstObject* pipeline = gst_object_get_parent(GST_OBJECT(bin))) {
        g_signal_connect(pipeline, "deep-element-added", G_CALLBACK(on_element_added), nullptr);
        gst_object_unref(pipeline);
    }
}

void on_media_configure(GstRTSPMediaFactory*, GstRTSPMedia* media, gpointer user) {
    auto* camera = static_cast<RtspServer::Camera*>(user);
    RtspFeedConfig feed{camera->config.camera, camera->config.size, camera->config.fps, {}, camera->config.codec};
    {
        std::lock_guard<std::mutex> guard(camera->fault_lock);
        feed.fault = camera->config.fault;
    }
    GstElement* bin = gst_rtsp_media_get_element(media);
    send_without_clock(bin);
    GstElement* source = gst_bin_get_by_name_recurse_up(GST_BIN(bin), "src");
    GstElement* encoder = gst_bin_get_by_name_recurse_up(GST_BIN(bin), "enc");
    if (source && encoder) {
        GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "RGB", "width", G_TYPE_INT,
                                            feed.size.width, "height", G_TYPE_INT, feed.size.height, "framerate",
                                            GST_TYPE_FRACTION, feed.fps, 1, nullptr);
        g_object_set(source, "caps", caps, nullptr);
        gst_caps_unref(caps);
        GstPad* encoded = gst_element_get_static_pad(encoder, "src");
        // The media owns its feed: the feed ends when the media is gone.
        auto* running = new RtspFeed(source, encoded, std::move(feed), camera->log);
        g_object_set_data_full(G_OBJECT(media), kFeedKey, running, [](gpointer p) { delete static_cast<RtspFeed*>(p); });
        gst_object_unref(encoded);
    }
    if (encoder) gst_object_unref(encoder);
    if (source) gst_object_unref(source);
    gst_object_unref(bin);
}

void count(std::atomic<int>* counter) { (*counter)++; }

void on_describe(GstRTSPClient*, GstRTSPContext*, gpointer user) {
    count(&static_cast<RtspServer::Camera*>(user)->log->describes);
}
void on_setup(GstRTSPClient*, GstRTSPContext*, gpointer user) {
    count(&static_cast<RtspServer::Camera*>(user)->log->setups);
}
void on_play(GstRTSPClient*, GstRTSPContext*, gpointer user) {
    count(&static_cast<RtspServer::Camera*>(user)->log->plays);
}
void on_teardown(GstRTSPClient*, GstRTSPContext*, gpointer user) {
    count(&static_cast<RtspServer::Camera*>(user)->log->teardowns);
}

void on_send(GstRTSPClient*, GstRTSPSession*, GstRTSPMessage* message, gpointer user) {
    GstRTSPStatusCode code;
    if (gst_rtsp_message_get_type(message) == GST_RTSP_MESSAGE_RESPONSE &&
        gst_rtsp_message_parse_response(message, &code, nullptr, nullptr) == GST_RTSP_OK &&
        code == GST_RTSP_STS_UNAUTHORIZED)
        count(&static_cast<RtspServer::Camera*>(user)->log->refused);
}

void on_client(GstRTSPServer*, GstRTSPClient* client, gpointer user) {
    g_signal_connect(client, "describe-request", G_CALLBACK(on_describe), user);
    g_signal_connect(client, "setup-request", G_CALLBACK(on_setup), user);
    g_signal_connect(client, "play-request", G_CALLBACK(on_play), user);
    g_signal_connect(client, "teardown-request", G_CALLBACK(on_teardown), user);
    g_signal_connect(client, "send-message", G_CALLBACK(on_send), user);
}

GstRTSPFilterResult drop_client(GstRTSPServer*, GstRTSPClient* client, gpointer camera) {
    g_signal_handlers_disconnect_by_data(client, camera);
    return GST_RTSP_FILTER_REMOVE;
}

GstRTSPFilterResult drop_session(GstRTSPSessionPool*, GstRTSPSession*, gpointer) { return GST_RTSP_FILTER_REMOVE; }

void add_login(RtspServer::Camera& camera) {
    if (camera.config.user.empty()) return;
    GstRTSPAuth* auth = gst_rtsp_auth_new();
    gst_rtsp_auth_set_supported_methods(auth, GST_RTSP_AUTH_DIGEST);
    GstRTSPToken* token = gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, kRole, nullptr);
    gst_rtsp_auth_add_digest(auth, camera.config.user.c_str(), camera.config.password.c_str(), token);
    gst_rtsp_token_unref(token);
    gst_rtsp_server_set_auth(camera.server, auth);
    g_object_unref(auth);
    gst_rtsp_media_factory_add_role(camera.factory, kRole, GST_RTSP_PERM_MEDIA_FACTORY_ACCESS, G_TYPE_BOOLEAN, TRUE,
                                    GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT, G_TYPE_BOOLEAN, TRUE, nullptr);
}

void unserve(RtspServer::Camera& camera) {
    if (camera.source) {
        g_source_destroy(camera.source);
        g_source_unref(camera.source);
    }
    if (camera.factory) g_signal_handlers_disconnect_by_data(camera.factory, &camera);
    if (camera.server) {
        g_signal_handlers_disconnect_by_data(camera.server, &camera);
        g_list_free_full(gst_rtsp_server_client_filter(camera.server, drop_client, &camera), g_object_unref);
        GstRTSPSessionPool* pool = gst_rtsp_server_get_session_pool(camera.server);
        g_list_free_full(gst_rtsp_session_pool_filter(pool, drop_session, nullptr), g_object_unref);
        g_object_unref(pool);
        g_object_unref(camera.server);
    }
    camera.source = nullptr;
    camera.factory = nullptr;
    camera.server = nullptr;
}

// Makes the camera's server and starts listening; "" or why not.
std::string serve(RtspServer::Camera& camera, GMainContext* context) {
    const RtspStreamConfig& config = camera.config;
    camera.server = gst_rtsp_server_new();
    gst_rtsp_server_set_address(camera.server, config.address.c_str());
    gst_rtsp_server_set_service(camera.server, std::to_string(config.port).c_str());
    // Clients are served on the loop thread, not on threads of the server's own.
    GstRTSPThreadPool* threads = gst_rtsp_server_get_thread_pool(camera.server);
    gst_rtsp_thread_pool_set_max_threads(threads, 0);
    g_object_unref(threads);

    camera.factory = gst_rtsp_media_factory_new();
    gst_rtsp_media_factory_set_launch(camera.factory, launch_line(config).c_str());
    gst_rtsp_media_factory_set_shared(camera.factory, FALSE);
    gst_rtsp_media_factory_set_protocols(camera.factory,
                                         static_cast<GstRTSPLowerTrans>(GST_RTSP_LOWER_TRANS_TCP | GST_RTSP_LOWER_TRANS_UDP));
    g_signal_connect(camera.factory, "media-configure", G_CALLBACK(on_media_configure), &camera);
    add_login(camera);
    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(camera.server);
    gst_rtsp_mount_points_add_factory(mounts, config.path.c_str(), camera.factory);  // takes the factory
    g_object_unref(mounts);
    g_signal_connect(camera.server, "client-connected", G_CALLBACK(on_client), &camera);

    GError* error = nullptr;
    camera.source = gst_rtsp_server_create_source(camera.server, nullptr, &error);
    if (!camera.source) {
        std::string why = std::string("cannot serve on ") + config.address + ":" + std::to_string(config.port) + ": " +
                          (error ? error->message : "unknown error");
        g_clear_error(&error);
        unserve(camera);
        return why;
    }
    g_source_attach(camera.source, context);
    camera.uri = "rtsp://" + config.address + ":" + std::to_string(gst_rtsp_server_get_bound_port(camera.server)) +
                 config.path;
    return "";
}

}  // namespace

RtspServer::RtspServer() : m_context(g_main_context_new()), m_loop(g_main_loop_new(m_context, FALSE)) {
    m_loop_thread = std::thread([this] {
        g_main_context_push_thread_default(m_context);
        g_main_loop_run(m_loop);
        g_main_context_pop_thread_default(m_context);
    });
}

RtspServer::~RtspServer() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        while (!m_cameras.empty()) stop_locked(m_cameras.begin()->first);
    }
    // The pipelines of the closed sessions wind down on the loop; their feed
    // threads end with them.
    const std::int64_t deadline = rt_clock_ms() + 2000;
    while (rt_clock_ms() < deadline && std::any_of(m_logs.begin(), m_logs.end(), [](const auto& entry) {
               return entry.second->streams_running.load() > 0;
           }))
        rt_sleep_ms(10);
    g_main_loop_quit(m_loop);
    m_loop_thread.join();
    g_main_loop_unref(m_loop);
    g_main_context_unref(m_context);
}

template <class F>
void RtspServer::on_loop(F&& call) {
    struct Call {
        F& call;
        std::promise<void> done;
    } pending{call, {}};
    g_main_context_invoke(
        m_context,
        [](gpointer p) -> gboolean {
            auto* c = static_cast<Call*>(p);
            c->call();
            c->done.set_value();
            return G_SOURCE_REMOVE;
        },
        &pending);
    pending.done.get_future().wait();
}

std::string RtspServer::start_stream(const RtspStreamConfig& config, std::string* uri) {
    std::string error;
    if (!gstreamer_ready(&error)) return error;
    if (error = check_config(config); !error.empty()) return error;
    std::lock_guard<std::mutex> guard(m_lock);
    stop_locked(config.camera);
    auto camera = std::make_unique<Camera>();
    camera->config = config;
    std::shared_ptr<RtspLog>& log = m_logs[config.camera];
    if (!log) log = std::make_shared<RtspLog>();
    camera->log = log;
    on_loop([&] { error = serve(*camera, m_context); });
    if (!error.empty()) return error;
    *uri = camera->uri;
    m_cameras[config.camera] = std::move(camera);
    return "";
}

bool RtspServer::stop_locked(const std::string& camera) {
    auto it = m_cameras.find(camera);
    if (it == m_cameras.end()) return false;
    on_loop([&] { unserve(*it->second); });
    m_cameras.erase(it);
    return true;
}

bool RtspServer::stop_stream(const std::string& camera) {
    std::lock_guard<std::mutex> guard(m_lock);
    return stop_locked(camera);
}

bool RtspServer::set_fault(const std::string& camera, const RtspFault& fault) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_cameras.find(camera);
    if (it == m_cameras.end()) return false;
    std::lock_guard<std::mutex> fault_guard(it->second->fault_lock);
    it->second->config.fault = fault;
    return true;
}

std::shared_ptr<const RtspLog> RtspServer::log(const std::string& camera) const {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_logs.find(camera);
    return it == m_logs.end() ? nullptr : it->second;
}

nlohmann::json RtspServer::to_json(const std::string& camera) const {
    std::lock_guard<std::mutex> guard(m_lock);
    auto log = m_logs.find(camera);
    if (log == m_logs.end()) return nullptr;
    nlohmann::json out = log->second->to_json();
    auto it = m_cameras.find(camera);
    out["uri"] = it == m_cameras.end() ? "" : it->second->uri;
    if (it != m_cameras.end()) {
        std::lock_guard<std::mutex> fault_guard(it->second->fault_lock);
        out["fault"] = rtsp_fault_text(it->second->config.fault);
    }
    return out;
}
