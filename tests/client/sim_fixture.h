#pragma once

// Shared fixture of the client tests: simulated cameras served in this
// process on a loopback address of their own, time sped up, the library
// initialised, and a firmware file on disk.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "client/firmware_format.h"
#include "client/kaltro_client.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "sim/device_side.h"
#include "sim/simulator.h"
#include "tests/runtime/wait_for.h"


// Counts the events a login received.
struct EventLog {
    std::atomic<int> disconnects{0};
    std::atomic<int> others{0};
    std::atomic<std::int32_t> last_handle{-1};

    static int32_t callback(int32_t handle, DEVICE_EVENT* event, void* user) {
        auto* log = static_cast<EventLog*>(user);
        log->last_handle.store(handle);
        (event->main == EVENT_DISCONNECTED ? log->disconnects : log->others)++;
        return 0;
    }
};

class SimFixture : public ::testing::Test {
protected:
    static constexpr std::uint16_t kPort = 6001;
    static constexpr std::int32_t kBoard = 0x20;

    void SetUp() override {
        set_trace_sink(trace_null_sink, nullptr);
        rt_set_time_speed(20);  // fast, yet request limits stay above a loaded sanitizer run's round trips
        Network_ClientInit();
    }

    void TearDown() override {
        Network_ClientUnInit();
        if (m_devices) m_devices->stop();
        for (const std::string& path : m_files) std::remove(path.c_str());
        rt_set_time_speed(1);
    }

    // Starts `count` cameras on a loopback network of this process.
    void start_cameras(int count = 1, const std::function<void(DeviceSideOptions&)>& configure = nullptr) {
        SimOptions options;
        options.count = count;
        int pid = static_cast<int>(getpid());
        options.base_ip = "127." + std::to_string(100 + pid % 100) + "." + std::to_string(pid / 100 % 250) + ".10";
        options.cmd_port = kPort;
        options.version = "1.0.0";
        options.board_type = kBoard;
        options.discovery_port = 0;
        m_device_options.reboot_ms = 2000;
        if (configure) configure(m_device_options);
        m_simulator = std::make_unique<Simulator>(options);
        m_devices = std::make_unique<DeviceSide>(*m_simulator, m_device_options);
        ASSERT_EQ(m_devices->start(), "");
    }

    std::string ip(int index = 0) const { return m_simulator->cameras().at(index)->identity().ip; }
    std::string mac(int index = 0) const { return m_simulator->cameras().at(index)->identity().mac; }
    DeviceServer& server(int index = 0) { return *m_devices->find(mac(index)); }
    nlohmann::json state(int index = 0) { return server(index).state().to_json(); }

    int32_t login(int index = 0, const char* user = "Admin", const char* password = "tovik") {
        int32_t handle = -1;
        int32_t result = Network_ClientLogin(&handle, ip(index).c_str(), kPort, user, password);
        EXPECT_EQ(result, NETWORK_OK);
        EXPECT_NE(handle, -1);
        return handle;
    }

    std::string firmware(const std::string& version, std::uint64_t size = 256 * 1024, std::int32_t board = kBoard) {
        std::string path = "/tmp/tervane_client_test_" + std::to_string(getpid()) + "_" +
                           std::to_string(m_files.size()) + ".update";
        kaltro::FirmwareHeader header;
        kaltro::parse_version(version, header.version);
        header.board_type = board;
        header.image_size = size;
        EXPECT_TRUE(kaltro::write_firmware_file(path, header, 7));
        m_files.push_back(path);
        return path;
    }

    // Polls a transfer as the batch worker does, until 100 or a failure.
    int32_t run_transfer(int32_t transfer, int32_t& progress) {
        int32_t result = NETWORK_OK;
        progress = 0;
        wait_for([&] {
            result = Network_ClientGetUpgradeStatus(transfer, &progress);
            return result != NETWORK_OK || progress == 100;
        });
        return result;
    }

    DeviceSideOptions m_device_options;
    std::unique_ptr<Simulator> m_simulator;
    std::unique_ptr<DeviceSide> m_devices;
    std::vector<std::string> m_files;
};
