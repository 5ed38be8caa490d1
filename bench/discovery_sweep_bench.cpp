// How many simulated cameras, all answering at once, one sweep lists, and how
// many --sweeps (3) list together, over the real broadcast path; with the
// time from the first request until the last camera was listed. Run it on the
// tool side of the test LAN, for example with 1000 cameras:
//   SIM_LAN_ADDRESSES=1000 scripts/in-netns.sh scripts/sim-lan.sh -- build/bin/discovery_sweep_bench
//   --cameras 1000
// It sweeps out of every card, so outside a private network namespace it
// sends nothing unless --card names the one to send from.
#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "discovery/discovery.h"
#include "discovery/netns_guard.h"
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
    CLI::App app{"discovery_sweep_bench - cameras listed by one sweep and by several, on the test LAN"};
    int cameras = 100, sweeps = 3;
    DiscoveryOptions options;
    app.add_option("--cameras", cameras, "cameras answering on the LAN")
        ->capture_default_str()
        ->check(CLI::NonNegativeNumber);
    app.add_option("--sweeps", sweeps, "sweeps to run")->capture_default_str()->check(CLI::Range(1, 100));
    app.add_option("--card", options.endpoints.card, "the local address to sweep from (default: every card)");
    CLI11_PARSE(app, argc, argv);
    if (std::string refusal = developer_send_refusal(!options.endpoints.card.empty()); !refusal.empty()) {
        std::fprintf(stderr, "discovery_sweep_bench: %s\n", refusal.c_str());
        return 2;
    }
    options.send_log = options.recv_log = "";
    set_trace_sink(trace_null_sink, nullptr);
    xml_set_output(nullptr);

    Counter counter;
    CDiscovery discovery(nullptr, options);
    discovery.SetDiscoveryCB(&on_device, &counter);
    auto start = Clock::now();
    discovery.StartDiscovery(0, INT_MAX);  // the first sweep, at once
    for (int sweep = 1; sweep <= sweeps; ++sweep) {
        // Later sweeps leave the list as it is, so what they add counts on
        // top of the first.
        if (sweep > 1) discovery.SearchAgain();
        settle(counter, cameras);
        std::printf("%d cameras, %s: listed after %d sweep%s: %d", cameras,
                    options.endpoints.card.empty() ? "every card" : options.endpoints.card.c_str(), sweep,
                    sweep == 1 ? "" : "s", counter.listed.load());
        if (counter.listed.load() > 0)
            std::printf(" (last listed %.0f ms after the first request)", ms_since(start, counter));
        std::printf("\n");
    }
    discovery.StopDiscovery();
    return 0;
}
