// Firmware transfer throughput: N parallel upgrades of one file to N
// simulated cameras (a child ipcsim on loopback), next to a plain TCP copy of
// the same bytes to a plain sink process in the same run. Prints both rates,
// their ratio and the growth of this process' peak RSS during the upgrades.

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "client/firmware_format.h"
#include "client/kaltro_client.h"
#include "client/socket_io.h"
#include "runtime/lang.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Peak resident set of this process in KiB; reset_peak_rss starts a new peak.
long peak_rss_kib() {
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> value;
            return value;
        }
        status.ignore(256, '\n');
    }
    return -1;
}

void reset_peak_rss() { std::ofstream("/proc/self/clear_refs") << "5"; }

// A child process that takes connections on ip:port, reads each until the
// sender closes its side, and answers one byte: the plain copy's receiver.
pid_t start_sink(const std::string& ip, std::uint16_t port) {
    int listener = kaltro::listen_tcp(ip, port);
    if (listener < 0) return -1;
    pid_t pid = fork();
    if (pid != 0) {
        close(listener);
        return pid;
    }
    for (;;) {
        if (kaltro::wait_readable(listener, 1000) <= 0) continue;
        int fd = accept(listener, nullptr, nullptr);
        if (fd < 0) continue;
        std::thread([fd] {
            std::vector<char> buffer(1 << 16);
            while (read(fd, buffer.data(), buffer.size()) > 0) {
            }
            char done = 1;
            (void)!write(fd, &done, 1);
            close(fd);
        }).detach();
    }
}

// Each of `count` threads copies the file's bytes to the sink in pieces of
// the transfer size and waits for the sink's answer. Returns MiB/s.
double plain_copy(const std::string& path, const std::string& ip, std::uint16_t port, int count,
                  std::uint64_t bytes) {
    auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back([&] {
            int fd = kaltro::connect_tcp(ip, port, 10000);
            FILE* file = std::fopen(path.c_str(), "rb");
            std::vector<char> piece(64 * 1024);
            std::size_t n = 0;
            while (fd >= 0 && file && (n = std::fread(piece.data(), 1, piece.size(), file)) > 0)
                if (!kaltro::send_all(fd, piece.data(), n, rt_clock_ms() + 60000)) break;
            if (file) std::fclose(file);
            if (fd < 0) return;
            shutdown(fd, SHUT_WR);
            char done = 0;
            kaltro::wait_readable(fd, 60000);
            (void)!read(fd, &done, 1);
            close(fd);
        });
    for (auto& t : threads) t.join();
    return static_cast<double>(bytes) * count / (1 << 20) / seconds_since(start);
}

// Upgrades every login at once, polling like the batch worker. Returns MiB/s.
double upgrades(const std::vector<int32_t>& logins, const std::string& path, std::uint64_t bytes,
                std::atomic<int>& failed) {
    auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int32_t handle : logins)
        threads.emplace_back([&, handle] {
            int32_t transfer = -1, progress = 0;
            if (Network_ClientStartUpgrade(&transfer, handle, path.c_str()) != NETWORK_OK) {
                failed++;
                return;
            }
            while (Network_ClientGetUpgradeStatus(transfer, &progress) == NETWORK_OK && progress != 100)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (progress != 100) failed++;
            Network_ClientStopUpgrade(transfer);
        });
    for (auto& t : threads) t.join();
    return static_cast<double>(bytes) * logins.size() / (1 << 20) / seconds_since(start);
}

pid_t start_ipcsim(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

void stop_child(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"firmware transfer benchmark: parallel upgrades against a plain TCP copy"};
    int cameras = 100;
    std::uint64_t size = 8u << 20;
    std::string base_ip = "127.0.80.10";
    app.add_option("--cameras", cameras, "simulated cameras, one transfer each")->capture_default_str();
    app.add_option("--size", size, "firmware image bytes")->capture_default_str();
    app.add_option("--base-ip", base_ip, "address of the first camera (loopback)")->capture_default_str();
    CLI11_PARSE(app, argc, argv);
    set_trace_sink(&trace_null_sink, nullptr);

    const std::string sink_ip = "127.0.81.1";
    const std::uint16_t sink_port = 18801, cmd_port = 18800;
    pid_t sink = start_sink(sink_ip, sink_port);  // before any thread exists
    pid_t sim = start_ipcsim({exe_dir() + "/ipcsim", "-n", std::to_string(cameras), "--base-ip", base_ip,
                              "--cmd-port", std::to_string(cmd_port), "--fw-version", "1.0.0", "--board-type", "32",
                              "--discovery-address", "127.0.0.1", "--discovery-port", "23998", "--reboot-ms",
                              "600000"});
    std::string path = "/tmp/upgrade_bench_" + std::to_string(getpid()) + ".update";
    kaltro::FirmwareHeader header;
    kaltro::parse_version("1.0.1", header.version);
    header.board_type = 32;
    header.image_size = size;
    if (sink < 0 || sim < 0 || !kaltro::write_firmware_file(path, header, 5)) {
        std::fprintf(stderr, "upgrade_transfer_bench: set-up failed\n");
        stop_child(sink);
        stop_child(sim);
        return 1;
    }
    std::uint64_t file_bytes = size + kaltro::kFirmwareHeaderSize;

    double plain = plain_copy(path, sink_ip, sink_port, cameras, file_bytes);

    Network_ClientInit();
    std::vector<int32_t> logins;
    for (int i = 0; i < cameras; ++i) {
        std::string ip = base_ip.substr(0, base_ip.rfind('.') + 1) +
                         std::to_string(std::stoi(base_ip.substr(base_ip.rfind('.') + 1)) + i);
        int32_t handle = -1;
        for (int attempt = 0; attempt < 50 && handle == -1; ++attempt) {
            if (Network_ClientLogin(&handle, ip.c_str(), cmd_port, "Admin", "tovik") != NETWORK_OK)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (handle != -1) logins.push_back(handle);
    }
    reset_peak_rss();
    long rss_before = peak_rss_kib();
    std::atomic<int> failed{0};
    double rate = upgrades(logins, path, file_bytes, failed);
    long rss_after = peak_rss_kib();
    for (int32_t handle : logins) Network_ClientLogout(handle);
    Network_ClientUnInit();
    stop_child(sim);
    stop_child(sink);
    std::remove(path.c_str());

    std::printf("transfers               %zu of %d cameras, %d failed\n", logins.size(), cameras, failed.load());
    std::printf("file size               %.1f MiB\n", static_cast<double>(file_bytes) / (1 << 20));
    std::printf("upgrade throughput      %.1f MiB/s (aggregate)\n", rate);
    std::printf("plain TCP copy          %.1f MiB/s (aggregate)\n", plain);
    std::printf("ratio                   %.2f\n", rate / plain);
    std::printf("peak RSS growth         %.1f MiB (peak %.1f MiB)\n", (rss_after - rss_before) / 1024.0,
                rss_after / 1024.0);
    return failed.load() == 0 && static_cast<int>(logins.size()) == cameras ? 0 : 1;
}
