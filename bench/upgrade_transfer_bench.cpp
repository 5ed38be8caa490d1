// Firmware transfer cost: N parallel upgrades of one file to N simulated
// cameras (a child ipcsim on loopback) against plain TCP copies of the same
// bytes to a sink process in the same run, which hashes what it receives as
// a camera hashes the image. Per run it measures the aggregate rate and the
// CPU time per GiB of each side: the client library's against the plain
// sender's (read and send in pieces of the protocol's size, sendfile in the
// protocol's frames, sendfile of the whole file), and the simulator's
// against the hashing sink's. Prints
// the medians of --runs runs, with the lowest and highest value, since the
// machine's other work moves single runs; CPU time is far steadier than the
// rate. Loopback only: run it inside scripts/in-netns.sh.

#include <fcntl.h>
#include <openssl/evp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "client/firmware_format.h"
#include "client/kaltro_client.h"
#include "client/protocol.h"
#include "client/socket_io.h"
#include "runtime/lang.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "tests/client/ipcsim_child.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double own_cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// User and system time of another process, all its threads (clock ticks).
double cpu_seconds_of(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::size_t after_name = text.rfind(')');
    if (after_name == std::string::npos) return 0;
    std::istringstream fields(text.substr(after_name + 2));
    std::string field;
    double user = 0, system = 0;
    for (int i = 3; fields >> field; ++i) {  // field 3 is the state
        if (i == 14) user = std::stod(field);
        if (i == 15) {
            system = std::stod(field);
            break;
        }
    }
    return (user + system) / static_cast<double>(sysconf(_SC_CLK_TCK));
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

// Reads one connection to its end, hashing every byte, and answers one byte.
void sink_connection(int fd) {
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> hash(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    EVP_DigestInit_ex(hash.get(), EVP_sha256(), nullptr);
    std::vector<unsigned char> buffer(256 * 1024);  // as the simulator reads
    ssize_t n;
    while ((n = read(fd, buffer.data(), buffer.size())) > 0) EVP_DigestUpdate(hash.get(), buffer.data(), n);
    unsigned char sum[EVP_MAX_MD_SIZE];
    EVP_DigestFinal_ex(hash.get(), sum, nullptr);
    char done = 1;
    (void)!write(fd, &done, 1);
    close(fd);
}

// A child process that takes connections on ip:port: the plain copies'
// receiver. Forked before this process has any thread.
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
        if (fd >= 0) std::thread(sink_connection, fd).detach();
    }
}

enum class PlainWay { send_pieces, sendfile_framed, sendfile_whole };

// The file's bytes to an open connection: read and send in pieces of the
// protocol's size; sendfile in pieces of that size, each after a frame's
// head, as the protocol needs them (the least a transfer can cost); or one
// sendfile of the whole file.
bool copy_file(int file, int fd, std::uint64_t bytes, PlainWay way) {
    const std::int64_t deadline = rt_clock_ms() + 600000;
    if (way == PlainWay::send_pieces) {
        std::vector<char> piece(kaltro::kUpgradeChunk);
        ssize_t n;
        while ((n = read(file, piece.data(), piece.size())) > 0)
            if (!kaltro::send_all(fd, piece.data(), static_cast<std::size_t>(n), deadline)) return false;
        return n == 0;
    }
    if (way == PlainWay::sendfile_framed) {
        const std::uint8_t head[kaltro::kHeaderSize + 8] = {};
        for (std::uint64_t at = 0; at < bytes; at += kaltro::kUpgradeChunk) {
            std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(kaltro::kUpgradeChunk, bytes - at));
            if (kaltro::send_file_all(fd, head, sizeof head, file, at, n, deadline) != kaltro::FileSend::sent)
                return false;
        }
        return true;
    }
    off_t offset = 0;
    while (static_cast<std::uint64_t>(offset) < bytes) {
        ssize_t n = sendfile(fd, file, &offset, bytes - static_cast<std::uint64_t>(offset));
        if (n > 0) continue;
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd, POLLOUT, 0};
            poll(&p, 1, 1000);
            continue;
        }
        return false;
    }
    return true;
}

