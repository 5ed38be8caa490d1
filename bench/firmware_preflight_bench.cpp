// The firmware check a job makes before sending anything, against
// `sha256sum` of the same file: median of five runs each, with the file in
// the page cache (one untimed run of each first).
//
//   firmware_preflight_bench [--sizes 8M,512M] [--runs 5] [--dir /tmp]
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "batch/firmware_preflight.h"
#include "client/firmware_format.h"

namespace {

double seconds_of(const std::function<void()>& run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double median_seconds(int runs, const std::function<void()>& run) {
    run();  // warms the page cache
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) times.push_back(seconds_of(run));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

std::uint64_t parse_size(const std::string& text) {
    char* end = nullptr;
    std::uint64_t value = std::strtoull(text.c_str(), &end, 10);
    switch (*end) {
        case 'k': case 'K': return value << 10;
        case 'm': case 'M': return value << 20;
        case 'g': case 'G': return value << 30;
        default: return value;
    }
}

void bench_size(const std::string& dir, const std::string& size_text, int runs) {
    const std::string path = dir + "/preflight_bench_" + std::to_string(::getpid()) + ".update";
    kaltro::FirmwareHeader header;
    header.board_type = 0x20;
    header.image_size = parse_size(size_text) - kaltro::kFirmwareHeaderSize;
    kaltro::parse_version("2.0.0", header.version);
    if (!kaltro::write_firmware_file(path, header, 11)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return;
    }
    bool sound = true;
    const double check = median_seconds(runs, [&] { sound = preflight_firmware_file(path).ok(); });
    const std::string command = "sha256sum '" + path + "' >/dev/null";
    const double sum = median_seconds(runs, [&] {
        if (std::system(command.c_str()) != 0) std::fprintf(stderr, "sha256sum failed\n");
    });
    std::printf("%-6s  pre-flight %8.1f ms (%s)  sha256sum %8.1f ms  ratio %.2f\n", size_text.c_str(),
                check * 1000, sound ? "sound" : "REFUSED", sum * 1000, check / sum);
    std::filesystem::remove(path);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Firmware pre-flight check against sha256sum"};
    std::vector<std::string> sizes{"8M", "512M"};
    int runs = 5;
    std::string dir = std::filesystem::temp_directory_path().string();
    app.add_option("--sizes", sizes, "File sizes (k, M, G suffixes)")->delimiter(',');
    app.add_option("--runs", runs, "Timed runs per figure (the median is shown)");
    app.add_option("--dir", dir, "Where the files are written");
    CLI11_PARSE(app, argc, argv);
    std::printf("median of %d runs, file in the page cache\n", runs);
    for (const std::string& size : sizes) bench_size(dir, size, runs);
    return 0;
}
