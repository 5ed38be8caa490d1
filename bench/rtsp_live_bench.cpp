// RTSP live video figures. The simulator's RTSP server runs in a child
// process and streams H.264 at 25 pictures a second; this process receives
// it with the RTSP client, which hands each picture to a video target that
// reads the picture's time code (how long since the simulator drew it) and
// passes it on to the bench's own LiveVideoBridge on an offscreen video
// area, which reads the time code again when the area paints it (how long
// until it is on screen). Per picture size and run it prints pictures
// delivered and shown per second, pictures missed on the way, both delays
// (median and 95th percentile) and this process' CPU share, then the median
// of the runs. Judges nothing.
//
//   scripts/in-netns.sh build/bin/rtsp_live_bench [--seconds 10] [--runs 3] [--size 1920x1080]

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "client/kaltro_live.h"
#include "discovery/netns_guard.h"
#include "factory_test/dialog/live_video_bridge.h"
#include "rtsp/rtsp_live.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "sim/live_time_code.h"
#include "sim/rtsp/rtsp_server.h"
#include "ui/clickable_frame.h"

namespace {

constexpr int kFps = 25;
constexpr const char* kUser = "Admin";
constexpr const char* kPassword = "bench";

struct BenchOptions {
    std::vector<std::string> sizes{"640x360", "1920x1080"};
    int seconds = 10;
    int runs = 3;
    std::string address = "127.0.88.10";
    bool trace = false;
};

bool parse_size(const std::string& text, LivePictureSize* size) {
    return std::sscanf(text.c_str(), "%dx%d", &size->width, &size->height) == 2;
}

// Loopback, or else only inside a private network namespace: "" or why not.
std::string send_refusal(const std::string& address) {
    return address.rfind("127.", 0) == 0 ? std::string() : developer_send_refusal(false);
}

std::string camera_address(const std::string& first, int k) {
    const std::size_t dot = first.rfind('.');
    return first.substr(0, dot + 1) + std::to_string(std::stoi(first.substr(dot + 1)) + k);
}

std::string camera_mac(std::size_t k) { return "02:00:00:00:00:0" + std::to_string(k + 1); }

// The server's process: one camera per size. It writes each URI on a line,
// then answers each byte k this process sends with a line holding the
// pictures camera k has sent so far, until this process is gone.
struct ServerProcess {
    pid_t pid = -1;
    FILE* answers = nullptr;
    int requests = -1;

    long frames_sent(std::size_t k) {
        const char byte = static_cast<char>(k);
        char line[64];
        if (write(requests, &byte, 1) != 1 || !std::fgets(line, sizeof line, answers)) return -1;
        return std::atol(line);
    }
};

[[noreturn]] void serve(const BenchOptions& options, int answers, int requests) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    set_trace_sink(trace_null_sink, nullptr);
    RtspServer server;
    auto say = [&](const std::string& line) {
        if (write(answers, line.data(), line.size()) < 0) _exit(1);
    };
    for (std::size_t k = 0; k < options.sizes.size(); ++k) {
        RtspStreamConfig config;
        config.camera = camera_mac(k);
        config.address = camera_address(options.address, static_cast<int>(k));
        config.port = 0;
        config.user = kUser;
        config.password = kPassword;
        parse_size(options.sizes[k], &config.size);
        config.fps = kFps;
        std::string uri, error = server.start_stream(config, &uri);
        say((error.empty() ? uri : "error " + error) + "\n");
    }
    for (char k; read(requests, &k, 1) == 1;) {
        std::shared_ptr<const RtspLog> log = server.log(camera_mac(static_cast<std::size_t>(k)));
        say(std::to_string(log ? log->frames_sent.load() : -1) + "\n");
    }
    _exit(0);
}

bool start_server(const BenchOptions& options, ServerProcess* server, std::vector<std::string>* uris) {
    int answers[2], requests[2];
    if (pipe(answers) != 0 || pipe(requests) != 0) return false;
    server->pid = fork();
    if (server->pid == 0) {
        close(answers[0]);
        close(requests[1]);
        serve(options, answers[1], requests[0]);
    }
    close(answers[1]);
    close(requests[0]);
    server->answers = fdopen(answers[0], "r");
    server->requests = requests[1];
    char line[512];
    while (uris->size() < options.sizes.size() && std::fgets(line, sizeof line, server->answers)) {
        uris->emplace_back(line);
        uris->back().pop_back();
    }
    return server->pid > 0 && uris->size() == options.sizes.size();
}

// Delays of the pictures that passed one point, and the pictures missed
// before it (gaps in the time codes).
struct Delays {
    std::mutex lock;
    std::vector<double> ms;
    std::int64_t last_code = -1;
    int missed = 0;

