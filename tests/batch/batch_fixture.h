#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "batch/batch_job.h"
#include "client/firmware_format.h"
#include "fake_device_client.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

// A device table, scripted devices and a job engine over them, with time
// running 1000 times faster.
class BatchFixture : public ::testing::Test {
protected:
    BatchFixture() : table([](const std::string& key) { return key; }), client(&table), job(table, client, discovery) {
        job.set_shell_runner([this](const std::string& line) {
            std::lock_guard<std::mutex> guard(shell_lock);
            shell_lines.push_back(line);
            return 0;
        });
    }

    void SetUp() override {
        rt_set_time_speed(1000);
        set_trace_sink(&trace_null_sink, nullptr);
    }
    void TearDown() override {
        job.stop_job();
        set_trace_sink(nullptr, nullptr);
        rt_set_time_speed(1);
        for (const std::string& path : files) std::filesystem::remove(path);
    }

    // Lists a device (checked) and scripts it; returns its row.
    int add_device(const std::string& ip, FakeDevice device = {}, std::int32_t type = 5,
                   const std::string& version = "1.0.0") {
        int row = table.row_count();
        ListedDevice listed{"mac-" + ip, ip, 8000, version, 0x10, type};
        table.update_dev_find_list(listed, true);
        table.set_checked(row, true);
        discovery.list(listed.mac, ip);
        client.add(ip, std::move(device));
        return row;
    }

    std::string temp_file(const std::string& name, const std::vector<unsigned char>& bytes) {
        std::string path = (std::filesystem::temp_directory_path() /
                            (std::to_string(::getpid()) + "_" + name)).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        files.push_back(path);
        return path;
    }

    // A firmware file in the native format whose header carries version a.b.c.
    std::string firmware(int a, int b, int c) {
        std::string path = temp_file("fw.update", {});
        kaltro::FirmwareHeader header;
        header.version[0] = a;
        header.version[1] = b;
        header.version[2] = c;
        header.image_size = 512;
        EXPECT_TRUE(kaltro::write_firmware_file(path, header, 1));
        return path;
    }

    int start(const std::string& path = "", const std::string& range_start = "",
              const std::string& range_end = "") {
        return job.start_upgrade(params, path, range_start, range_end);
    }

    // Waits (with a generous real-time deadline) until the job has ended, then
    // collects every report.
    void wait_finished() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (job.running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_FALSE(job.running()) << "job did not end";
        collect();
    }

    // Once `count` calls hang on silent devices, stops the job and collects
    // every report.
    void stop_when_hanging(int count) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (client.hanging_calls() < count && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(client.hanging_calls(), count);
        job.stop_job();
        collect();
    }

    void collect() {
        for (const JobReport& report : job.reports().drain()) reports.push_back(report);
    }

    std::vector<int> statuses(int row) const {
        std::vector<int> codes;
        for (const JobReport& r : reports)
            if (r.kind == REPORT_STATUS && report_high(r.data) == row) codes.push_back(report_low(r.data));
        return codes;
    }

    int count_kind(int kind, int row = -1) const {
        int n = 0;
        for (const JobReport& r : reports)
            if (r.kind == kind && (row < 0 || static_cast<int>(r.data) == row)) ++n;
        return n;
    }

    static bool contains(const std::vector<int>& codes, int code) {
        return std::find(codes.begin(), codes.end(), code) != codes.end();
    }

    CDeviceTable table;
    FakeDeviceClient client;
    FakeDiscovery discovery;
    CBatchJob job;
    JobParams params;
    std::vector<JobReport> reports;
    std::mutex shell_lock;
    std::vector<std::string> shell_lines;
    std::vector<std::string> files;
};
