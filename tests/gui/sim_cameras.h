#pragma once

// Support for the batch dialog's tests and screenshots: waiting on the GUI
// thread, a firmware file, a network on which nothing answers, and simulated
// cameras on loopback addresses.

#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "batch/dialog/tervane_dlg.h"
#include "client/firmware_format.h"
#include "sim/device_side.h"
#include "sim/discovery_responder.h"
#include "sim/onvif/onvif_side.h"

// Pumps the GUI thread's events until `done` holds or `real_ms` passed.
inline bool pump_until(const std::function<bool()>& done, int real_ms = 30000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(real_ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A firmware file of version 1.0.1 for the simulated cameras' board.
inline bool write_sim_firmware(const std::string& path, std::uint64_t image_size) {
    kaltro::FirmwareHeader header;
    header.board_type = 0x20;
    header.image_size = image_size;
    kaltro::parse_version("1.0.1", header.version);
    header.board_name = "SIMBOARD";
    return kaltro::write_firmware_file(path, header, 7);
}

// A network on which nothing answers: sockets that send into the void and
// receive only their own shutdown.
class SilentNetwork : public IUdpTransport {
public:
    std::unique_ptr<IUdpSocket> open_udp() override { return std::make_unique<Socket>(); }
    int list_ipv4_addresses(std::vector<std::string>* addresses) override {
        addresses->push_back("127.0.0.2");
        return 0;
    }

private:
    class Socket : public IUdpSocket {
    public:
        int set_reuse_address() override { return 0; }
        int set_receive_buffer(int) override { return 0; }
        int set_broadcast() override { return 0; }
        int bind(const char*, std::uint16_t) override { return 0; }
        long send_to(const void*, std::size_t length, const char*, std::uint16_t) override {
            return static_cast<long>(length);
        }
        long receive(void*, std::size_t, char*) override {
            std::unique_lock<std::mutex> lock(m_lock);
            m_shut.wait(lock, [this] { return m_down; });
            return 0;
        }
        int stop_arrivals() override { return 0; }
        void shutdown() override {
            std::lock_guard<std::mutex> guard(m_lock);
            m_down = true;
            m_shut.notify_all();
        }
        int last_error() const override { return 0; }

    private:
        std::mutex m_lock;
        std::condition_variable m_shut;
        bool m_down = false;
    };
};

// The discovery ports of the simulated cameras: the tool's side and theirs.
constexpr std::uint16_t kSimLocalPort = 22170;
constexpr std::uint16_t kSimDiscoveryPort = 23170;

// The dialog's options for searching simulated cameras whose discovery
// responder listens on the loopback address `responder`; the dialog's host
// address is 127.0.0.2, which `host_transport` must be bound to.
inline BatchDialogOptions loopback_dialog_options(const std::string& responder, IUdpTransport& host_transport) {
    BatchDialogOptions options;
    options.discovery.endpoints.broadcast_address = responder;
    options.discovery.endpoints.local_port = kSimLocalPort;
    options.discovery.endpoints.device_port = kSimDiscoveryPort;
    options.discovery.send_log.clear();
    options.discovery.recv_log.clear();
    options.transport = &host_transport;
    options.host_addresses = [] { return std::vector<std::string>{"127.0.0.2"}; };
    options.shell_runner = [](const std::string&) { return 0; };
    return options;
}

// The device service's port of the simulated ONVIF cameras.
constexpr std::uint16_t kSimOnvifHttpPort = 18780;

// Cameras of ipcsim served in this process: discovery responder and device
// side on loopback addresses derived from the process id, so parallel test
// processes do not meet (their discovery ports are locked per test). With
// `onvif_count`, ONVIF cameras too, from the address .60 of the same net
// (the WS-Discovery responder on a free port, answering at once).
class SimCameras {
public:
    explicit SimCameras(int count, std::int64_t reboot_ms = 3000, int onvif_count = 0) {
        const int pid = static_cast<int>(getpid());
        m_net = "127." + std::to_string(100 + pid % 100) + "." + std::to_string(pid / 100 % 250);
        SimOptions options;
        options.count = count;
        options.base_ip = m_net + ".10";
        options.cmd_port = 18700;
        options.version = "1.0.0";
        options.device_type = 5;
        options.discovery_address = responder_address();
        options.discovery_port = kSimDiscoveryPort;
        options.onvif_count = onvif_count;
        options.onvif_base_ip = onvif_ip(1);
        options.http_port = kSimOnvifHttpPort;
        m_sim = std::make_unique<Simulator>(options);
        DeviceSideOptions device_options;
        device_options.reboot_ms = reboot_ms;
        m_devices = std::make_unique<DeviceSide>(*m_sim, device_options);
        m_responder = std::make_unique<DiscoveryResponder>(*m_sim, &m_transport);
        OnvifSideOptions onvif_options;
        onvif_options.wsd_port = 0;
        onvif_options.wsd_max_delay_ms = 0;
        onvif_options.down_ms = reboot_ms;
        m_onvif = std::make_unique<OnvifSide>(*m_sim, onvif_options);
    }
    ~SimCameras() {
        m_onvif->stop();
        m_responder->stop();
        m_devices->stop();
    }

    std::string start() {
        std::string error = m_devices->start();
        if (error.empty()) error = m_responder->start();
        if (error.empty() && !m_onvif->empty()) error = m_onvif->start();
        return error;
    }
    // The address of ONVIF camera k (1-based).
    std::string onvif_ip(int k) const { return m_net + "." + std::to_string(59 + k); }
    OnvifSide& onvif() { return *m_onvif; }
    std::string responder_address() const { return m_net + ".1"; }
    DeviceSide& devices() { return *m_devices; }
    Simulator& simulator() { return *m_sim; }

    // The dialog's options for searching these cameras.
    // The WS-Discovery Probe stands for the multicast one by going to the
    // first ONVIF camera alone: the others answer only when asked at their
    // addresses.
    BatchDialogOptions dialog_options() {
        BatchDialogOptions options = loopback_dialog_options(responder_address(), m_host_transport);
        options.onvif.multicast_address = onvif_ip(1);
        if (!m_onvif->empty()) options.onvif.port = m_onvif->wsd_port();
        return options;
    }

private:
    std::string m_net;
    PosixUdpTransport m_transport;
    PosixUdpTransport m_host_transport{{"127.0.0.2"}};
    std::unique_ptr<Simulator> m_sim;
    std::unique_ptr<DeviceSide> m_devices;
    std::unique_ptr<DiscoveryResponder> m_responder;
    std::unique_ptr<OnvifSide> m_onvif;
};