    void add(std::int64_t code) {
        const std::int64_t now = rt_calendar_ms();
        std::lock_guard<std::mutex> guard(lock);
        if (code == last_code) return;
        if (last_code >= 0) missed += std::max(0, static_cast<int>(std::lround((code - last_code) * kFps / 1000.0)) - 1);
        last_code = code;
        ms.push_back(static_cast<double>(now - code));
    }
    void reset() {
        std::lock_guard<std::mutex> guard(lock);
        ms.clear();
        missed = 0;
    }
};

bool time_code_of(const KALTRO_VIDEO_FRAME& frame, std::int64_t* code) {
    return frame.pixels && read_live_time_code(frame.pixels, frame.width, frame.height, frame.stride, code);
}

// The RTSP client's target: measures, then hands the picture to the bridge.
struct Relay {
    std::uint32_t bridge = 0;
    Delays delivered;

    static void on_frame(std::uint32_t, const KALTRO_VIDEO_FRAME* frame, void* user) {
        auto* self = static_cast<Relay*>(user);
        std::int64_t code = 0;
        if (time_code_of(*frame, &code)) self->delivered.add(code);
        Network_ClientDeliverVideoFrame(self->bridge, frame);
    }
};

// Reads the time code of the picture the area is about to paint.
class PaintProbe : public QObject {
public:
    explicit PaintProbe(ui::ClickableFrame* area) : m_area(area) { area->installEventFilter(this); }
    Delays shown;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_area && event->type() == QEvent::Paint && !m_area->picture().isNull()) {
            const QImage image = m_area->picture().toImage();
            std::int64_t code = 0;
            if (image.format() == QImage::Format_RGB32 &&
                read_live_time_code(image.constBits(), image.width(), image.height(),
                                    static_cast<int>(image.bytesPerLine()), &code))
                shown.add(code);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    ui::ClickableFrame* m_area;
};

double cpu_ms() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

double percentile(std::vector<double> values, double share) {
    if (values.empty()) return NAN;
    std::sort(values.begin(), values.end());
    const std::size_t index = static_cast<std::size_t>(std::ceil(share * values.size())) - 1;
    return values[std::min(index, values.size() - 1)];
}

struct Figures {
    double sent_per_s, delivered_per_s, shown_per_s, missed_delivered, missed_shown;
    double deliver_median, deliver_p95, shown_median, shown_p95, cpu_percent;
};