// What one side of a phase cost.
struct Phase {
    double seconds = 0;
    double sender_cpu = 0;    // this process
    double receiver_cpu = 0;  // the sink or the simulator
};

// Each of `count` threads copies the file to the sink and waits for its answer.
Phase plain_copies(const std::string& path, const std::string& ip, std::uint16_t port, int count,
                   std::uint64_t bytes, PlainWay way, pid_t sink) {
    Phase phase;
    const double own_before = own_cpu_seconds(), sink_before = cpu_seconds_of(sink);
    auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back([&] {
            int fd = kaltro::connect_tcp(ip, port, 10000);
            int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
            bool copied = fd >= 0 && file >= 0 && copy_file(file, fd, bytes, way);
            if (file >= 0) close(file);
            if (fd < 0) return;
            shutdown(fd, SHUT_WR);
            char done = 0;
            if (copied && kaltro::wait_readable(fd, 60000) == 1) (void)!read(fd, &done, 1);
            close(fd);
        });
    for (auto& t : threads) t.join();
    phase.seconds = seconds_since(start);
    phase.sender_cpu = own_cpu_seconds() - own_before;
    phase.receiver_cpu = cpu_seconds_of(sink) - sink_before;
    return phase;
}

// Upgrades every login at once, polling every 200 ms like the batch worker;
// once the device holds nearly all of the image, every 5 ms, so the rate is
// not rounded up to the poll.
Phase upgrades(const std::vector<int32_t>& logins, const std::string& path, pid_t sim,
               std::atomic<int>& failed) {
    Phase phase;
    const double own_before = own_cpu_seconds(), sim_before = cpu_seconds_of(sim);
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
                std::this_thread::sleep_for(std::chrono::milliseconds(progress >= 99 ? 5 : 200));
            if (progress != 100) failed++;
            Network_ClientStopUpgrade(transfer);
        });
    for (auto& t : threads) t.join();
    phase.seconds = seconds_since(start);
    phase.sender_cpu = own_cpu_seconds() - own_before;
    phase.receiver_cpu = cpu_seconds_of(sim) - sim_before;
    return phase;
}

std::string camera_ip(const std::string& base_ip, int index) {
    std::size_t dot = base_ip.rfind('.');
    return base_ip.substr(0, dot + 1) + std::to_string(std::stoi(base_ip.substr(dot + 1)) + index);
}

std::vector<int32_t> log_in_all(const std::string& base_ip, int cameras, std::uint16_t cmd_port) {
    std::vector<int32_t> logins;
    for (int i = 0; i < cameras; ++i) {
        int32_t handle = -1;
        for (int attempt = 0; attempt < 50 && handle == -1; ++attempt)
            if (Network_ClientLogin(&handle, camera_ip(base_ip, i).c_str(), cmd_port, "Admin", "tovik") !=
                NETWORK_OK)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (handle != -1) logins.push_back(handle);
    }
    return logins;
}

// The figures of one run.
struct Run {
    double upgrade_rate = 0, plain_rate = 0;                // MiB/s, aggregate
    double client_cpu = 0, send_cpu = 0, framed_cpu = 0, sendfile_cpu = 0;  // s per GiB sent
    double sim_cpu = 0, sink_cpu = 0;                       // s per GiB received
    // Both sides together: on loopback part of TCP's work lands on whichever
    // side's call drives it, so the split moves with how each side writes
    // and reads; the sum does not.
    double upgrade_total = 0, send_total = 0, framed_total = 0;  // s per GiB
    double rss_growth_mib = 0;
    int transfers = 0, failed = 0;
};

