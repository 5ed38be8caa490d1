// Time from the start of a sweep until every simulated camera is listed,
// over the real broadcast path. Run it on the tool side of the test LAN:
//   scripts/sim-lan.sh -- build/bin/discovery_sweep_bench [cameras] [rounds] [card]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "discovery/discovery.h"
#include "discovery/xml_path.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Counter {
    std::atomic<int> fresh{0};
    std::atomic<int> target{0};
    std::atomic<Clock::rep> all_listed_at{0};
};

int on_device(DEV_INFO*, int is_new, void* context) {
    auto* c = static_cast<Counter*>(context);
    if (is_new && c->fresh.fetch_add(1) + 1 == c->target.load())
        c->all_listed_at.store(Clock::now().time_since_epoch().count());
    return 0;
}

double wait_all(Counter& c, Clock::time_point start) {
    auto deadline = start + std::chrono::seconds(10);
    while (c.all_listed_at.load() == 0 && Clock::now() < deadline) rt_sleep_ms(1);
    if (c.all_listed_at.load() == 0) return -1;
    Clock::time_point done{Clock::duration(c.all_listed_at.load())};
    return std::chrono::duration<double, std::milli>(done - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    int cameras = argc > 1 ? std::atoi(argv[1]) : 100;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    std::string card = argc > 3 ? argv[3] : "10.77.0.1";
    if (!PosixUdpTransport::broadcast_allowed()) {
        std::fprintf(stderr, "discovery_sweep_bench broadcasts: run it through scripts/sim-lan.sh\n");
        return 2;
    }
    set_trace_sink(trace_null_sink, nullptr);
    xml_set_output(nullptr);
    Counter counter;
    counter.target = cameras;
    DiscoveryOptions options;
    options.send_log = options.recv_log = "";
    CDiscovery discovery(nullptr, options);
    discovery.SetDiscoveryCB(&on_device, &counter);

    auto start = Clock::now();
    discovery.StartDiscovery(0, 2147483647);
    std::printf("first sweep: %d cameras listed after %.1f ms\n", cameras, wait_all(counter, start));
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r) {
        counter.fresh = 0;
        counter.all_listed_at = 0;
        start = Clock::now();
        discovery.RefreshDiscovery(card.c_str());  // returns after the sweep's 200 ms pause
        times.push_back(wait_all(counter, start));
    }
    std::sort(times.begin(), times.end());
    if (!times.empty())
        std::printf("refresh from %s: %d cameras listed after min %.1f / median %.1f / max %.1f ms (%d rounds)\n",
                    card.c_str(), cameras, times.front(), times[times.size() / 2], times.back(), rounds);
    discovery.StopDiscovery();
    return 0;
}
