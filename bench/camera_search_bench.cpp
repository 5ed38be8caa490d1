// How long the combined search takes to list 100 ONVIF simulated cameras
// with their identity (each logged in to: clock, device information,
// network interfaces), against the same number of native cameras beside
// them on the same LAN; then tervane-cli discover's peak RSS and wall time
// for each kind. The median of the runs is the figure. Run it on the tool
// side of the test LAN:
//
//   SIM_LAN_ADDRESSES=200 scripts/in-netns.sh scripts/sim-lan.sh --config bench/camera_search_lan.json
//       -- build/bin/camera_search_bench [--cameras 100] [--runs 5]
// (one command line).
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "discovery/netns_guard.h"
#include "discovery/xml_path.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "search/camera_search.h"
#include "search/device_sessions.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Args {
    int cameras = 100;
    int runs = 5;
    std::string user = "Admin";
    std::string password = "tovik";
    std::string cli;
    std::int64_t listen_ms = 3000;
    std::int64_t limit_ms = 60000;
};

// Only inside a namespace of the test harness: the search multicasts and
// broadcasts out of every card.
bool in_private_namespace() {
    const char* inside = std::getenv("TERVANE_IN_NETNS");
    const char* guard = std::getenv(kNetnsGuardVariable);
    in_addr lan{};
    inet_pton(AF_INET, "10.77.0.1", &lan);
    return inside != nullptr && std::string(inside) == "1" && guard != nullptr && guard[0] != '\0' &&
           !netns_guard_refuses(lan);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

// One search of one kind: ms from Start until `cameras` of that kind are
// listed (ONVIF ones with their identity known), or -1 past the limit.
double one_search(const Args& args, SearchProtocols kind) {
    CameraSearchOptions options;
    options.protocols = kind;
    options.native.send_log = options.native.recv_log = "";
    options.identity = onvif_sessions({args.user, args.password}, "");
    std::atomic<int> listed{0};
    CCameraSearch search(nullptr, options);
    search.SetCallback([&](const FoundCamera& camera, bool) {
        if (camera.protocol == DeviceProtocol::native || camera.identity == IdentityState::known) listed.fetch_add(1);
    });
    const Clock::time_point start = Clock::now();
    search.Start();
    while (listed.load() < args.cameras && Clock::now() - start < std::chrono::milliseconds(args.limit_ms))
        rt_sleep_ms(1);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    search.Stop();
    return listed.load() >= args.cameras ? ms : -1;
}

void measure_search(const Args& args, SearchProtocols kind, const char* name) {
    std::vector<double> times;
    for (int run = 0; run < args.runs; ++run) {
        double ms = one_search(args, kind);
        if (ms < 0) {
            std::printf("  %-6s run %d: not every camera listed within %lld ms\n", name, run + 1,
                        static_cast<long long>(args.limit_ms));
            continue;
        }
        times.push_back(ms);
    }
    if (times.empty()) return;
    std::printf("  %-6s %d cameras listed%s: median %.0f ms, min %.0f, max %.0f (%zu runs)\n", name, args.cameras,
                kind == SearchProtocols::onvif ? " with identity" : "", median(times),
                *std::min_element(times.begin(), times.end()), *std::max_element(times.begin(), times.end()),
                times.size());
}

struct CliRun {
    double wall_ms = 0;
    long max_rss_kib = 0;
    int listed = 0;  // cameras of the kind, with MAC and version
};

// tervane-cli discover for one kind, its output read from a pipe.
bool run_cli(const Args& args, const char* kind, CliRun* out) {
    std::vector<std::string> argv_text{args.cli, "discover", "--protocol", kind, "--user", args.user, "--password",
                                       args.password, "--json", "--listen", std::to_string(args.listen_ms)};
    std::vector<char*> argv;
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
    pid_t pid = 0;
    const Clock::time_point start = Clock::now();
    int spawned = posix_spawn(&pid, args.cli.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    if (spawned != 0) {
        close(pipe_fds[0]);
        return false;
    }
    std::string output;
    char chunk[65536];
    for (ssize_t n; (n = read(pipe_fds[0], chunk, sizeof chunk)) > 0;) output.append(chunk, static_cast<std::size_t>(n));
    close(pipe_fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    out->wall_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    out->max_rss_kib = usage.ru_maxrss;
    nlohmann::json list = nlohmann::json::parse(output, nullptr, false);
    if (!list.is_array()) return false;
    for (const nlohmann::json& camera : list)
        if (camera.value("protocol", "") == kind && !camera.value("mac_address", "").empty() &&
            !camera.value("software_ver", "").empty())
            out->listed++;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void measure_cli(const Args& args, const char* kind) {
    std::vector<double> walls;
    std::vector<double> rss;
    int listed = INT_MAX;
    for (int run = 0; run < args.runs; ++run) {
        CliRun one;
        if (!run_cli(args, kind, &one)) {
            std::printf("  %-6s run %d: tervane-cli failed\n", kind, run + 1);
            continue;
        }
        walls.push_back(one.wall_ms);
        rss.push_back(static_cast<double>(one.max_rss_kib) / 1024.0);
        listed = std::min(listed, one.listed);
    }
    if (walls.empty()) return;
    std::printf("  %-6s listed %d of %d with MAC and version; wall %.0f ms (listening %lld ms, settling %.0f ms); "
                "peak RSS %.1f MiB (median of %zu runs)\n",
                kind, listed, args.cameras, median(walls), static_cast<long long>(args.listen_ms),
                median(walls) - static_cast<double>(args.listen_ms), median(rss), walls.size());
}

}  // namespace

int main(int argc, char** argv) {
    Args args;
    args.cli = (std::filesystem::path(argv[0]).parent_path() / "tervane-cli").string();
    CLI::App app{"Time to list simulated ONVIF cameras with identity beside native ones, and tervane-cli's RSS"};
    app.add_option("--cameras", args.cameras, "cameras of each kind on the LAN")->capture_default_str()->check(CLI::Range(1, 4000));
    app.add_option("--runs", args.runs, "runs of each measurement")->capture_default_str()->check(CLI::Range(1, 100));
    app.add_option("--user", args.user, "login of the ONVIF cameras")->capture_default_str();
    app.add_option("--password", args.password, "its password")->capture_default_str();
    app.add_option("--cli", args.cli, "the tervane-cli to measure")->capture_default_str();
    app.add_option("--listen", args.listen_ms, "tervane-cli's --listen, ms")->capture_default_str()->check(CLI::Range(0, 600000));
    CLI11_PARSE(app, argc, argv);
    if (!in_private_namespace()) {
        std::fprintf(stderr, "camera_search_bench: run it on the test LAN, inside a private network namespace:\n"
                             "  SIM_LAN_ADDRESSES=200 scripts/in-netns.sh scripts/sim-lan.sh --config "
                             "bench/camera_search_lan.json -- %s\n", argv[0]);
        return 2;
    }
    set_trace_sink(trace_null_sink, nullptr);
    xml_set_output(nullptr);
    std::printf("the combined search, from Start until every camera of the kind is listed:\n");
    measure_search(args, SearchProtocols::onvif, "onvif");
    measure_search(args, SearchProtocols::native, "native");
    std::printf("tervane-cli discover --protocol KIND --user --password --json:\n");
    measure_cli(args, "onvif");
    measure_cli(args, "native");
    return 0;
}
