#pragma once

// A scripted ONVIF camera behind onvif::IDevice, for the identity pool and
// the search: each answer, and how long (rt time) each call takes.
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "onvif/onvif_device.h"
#include "runtime/rt_time.h"

struct FakeCamera {
    std::string mac = "02:0a:00:00:00:01";
    std::string firmware = "V5.7.3 build 240101";
    std::string model = "NVT-210";
    std::string address;  // the interface's; "" answers none
    onvif::Status clock = onvif::Status::Ok;
    onvif::Status login = onvif::Status::Ok;  // GetDeviceInformation and GetNetworkInterfaces
    std::int64_t call_ms = 0;                 // each call takes this long, unless aborted
};

// Counts the sessions open at once across every FakeDevice of a test.
struct SessionCount {
    std::atomic<int> open{0};
    std::atomic<int> most{0};
    std::atomic<int> made{0};
};

class FakeDevice : public onvif::IDevice {
public:
    FakeDevice(std::string xaddr, FakeCamera camera, SessionCount* count)
        : m_xaddr(std::move(xaddr)), m_camera(std::move(camera)), m_count(count) {
        int now = ++m_count->open;
        m_count->made++;
        for (int most = m_count->most.load(); now > most && !m_count->most.compare_exchange_weak(most, now);) {}
    }
    ~FakeDevice() override { m_count->open--; }

    const std::string& device_xaddr() const override { return m_xaddr; }
    void set_credentials(const onvif::Credentials&) override {}
    void set_abort_check(std::function<bool()> check) override { m_abort = std::move(check); }

    onvif::Result sync_clock() override { return call(m_camera.clock); }
    onvif::Result get_device_information(onvif::DeviceInformation* out) override {
        onvif::Result r = call(m_camera.login);
        if (r.ok()) {
            out->manufacturer = "Vendor";
            out->model = m_camera.model;
            out->firmware_version = m_camera.firmware;
            out->serial_number = "SN-" + m_camera.mac;
        }
        return r;
    }
    onvif::Result get_network_interfaces(std::vector<onvif::NetworkInterface>* out) override {
        onvif::Result r = call(m_camera.login);
        if (r.ok()) {
            out->push_back({"wlan0", false, "02:ff:00:00:00:09", false, "", 0});
            out->push_back({"eth0", true, m_camera.mac, true, m_camera.address, 24});
        }
        return r;
    }

    onvif::Result get_system_date_and_time(onvif::SystemDateTime*) override { return unused(); }
    onvif::Result get_services(onvif::Services*) override { return unused(); }
    onvif::Result set_ipv4(const std::string&, bool, const std::string&, int, bool*) override { return unused(); }
    onvif::Result set_default_gateway(const std::string&) override { return unused(); }
    onvif::Result set_system_date_and_time(onvif::DateTimeType, bool, const std::string&,
                                           std::optional<std::int64_t>) override {
        return unused();
    }
    onvif::Result set_ntp(const std::string&) override { return unused(); }
    onvif::Result get_users(std::vector<onvif::User>*) override { return unused(); }
    onvif::Result set_user(const onvif::User&, const std::string&) override { return unused(); }
    onvif::Result set_system_factory_default_soft() override { return unused(); }
    onvif::Result start_firmware_upgrade(onvif::FirmwareUpgradeTicket*) override { return unused(); }
    onvif::Result upload_firmware(const onvif::FirmwareUpgradeTicket&, const std::string&,
                                  const onvif::UploadProgress&) override {
        return unused();
    }

private:
    static onvif::Result unused() { return {onvif::Status::NotSupported, "not in this fake"}; }

    // Waits the call's time in slices, as the real session polls its abort check.
    onvif::Result call(onvif::Status status) {
        const std::int64_t until = rt_clock_ms() + m_camera.call_ms;
        while (rt_clock_ms() < until) {
            if (m_abort && m_abort()) return {onvif::Status::Aborted, "aborted"};
            rt_sleep_ms(5);
        }
        if (m_abort && m_abort()) return {onvif::Status::Aborted, "aborted"};
        if (status == onvif::Status::AuthRefused) return {status, "HTTP 401"};
        if (status == onvif::Status::Unreachable) return {status, "Connection refused"};
        if (status != onvif::Status::Ok) return {status, "ter:ActionNotSupported"};
        return {};
    }

    std::string m_xaddr;
    FakeCamera m_camera;
    SessionCount* m_count;
    std::function<bool()> m_abort;
};

// A factory over a table of cameras by XAddr (anything else: the default camera).
class FakeCameras {
public:
    void set(const std::string& xaddr, FakeCamera camera) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_cameras.emplace_back(xaddr, std::move(camera));
    }
    std::unique_ptr<onvif::IDevice> open(const std::string& xaddr) {
        FakeCamera camera;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            for (const auto& [at, c] : m_cameras)
                if (at == xaddr) camera = c;
        }
        return std::make_unique<FakeDevice>(xaddr, camera, &count);
    }
    SessionCount count;

private:
    std::mutex m_lock;
    std::vector<std::pair<std::string, FakeCamera>> m_cameras;
};
