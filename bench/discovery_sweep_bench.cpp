// How many simulated cameras, all answering at once, one sweep lists, and how
// many three sweeps list together, over the real broadcast path; with the
// time from the first request until the last camera was listed. Run it on the
// tool side of the test LAN, for example with 1000 cameras:
//   SIM_LAN_ADDRESSES=1000 scripts/in-netns.sh scripts/sim-lan.sh -- build/bin/discovery_sweep_bench 1000 3
// Arguments: cameras (100), sweeps (3), card (none: every card).
#include <atomic>
#include <chrono>
#include <climits>
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
    std::atomic<int> listed{0};
    std::atomic<Clock::rep> last_at{0};
};

int on_device(DEV_INFO*, int is_new, void* context) {
    auto* c = static_cast<Counter*>(context);
    if (is_new) {
        c->listed.fetch_add(1);
        c->last_at.store(Clock::now().time_since_epoch().count());
    }
    return 0;
}

// Waits until every camera is listed or nothing new came for a second.
void settle(const Counter& c, int cameras) {
    int seen = -1;
    auto quiet_since = Clock::now();
    while (c.listed.load() < cameras && Clock::now() - quiet_since < std::chrono::seconds(1)) {
        if (c.listed.load() != seen) {
            seen = c.listed.load();
            quiet_since = Clock::now();
        }
        rt_sleep_ms(10);
    }
}

double ms_since(Clock::time_point start, const Counter& c) {
    Clock::time_point last{Clock::duration(c.last_at.load())};
    return std::chrono::duration<double, std::milli>(last - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    int cameras = argc > 1 ? std::atoi(argv[1]) : 100;
    int sweeps = argc > 2 ? std::atoi(argv[2]) : 3;
    DiscoveryOptions options;
    options.endpoints.card = argc > 3 ? argv[3] : "";
    options.send_log = options.recv_log = "";
    set_trace_sink(trace_null_sink, nullptr);
    xml_set_output(nullptr);

    Counter counter;
    CDiscovery discovery(nullptr, options);
    discovery.SetDiscoveryCB(&on_device, &counter);
    auto start = Clock::now();
    discovery.StartDiscovery(0, INT_MAX);  // the first sweep, at once
    for (int sweep = 1; sweep <= sweeps; ++sweep) {
        // Later sweeps through the engine itself, so the list is not emptied
        // and what they add counts on top of the first.
        if (sweep > 1) discovery.engine().refresh(nullptr);
        settle(counter, cameras);
        std::printf("%d cameras, %s: listed after %d sweep%s: %d (last listed %.0f ms after the first request)\n",
                    cameras, options.endpoints.card.empty() ? "every card" : options.endpoints.card.c_str(), sweep,
                    sweep == 1 ? "" : "s", counter.listed.load(), ms_since(start, counter));
    }
    discovery.StopDiscovery();
    return 0;
}