struct Setup {
    int cameras = 100;
    std::uint64_t size = 8u << 20;
    std::string base_ip = "127.0.80.10";
    std::string path;
    std::uint64_t file_bytes = 0;
    std::string sink_ip = "127.0.81.1";
    std::uint16_t sink_port = 18801, cmd_port = 18800;
    pid_t sink = -1;
};

bool one_run(const Setup& s, Run& run) {
    const double gib = static_cast<double>(s.file_bytes) * s.cameras / (1 << 30);
    auto plain = [&](PlainWay way) {
        return plain_copies(s.path, s.sink_ip, s.sink_port, s.cameras, s.file_bytes, way, s.sink);
    };
    Phase send = plain(PlainWay::send_pieces);
    Phase framed = plain(PlainWay::sendfile_framed);
    Phase whole = plain(PlainWay::sendfile_whole);
    IpcsimChild sim;
    if (!sim.start({exe_dir() + "/ipcsim", "-n", std::to_string(s.cameras), "--base-ip", s.base_ip,
                    "--cmd-port", std::to_string(s.cmd_port), "--fw-version", "1.0.0", "--board-type", "32",
                    "--discovery-address", "127.0.0.1", "--discovery-port", "23998", "--reboot-ms",
                    "600000"}))
        return false;
    std::vector<int32_t> logins = log_in_all(s.base_ip, s.cameras, s.cmd_port);
    reset_peak_rss();
    const long rss_before = peak_rss_kib();
    std::atomic<int> failed{0};
    Phase upgrade = upgrades(logins, s.path, sim.pid(), failed);
    run.rss_growth_mib = (peak_rss_kib() - rss_before) / 1024.0;
    for (int32_t handle : logins) Network_ClientLogout(handle);
    const double mib = static_cast<double>(s.file_bytes) / (1 << 20);
    run.transfers = static_cast<int>(logins.size());
    run.failed = failed.load();
    run.upgrade_rate = mib * static_cast<double>(logins.size()) / upgrade.seconds;
    run.plain_rate = mib * s.cameras / send.seconds;
    const double upgraded_gib =
        static_cast<double>(s.file_bytes) * static_cast<double>(logins.size()) / (1 << 30);
    run.client_cpu = upgrade.sender_cpu / upgraded_gib;
    run.sim_cpu = upgrade.receiver_cpu / upgraded_gib;
    run.send_cpu = send.sender_cpu / gib;
    run.framed_cpu = framed.sender_cpu / gib;
    run.sendfile_cpu = whole.sender_cpu / gib;
    run.sink_cpu = (send.receiver_cpu + framed.receiver_cpu + whole.receiver_cpu) / (3 * gib);
    run.upgrade_total = run.client_cpu + run.sim_cpu;
    run.send_total = (send.sender_cpu + send.receiver_cpu) / gib;
    run.framed_total = (framed.sender_cpu + framed.receiver_cpu) / gib;
    return run.failed == 0 && run.transfers == s.cameras;
}

