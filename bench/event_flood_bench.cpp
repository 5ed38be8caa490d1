// Event flood through the client library: logs in to a device that sends
// events as fast as the connection takes them (impostor_camera --answer
// flood), sets an event callback that takes --callback-ms per event, and
// samples this process' resident set once a second for --seconds. Prints the
// resident set at the start of the flood, its peak and growth, the CPU share
// of this process and the events the callback was given.
//
// Both on loopback inside scripts/in-netns.sh (bench/hostile_lan_bench.sh library):
//   impostor_camera -n 1 --base-ip 127.0.0.77 --discovery-address 127.0.0.77
//       --discovery-port 23999 --answer flood &
//   event_flood_bench --ip 127.0.0.77 --seconds 60 --callback-ms 1

#include <sys/resource.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "client/kaltro_client.h"
#include "runtime/trace.h"

namespace {

long rss_kib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

double cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Callback {
    int delay_ms = 1;
    std::atomic<long> events{0};
    std::atomic<long> disconnects{0};

    static int32_t on_event(int32_t, DEVICE_EVENT* event, void* user) {
        auto* self = static_cast<Callback*>(user);
        (event->main == EVENT_DISCONNECTED ? self->disconnects : self->events)++;
        std::this_thread::sleep_for(std::chrono::milliseconds(self->delay_ms));
        return 0;
    }
};

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"event_flood_bench - the client library under an event flood"};
    std::string ip = "127.0.0.77", user = "Admin", password = "tovik";
    int port = 8000, seconds = 60;
    Callback callback;
    app.add_option("--ip", ip, "the flooding device")->capture_default_str();
    app.add_option("--port", port, "its command port")->capture_default_str();
    app.add_option("--user", user)->capture_default_str();
    app.add_option("--password", password)->capture_default_str();
    app.add_option("--seconds", seconds, "length of the flood")->capture_default_str();
    app.add_option("--callback-ms", callback.delay_ms, "time the callback takes per event")->capture_default_str();
    CLI11_PARSE(app, argc, argv);
    set_trace_sink(trace_null_sink, nullptr);

    Network_ClientInit();
    int32_t handle = -1;
    int32_t result = Network_ClientLogin(&handle, ip.c_str(), port, user.c_str(), password.c_str());
    if (result != NETWORK_OK) {
        std::fprintf(stderr, "event_flood_bench: login to %s:%d failed: %d\n", ip.c_str(), port, result);
        return 1;
    }
    Network_ClientSetEventCB(handle, &Callback::on_event, &callback);
    const long start_rss = rss_kib();
    const double start_cpu = cpu_seconds();
    long peak = start_rss;
    for (int second = 0; second < seconds; ++second) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        peak = std::max(peak, rss_kib());
    }
    const double cpu = cpu_seconds() - start_cpu;
    Network_ClientLogout(handle);
    Network_ClientUnInit();
    std::printf("event flood, %d s, callback of %d ms per event\n", seconds, callback.delay_ms);
    std::printf("  RSS at the start : %.1f MiB\n", start_rss / 1024.0);
    std::printf("  RSS peak         : %.1f MiB\n", peak / 1024.0);
    std::printf("  growth           : %.1f MiB\n", (peak - start_rss) / 1024.0);
    std::printf("  CPU              : %.0f %% of one core\n", cpu * 100.0 / seconds);
    std::printf("  events delivered : %ld (%ld per second), disconnects %ld\n", callback.events.load(),
                callback.events.load() / seconds, callback.disconnects.load());
    return 0;
}
