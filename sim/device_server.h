#pragma once

// The device side of one simulated camera on the network: listens on the
// camera's own address, on its command port and (when set) the bench port,
// serves each connection with a
// DeviceSession on a thread of its own, and plays the reboot after a
// firmware upgrade (every connection dropped, silent for the reboot time,
// back with the new version).

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/device_faults.h"
#include "sim/device_state.h"
#include "sim/sim_camera.h"

class DeviceServer {
public:
    DeviceServer(std::shared_ptr<SimCamera> camera, const DeviceSideOptions& options);
    ~DeviceServer();
    DeviceServer(const DeviceServer&) = delete;
    DeviceServer& operator=(const DeviceServer&) = delete;

    // Binds the camera's address and starts serving. Returns "" or an error text.
    std::string start();
    void stop();
    DeviceState& state() { return m_state; }
    // Cuts every connection at once, as a crash or a pulled cable would.
    void kill_connections();

private:
    struct Connection {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    // The ports the camera serves on its address: the command port first.
    std::vector<std::uint16_t> ports() const;
    // Returns "" or an error text.
    std::string bind_listeners();
    void close_listeners();
    void accept_loop();
    void wait_and_accept();
    void accept_one(int listen_fd);
    void serve(Connection& connection);
    void reap(bool all);
    void reboot();

    std::shared_ptr<SimCamera> m_camera;
    DeviceState m_state;
    std::int64_t m_reboot_ms;
    std::uint16_t m_bench_port;
    std::vector<int> m_listen_fds;  // empty while not listening
    std::string m_bound_ip;
    std::uint16_t m_bound_port = 0;  // the command port listened on
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_reboot_requested{false};
    std::thread m_acceptor;
    std::mutex m_lock;  // guards m_connections
    std::list<std::unique_ptr<Connection>> m_connections;
};