// Median, lowest and highest of one figure over the runs.
struct Spread {
    double median, low, high;
};
Spread spread(const std::vector<Run>& runs, double Run::*figure) {
    std::vector<double> values;
    for (const Run& run : runs) values.push_back(run.*figure);
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

void print(const char* label, const Spread& s, const char* unit) {
    std::printf("%-34s %8.3f %s  [%.3f .. %.3f]\n", label, s.median, unit, s.low, s.high);
}

// Ratios per run, then their median: each run's two sides met the same load.
Spread ratio_spread(const std::vector<Run>& runs, double Run::*top, double Run::*bottom) {
    std::vector<Run> ratios(runs.size());
    for (std::size_t i = 0; i < runs.size(); ++i) ratios[i].client_cpu = runs[i].*top / runs[i].*bottom;
    return spread(ratios, &Run::client_cpu);
}

void report(const Setup& s, const std::vector<Run>& runs) {
    std::printf(
        "transfers                          %d cameras x %.1f MiB, %zu runs (median [lowest .. highest])\n",
        s.cameras, static_cast<double>(s.file_bytes) / (1 << 20), runs.size());
    print("upgrade throughput", spread(runs, &Run::upgrade_rate), "MiB/s");
    print("plain send throughput", spread(runs, &Run::plain_rate), "MiB/s");
    print("  ratio upgrade / plain send", ratio_spread(runs, &Run::upgrade_rate, &Run::plain_rate), "");
    print("client CPU per GiB sent", spread(runs, &Run::client_cpu), "s");
    print("plain send CPU per GiB", spread(runs, &Run::send_cpu), "s");
    print("plain framed sendfile CPU per GiB", spread(runs, &Run::framed_cpu), "s");
    print("plain sendfile CPU per GiB", spread(runs, &Run::sendfile_cpu), "s");
    print("  ratio client / plain send", ratio_spread(runs, &Run::client_cpu, &Run::send_cpu), "");
    print("  ratio client / plain framed", ratio_spread(runs, &Run::client_cpu, &Run::framed_cpu), "");
    print("  ratio client / plain sendfile", ratio_spread(runs, &Run::client_cpu, &Run::sendfile_cpu), "");
    print("simulator CPU per GiB received", spread(runs, &Run::sim_cpu), "s");
    print("hashing sink CPU per GiB", spread(runs, &Run::sink_cpu), "s");
    print("  ratio simulator / hashing sink", ratio_spread(runs, &Run::sim_cpu, &Run::sink_cpu), "");
    print("both sides, upgrade", spread(runs, &Run::upgrade_total), "s");
    print("both sides, plain send", spread(runs, &Run::send_total), "s");
    print("both sides, plain framed sendfile", spread(runs, &Run::framed_total), "s");
    print("  ratio upgrade / plain framed", ratio_spread(runs, &Run::upgrade_total, &Run::framed_total), "");
    print("peak RSS growth (client)", spread(runs, &Run::rss_growth_mib), "MiB");
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"firmware transfer cost: parallel upgrades against plain TCP copies (loopback)"};
    Setup s;
    int runs = 5;
    app.add_option("--cameras", s.cameras, "simulated cameras, one transfer each")->capture_default_str();
    app.add_option("--size", s.size, "firmware image bytes")->capture_default_str();
    app.add_option("--base-ip", s.base_ip, "address of the first camera (loopback)")->capture_default_str();
    app.add_option("--runs", runs, "runs; the medians are printed")
        ->capture_default_str()
        ->check(CLI::Range(1, 100));
    CLI11_PARSE(app, argc, argv);
    set_trace_sink(&trace_null_sink, nullptr);

    s.sink = start_sink(s.sink_ip, s.sink_port);  // before any thread exists
    s.path = "/tmp/upgrade_bench_" + std::to_string(getpid()) + ".update";
    kaltro::FirmwareHeader header;
    kaltro::parse_version("1.0.1", header.version);
    header.board_type = 32;
    header.image_size = s.size;
    s.file_bytes = s.size + kaltro::kFirmwareHeaderSize;
    bool ok = s.sink > 0 && kaltro::write_firmware_file(s.path, header, 5);
    Network_ClientInit();
    std::vector<Run> done;
    for (int i = 0; ok && i < runs; ++i) {
        Run run;
        ok = one_run(s, run);
        done.push_back(run);
        if (!ok)
            std::fprintf(stderr, "run %d: %d of %d transfers, %d failed\n", i + 1, run.transfers, s.cameras,
                         run.failed);
    }
    Network_ClientUnInit();
    if (s.sink > 0) {
        kill(s.sink, SIGTERM);
        waitpid(s.sink, nullptr, 0);
    }
    std::remove(s.path.c_str());
    if (!ok) {
        std::fprintf(stderr, "upgrade_transfer_bench: a run failed\n");
        return 1;
    }
    report(s, done);
    return 0;
}