void run_event_loop_ms(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool wait_for_pictures(const rtsp::RtspLive& live) {
    for (int i = 0; i < 100 && live.counts().delivered == 0; ++i) {
        if (rtsp::live_state_final(live.state())) return false;
        run_event_loop_ms(100);
    }
    return live.counts().delivered > 0;
}

// What one run watches: the camera's stream and where its pictures go.
struct Watch {
    std::string uri;
    std::string address;
    std::size_t camera = 0;
    ServerProcess* server = nullptr;
    Relay* relay = nullptr;
    std::uint32_t relay_target = 0;
    PaintProbe* probe = nullptr;
    LiveVideoBridge* bridge = nullptr;
};

bool measure(const Watch& watch, int seconds, Figures* out) {
    Relay& relay = *watch.relay;
    PaintProbe& probe = *watch.probe;
    rtsp::LiveOptions options;
    options.uri = watch.uri;
    options.camera_address = watch.address;
    options.user = kUser;
    options.password = kPassword;
    options.video_target = watch.relay_target;
    rtsp::RtspLive live(options);
    if (!wait_for_pictures(live)) {
        std::printf("  no pictures: %s\n", rtsp::live_state_name(live.state()));
        return false;
    }
    run_event_loop_ms(1000);  // past the start
    relay.delivered.reset();
    probe.shown.reset();
    const std::uint32_t shown_before = watch.bridge->shown();
    const long sent_before = watch.server->frames_sent(watch.camera);
    const double cpu_before = cpu_ms();
    const std::int64_t start = rt_clock_ms();
    run_event_loop_ms(seconds * 1000);
    const double wall_ms = static_cast<double>(rt_clock_ms() - start);
    const double cpu = cpu_ms() - cpu_before;
    const std::uint32_t shown = watch.bridge->shown() - shown_before;
    const long sent = watch.server->frames_sent(watch.camera) - sent_before;
    std::lock_guard<std::mutex> a(relay.delivered.lock), b(probe.shown.lock);
    *out = {sent * 1000.0 / wall_ms, relay.delivered.ms.size() * 1000.0 / wall_ms, shown * 1000.0 / wall_ms,
            static_cast<double>(relay.delivered.missed), static_cast<double>(probe.shown.missed),
            percentile(relay.delivered.ms, 0.5), percentile(relay.delivered.ms, 0.95),
            percentile(probe.shown.ms, 0.5), percentile(probe.shown.ms, 0.95), cpu * 100.0 / wall_ms};
    return true;
}

void print_header() {
    std::printf("  %-8s %22s %14s %18s %18s %7s\n", "", "pictures/s", "missed", "to delivery ms", "to screen ms",
                "CPU");
    std::printf("  %-8s %5s %8s %7s %7s %6s %8s %9s %8s %9s %7s\n", "run", "sent", "deliver", "shown", "deliver",
                "shown", "median", "p95", "median", "p95", "% core");
}

void print_row(const char* label, const Figures& f) {
    std::printf("  %-8s %5.1f %8.1f %7.1f %7.0f %6.0f %8.0f %9.0f %8.0f %9.0f %7.1f\n", label, f.sent_per_s,
                f.delivered_per_s,
                f.shown_per_s, f.missed_delivered, f.missed_shown, f.deliver_median, f.deliver_p95, f.shown_median,
                f.shown_p95, f.cpu_percent);
}

Figures median_of(const std::vector<Figures>& runs) {
    auto median = [&](double Figures::*field) {
        std::vector<double> values;
        for (const Figures& run : runs) values.push_back(run.*field);
        return percentile(values, 0.5);
    };
    return {median(&Figures::sent_per_s),     median(&Figures::delivered_per_s), median(&Figures::shown_per_s),
            median(&Figures::missed_delivered), median(&Figures::missed_shown),   median(&Figures::deliver_median),
            median(&Figures::deliver_p95),    median(&Figures::shown_median),    median(&Figures::shown_p95),
            median(&Figures::cpu_percent)};
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"rtsp_live_bench - RTSP live video from the simulator through the RTSP client to the bench's video area"};
    BenchOptions options;
    app.add_option("--size", options.sizes, "picture sizes, WxH (repeatable)")
        ->capture_default_str()
        ->check([](const std::string& text) {
            LivePictureSize size;
            return parse_size(text, &size) ? std::string() : "WxH expected";
        });
    app.add_option("--seconds", options.seconds, "measured seconds per run")->capture_default_str()->check(CLI::Range(1, 600));
    app.add_option("--runs", options.runs, "runs per size")->capture_default_str()->check(CLI::Range(1, 50));
    app.add_option("--address", options.address, "the first camera's address (the next sizes count up)")
        ->capture_default_str()
        ->check(CLI::ValidIPV4);
    app.add_flag("--trace", options.trace, "print the client's trace (FFmpeg's errors among it)");
    CLI11_PARSE(app, argc, argv);
    if (const std::string refusal = send_refusal(options.address); !refusal.empty()) {
        std::fprintf(stderr, "rtsp_live_bench: %s: %s\n", options.address.c_str(), refusal.c_str());
        return 2;
    }
    std::vector<std::string> uris;
    ServerProcess server;
    if (!start_server(options, &server, &uris)) {  // before any thread of this process
        std::fprintf(stderr, "rtsp_live_bench: the server did not start\n");
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    if (!options.trace) set_trace_sink(trace_null_sink, nullptr);
    ui::ClickableFrame area;
    area.resize(823, 400);  // the video area of the bench at 1366x768
    area.show();
    LiveVideoBridge bridge(&area);
    PaintProbe probe(&area);
    Relay relay;
    relay.bridge = bridge.target();
    std::uint32_t relay_target = 0;
    Network_ClientRegisterVideoTarget(&relay_target, &Relay::on_frame, &relay);

    std::printf("RTSP live video, H.264 at %d fps, over RTSP/TCP on loopback; %d s per run; this process only "
                "(the server is a child)\n", kFps, options.seconds);
    std::fflush(stdout);
    print_header();
    int status = 0;
    for (std::size_t k = 0; k < uris.size(); ++k) {
        if (uris[k].rfind("error", 0) == 0) {
            std::printf("%s: %s\n", options.sizes[k].c_str(), uris[k].c_str());
            status = 1;
            continue;
        }
        std::printf("%s (%s)\n", options.sizes[k].c_str(), uris[k].c_str());
        std::vector<Figures> runs;
        for (int run = 1; run <= options.runs; ++run) {
            Figures figures{};
            const Watch watch{uris[k], camera_address(options.address, static_cast<int>(k)), k, &server, &relay,
                              relay_target, &probe, &bridge};
            if (!measure(watch, options.seconds, &figures)) continue;
            runs.push_back(figures);
            print_row(std::to_string(run).c_str(), figures);
        }
        if (!runs.empty()) print_row("median", median_of(runs));
    }
    Network_ClientUnregisterVideoTarget(relay_target);
    kill(server.pid, SIGTERM);
    waitpid(server.pid, nullptr, 0);
    return status;
}
