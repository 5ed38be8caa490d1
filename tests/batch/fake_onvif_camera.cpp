#include "fake_onvif_camera.h"

#include "onvif/xaddr.h"

namespace {

using onvif::Result;
using onvif::Status;

const char* type_name(onvif::DateTimeType type) { return type == onvif::DateTimeType::NTP ? "NTP" : "Manual"; }

}  // namespace

class FakeOnvifSession final : public onvif::IDevice {
public:
    FakeOnvifSession(FakeOnvifNetwork& network, std::string xaddr, onvif::Credentials login)
        : m_network(network), m_xaddr(std::move(xaddr)), m_login(std::move(login)) {}

    const std::string& device_xaddr() const override { return m_xaddr; }
    void set_credentials(const onvif::Credentials& credentials) override { m_login = credentials; }
    void set_abort_check(std::function<bool()> check) override { m_abort = std::move(check); }

    Result sync_clock() override {
        return call("sync_clock", false, [](FakeOnvifCamera&) { return Result{}; });
    }
    Result get_system_date_and_time(onvif::SystemDateTime* out) override {
        return call("get_system_date_and_time", false, [out](FakeOnvifCamera& c) {
            *out = {c.type, false, c.time_zone, 0};
            return Result{};
        });
    }
    Result get_device_information(onvif::DeviceInformation* out) override {
        return call("get_device_information", true, [out](FakeOnvifCamera& c) {
            *out = {"maker", "model-x", c.version, "SN-" + c.mac, "hw"};
            return Result{};
        });
    }
    Result get_network_interfaces(std::vector<onvif::NetworkInterface>* out) override {
        return call("get_network_interfaces", true, [out](FakeOnvifCamera& c) {
            *out = {{"eth0", true, c.mac, c.dhcp, c.ip, c.prefix_length}};
            return Result{};
        });
    }
    Result get_services(onvif::Services* out) override {
        return call("get_services", true, [this, out](FakeOnvifCamera&) {
            out->device = m_xaddr;
            return Result{};
        });
    }
    Result set_ipv4(const std::string& token, bool dhcp, const std::string& address, int prefix,
                    bool* reboot_needed) override {
        *reboot_needed = false;
        return call("set_ipv4 " + token + (dhcp ? " dhcp" : " " + address + "/" + std::to_string(prefix)), true,
                    [=](FakeOnvifCamera& c) {
                        c.dhcp = dhcp;
                        if (!dhcp) {
                            c.ip = address;
                            c.prefix_length = prefix;
                        }
                        return Result{};
                    });
    }
    Result set_default_gateway(const std::string& ipv4) override {
        return call("set_default_gateway " + ipv4, true, [](FakeOnvifCamera&) { return Result{}; });
    }
    Result set_system_date_and_time(onvif::DateTimeType type, bool, const std::string& zone,
                                    std::optional<std::int64_t> utc) override {
        std::string line = std::string("set_system_date_and_time ") + type_name(type) + " " + zone +
                           (utc ? " utc" : "");
        return call(line, true, [=](FakeOnvifCamera& c) {
            c.type = type;
            c.time_zone = zone;
            return Result{};
        });
    }
    Result set_ntp(const std::string& server) override {
        return call("set_ntp " + server, true, [](FakeOnvifCamera&) { return Result{}; });
    }
    Result get_users(std::vector<onvif::User>* out) override {
        return call("get_users", true, [out](FakeOnvifCamera& c) {
            *out = {{"operator", "Operator"}, {c.user, "Administrator"}};
            return Result{};
        });
    }
    Result set_user(const onvif::User& user, const std::string& password) override {
        return call("set_user " + user.name + " " + user.level, true, [=](FakeOnvifCamera& c) {
            if (user.name == c.user) c.password = password;
            return Result{};
        });
    }
    Result set_system_factory_default_soft() override {
        return call("set_system_factory_default_soft", true, [](FakeOnvifCamera&) { return Result{}; });
    }
    Result start_firmware_upgrade(onvif::FirmwareUpgradeTicket* out) override {
        return call("start_firmware_upgrade", true, [this, out](FakeOnvifCamera& c) {
            if (c.refuse_start) return Result{Status::Fault, "upgrade refused"};
            *out = {onvif::xaddr_with_host("http://x/upload", c.ip), 1000, 5000};
            (void)this;
            return Result{};
        });
    }
    Result upload_firmware(const onvif::FirmwareUpgradeTicket&, const std::string& path,
                           const onvif::UploadProgress&) override {
        return call("upload_firmware", true, [path](FakeOnvifCamera& c) {
            if (c.refuse_upload) return Result{Status::Fault, "image refused"};
            c.uploaded_path = path;
            c.version = c.version_after_flash;
            c.silent = true;
            return Result{};
        });
    }

private:
    template <typename Body>
    Result call(const std::string& request, bool needs_login, Body body) {
        if (m_abort && m_abort()) return {Status::Aborted, "aborted"};
        std::lock_guard<std::mutex> guard(m_network.m_lock);
        FakeOnvifCamera* camera = find();
        if (camera == nullptr) return {Status::Unreachable, "no camera there"};
        if (camera->silent) {
            if (!camera->never_back && camera->silent_calls_after_flash-- <= 0) camera->silent = false;
            return {Status::Unreachable, "silent"};
        }
        camera->requests.push_back(request);
        if (needs_login && (m_login.user != camera->user || m_login.password != camera->password))
            return {Status::AuthRefused, "NotAuthorized"};
        return body(*camera);
    }

    FakeOnvifCamera* find() {
        std::optional<onvif::XAddrParts> parts = onvif::parse_xaddr(m_xaddr);
        if (!parts) return nullptr;
        for (auto& camera : m_network.m_cameras)
            if (camera->ip == parts->host) return camera.get();
        return nullptr;
    }

    FakeOnvifNetwork& m_network;
    std::string m_xaddr;
    onvif::Credentials m_login;
    std::function<bool()> m_abort;
};

FakeOnvifCamera& FakeOnvifNetwork::add(const std::string& ip, const std::string& mac) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_cameras.push_back(std::make_unique<FakeOnvifCamera>());
    m_cameras.back()->ip = ip;
    m_cameras.back()->mac = mac;
    return *m_cameras.back();
}

OnvifConnector FakeOnvifNetwork::connector() {
    return [this](const std::string& xaddr, const onvif::Credentials& login) -> std::unique_ptr<onvif::IDevice> {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_opened;
        return std::make_unique<FakeOnvifSession>(*this, xaddr, login);
    };
}

FakeOnvifCamera& FakeOnvifNetwork::camera(const std::string& mac) {
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto& camera : m_cameras)
        if (camera->mac == mac) return *camera;
    throw std::out_of_range(mac);
}

std::vector<std::string> FakeOnvifNetwork::requests(const std::string& mac) {
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto& camera : m_cameras)
        if (camera->mac == mac) return camera->requests;
    return {};
}

int FakeOnvifNetwork::opened() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_opened;
}
