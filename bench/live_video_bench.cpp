// Live video figures: what a picture costs the simulator to make, what one
// costs the tool to decode and paint, and end to end over loopback the
// frames per second shown and the tool's CPU share per stream.
// Prints figures; judges nothing.

#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <ctime>
#include <functional>

#include "client/kaltro_live.h"
#include "client/live_decoder.h"
#include "factory_test/dialog/live_video_bridge.h"
#include "runtime/trace.h"
#include "sim/device_side.h"
#include "sim/live_picture.h"
#include "sim/simulator.h"
#include "ui/clickable_frame.h"

namespace {

constexpr int kFrames = 200;
constexpr int kFps = 25;

double thread_cpu_ms() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

double process_cpu_ms() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

double cpu_per_frame(const std::function<void(int)>& step) {
    const double start = thread_cpu_ms();
    for (int i = 0; i < kFrames; ++i) step(i);
    return (thread_cpu_ms() - start) / kFrames;
}

void report(const char* what, double ms) {
    std::printf("%-44s %7.3f ms CPU/frame = %5.1f %% of one core at %d fps\n", what, ms, ms * kFps / 10.0, kFps);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    set_trace_sink(trace_null_sink, nullptr);

    LivePicture picture;
    std::vector<std::vector<std::uint8_t>> jpegs;
    const double encode = cpu_per_frame([&](int i) {
        jpegs.push_back(picture.render_jpeg(static_cast<std::uint32_t>(i), "02:00:00:00:00:01", live_clock_text()));
    });
    report("simulator: draw + JPEG encode 640x360", encode);
    std::printf("JPEG size: %zu bytes\n", jpegs.front().size());

    kaltro::JpegDecoder decoder;
    std::vector<std::uint8_t> pixels;
    const double decode = cpu_per_frame([&](int i) {
        decoder.decode(jpegs[static_cast<std::size_t>(i)].data(), jpegs[static_cast<std::size_t>(i)].size(), 640, 360,
                       pixels);
    });
    report("tool: JPEG decode 640x360", decode);

    // The video area of a 1440-pixel-wide dialog, painted as the frame widget does.
    QImage screen(823, 400, QImage::Format_RGB32);
    const double paint = cpu_per_frame([&](int) {
        const QImage frame(pixels.data(), 640, 360, 640 * 4, QImage::Format_RGB32);
        const QPixmap shown = QPixmap::fromImage(frame.copy());
        QPainter painter(&screen);
        painter.drawPixmap(QRect(0, 0, 711, 400), shown);
    });
    report("tool: copy + paint into 711x400", paint);
    report("tool: decode + paint", decode + paint);

    // End to end over loopback: simulator, library, bridge, widget.
    SimOptions options;
    options.base_ip = "127.0.77." + std::to_string(10 + getpid() % 200);
    options.cmd_port = 6001;
    options.discovery_port = 0;
    Simulator simulator(options);
    DeviceSideOptions device_options;
    DeviceSide devices(simulator, device_options);
    if (!devices.start().empty()) {
        std::printf("cannot start the simulated camera on %s\n", options.base_ip.c_str());
        return 1;
    }
    Network_ClientInit();
    ui::ClickableFrame area;
    area.resize(823, 400);
    area.show();
    LiveVideoBridge bridge(&area);
    std::int32_t login = -1, live = -1;
    Network_ClientLogin(&login, simulator.cameras()[0]->identity().ip.c_str(), 6001, "Admin", "tovik");
    LIVE_PARAM param{0, bridge.target(), 2};
    if (Network_ClientStartLive(&live, login, &param, nullptr, nullptr) != NETWORK_OK) {
        std::printf("live start failed\n");
        return 1;
    }
    const double cpu_start = process_cpu_ms();
    const std::uint32_t shown_start = bridge.shown();
    QElapsedTimer timer;
    timer.start();
    QEventLoop loop;
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    loop.exec();
    const double seconds = timer.elapsed() / 1000.0;
    const double cpu = process_cpu_ms() - cpu_start;
    const std::uint32_t shown = bridge.shown() - shown_start;
    Network_ClientStopLive(live);
    Network_ClientLogout(login);
    Network_ClientUnInit();
    devices.stop();
    const double fps = shown / seconds;
    const double sim_share = encode * fps * seconds;  // the simulator runs in this process too
    std::printf("end to end: %.1f frames/s shown over %.1f s\n", fps, seconds);
    std::printf("end to end: process %.1f %% of one core, of which the tool ~%.1f %% (simulator's encoding taken out)\n",
                cpu / seconds / 10.0, (cpu - sim_share) / seconds / 10.0);
    return 0;
}
