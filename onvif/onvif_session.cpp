#include "onvif/onvif_session.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "onvif/device_replies.h"
#include "onvif/device_requests.h"
#include "onvif/http_client.h"
#include "onvif/service_address.h"
#include "onvif/service_replies.h"
#include "onvif/service_requests.h"
#include "onvif/username_token.h"
#include "runtime/regular_file.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace onvif {

namespace {

// A fresh clock reading that moved the offset by less than this would make
// the same token again: no point in a second try.
constexpr std::int64_t kResyncSlackMs = 2000;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// One request: the operation's name (its action and answer follow from it
// and the service), its body, whether it carries the login, and the service
// whose address it goes to.
struct Call {
    const char* operation;
    std::string body;
    bool login = true;
    Service service = Service::device;
};

class Session final : public ICamera {
public:
    Session(const std::string& device_xaddr, const Credentials& credentials, const SessionOptions& options)
        : xaddr_(device_xaddr), credentials_(credentials), http_(options) {
        if (std::optional<std::string> tidy = address_on_device(device_xaddr, device_xaddr)) url_ = *tidy;
    }

    const std::string& device_xaddr() const override { return xaddr_; }
    void set_credentials(const Credentials& credentials) override { credentials_ = credentials; }
    void set_abort_check(std::function<bool()> check) override {
        abort_check_ = check;
        http_.set_abort_check(std::move(check));
    }

    Result sync_clock() override;
    Result get_system_date_and_time(SystemDateTime* out) override;
    Result get_device_information(DeviceInformation* out) override;
    Result get_network_interfaces(std::vector<NetworkInterface>* out) override;
    Result get_services(Services* out) override;
    Result set_ipv4(const std::string& token, bool dhcp, const std::string& address, int prefix_length,
                    bool* reboot_needed) override;
    Result set_default_gateway(const std::string& ipv4) override;
    Result set_system_date_and_time(DateTimeType type, bool daylight_savings, const std::string& time_zone,
                                    std::optional<std::int64_t> utc) override;
    Result set_ntp(const std::string& server) override;
    Result get_users(std::vector<User>* out) override;
    Result set_user(const User& user, const std::string& password) override;
    Result set_system_factory_default_soft() override;
    Result start_firmware_upgrade(FirmwareUpgradeTicket* out) override;
    Result upload_firmware(const FirmwareUpgradeTicket& ticket, const std::string& path,
                           const UploadProgress& progress) override;

    Result discover_services(Services* out) override;
    Result get_profiles(std::vector<VideoProfile>* out) override;
    Result get_stream_uri(const std::string& profile, std::string* uri) override;
    Result get_ptz_node(const std::string& node, PtzNode* out) override;
    Result continuous_move(const std::string& profile, const PtzVelocity& velocity) override;
    Result stop_move(const std::string& profile) override;
    Result move_zoom(const std::string& profile, const ZoomMove& move) override;
    Result get_ir_cut_modes(const std::string& video_source, std::vector<IrCutMode>* out) override;
    Result set_ir_cut(const std::string& video_source, IrCutMode mode) override;

private:
    Result call(const Call& request, Envelope* answer);
    Result send(const Call& request, HttpAnswer* answer);
    // Every address checked to be on the device and tidied; the first
    // that is not fails the whole answer.
    Result keep_on_device(const char* operation, Services* services) const;
    // The address of `service` from the services read (read first when
    // they were not): NotSupported when the camera does not offer it.
    Result service_url(Service service, std::string* url);
    // The media service profiles are asked of: 2.0 when offered.
    Result media_service(Service* out);
    // After a refused token: true when a fresh clock reading makes another
    // try worth it.
    bool clock_moved();
    // After a 401: true when it asked for HTTP digest and the session was
    // not using it yet, so the request is worth sending again that way.
    bool switched_to_digest(const HttpAnswer& answer);
    const Credentials* digest() const { return digest_ ? &credentials_ : nullptr; }
    bool aborted() const { return abort_check_ && abort_check_(); }
    Result traced(const char* operation, Result result) const;

    std::string xaddr_;
    std::string url_;  // xaddr_ checked and tidied; "" when it is not an http URL
    Credentials credentials_;
    HttpClient http_;
    std::function<bool()> abort_check_;
    std::int64_t clock_offset_ms_ = 0;  // device's clock minus this host's
    bool clock_synced_ = false;
    bool digest_ = false;  // the device asked for HTTP digest
    std::optional<Services> services_;  // as discover_services read them
};

Result Session::traced(const char* operation, Result result) const {
    if (!result.ok())
        TRACE_MSG("onvif::Session::call", "%s %s: %d %s\n", xaddr_.c_str(), operation,
                  static_cast<int>(result.status), result.detail.c_str());
    return result;
}

Result Session::send(const Call& request, HttpAnswer* answer) {
    std::string header;
    if (request.login && !digest_ && !credentials_.user.empty())
        header = security_header(credentials_.user, credentials_.password, rt_calendar_ms() + clock_offset_ms_);
    std::string url = url_;
    if (request.service != Service::device) {
        Result located = service_url(request.service, &url);
        if (!located.ok()) return located;
    }
    return http_.post_soap(url, service_action(request.service, request.operation),
                           build_envelope(header, request.body), digest(), answer);
}

bool Session::clock_moved() {
    std::int64_t before = clock_offset_ms_;
    bool synced_before = clock_synced_;
    if (!sync_clock().ok()) return false;
    return !synced_before || std::llabs(clock_offset_ms_ - before) >= kResyncSlackMs;
}

bool Session::switched_to_digest(const HttpAnswer& answer) {
    if (answer.status != 401 || !answer.digest_offered || digest_) return false;
    // The device wants HTTP digest: from now on every request, the refused
    // one first, goes that way and without the token.
    digest_ = true;
    return true;
}

Result Session::call(const Call& request, Envelope* answer) {
    if (url_.empty()) return traced(request.operation, {Status::BadAnswer, "device address is not an http URL"});
    bool resynced = false;
    for (;;) {
        if (aborted()) return {Status::Aborted, "stopped"};
        HttpAnswer http;
        Result sent = send(request, &http);
        if (!sent.ok()) return traced(request.operation, sent);
        if (switched_to_digest(http)) continue;
        Result result = read_answer(http, request.operation, answer);
        // A camera whose clock is far off refuses the token's Created; a
        // fresh reading of its clock is worth one more try.
        if (result.status == Status::AuthRefused && request.login && !digest_ && !resynced) {
            resynced = true;
            if (clock_moved()) continue;
        }
        return traced(request.operation, result);
    }
}

Result Session::sync_clock() {
    SystemDateTime clock;
    Result result = get_system_date_and_time(&clock);
    if (!result.ok()) return result;
    if (!clock.utc) return {Status::BadAnswer, "the device gives no UTCDateTime"};
    clock_offset_ms_ = *clock.utc - rt_calendar_ms();
    clock_synced_ = true;
    return {};
}

Result Session::get_system_date_and_time(SystemDateTime* out) {
    Envelope answer;
    Result result = call({"GetSystemDateAndTime", empty_request("GetSystemDateAndTime"), false}, &answer);
    return result.ok() ? read_system_date_and_time(answer, out) : result;
}

Result Session::get_device_information(DeviceInformation* out) {
    Envelope answer;
    Result result = call({"GetDeviceInformation", empty_request("GetDeviceInformation")}, &answer);
    return result.ok() ? read_device_information(answer, out) : result;
}

Result Session::get_network_interfaces(std::vector<NetworkInterface>* out) {
    Envelope answer;
    Result result = call({"GetNetworkInterfaces", empty_request("GetNetworkInterfaces")}, &answer);
    return result.ok() ? read_network_interfaces(answer, out) : result;
}

Result Session::get_services(Services* out) {
    Envelope answer;
    Result result = call({"GetServices", get_services_request()}, &answer);
    if (result.ok()) result = read_services(answer, out);
    return result.ok() ? keep_on_device("GetServices", out) : result;
}

Result Session::keep_on_device(const char* operation, Services* services) const {
    for (std::string* address :
         {&services->device, &services->media, &services->media2, &services->ptz, &services->imaging}) {
        if (address->empty()) continue;
        std::optional<std::string> on_device = address_on_device(url_, *address);
        if (!on_device)
            return traced(operation,
                          {Status::BadAnswer, "service address points outside the device: " + one_line(*address, 120)});
        *address = *on_device;
    }
    return {};
}

Result Session::set_ipv4(const std::string& token, bool dhcp, const std::string& address, int prefix_length,
                         bool* reboot_needed) {
    *reboot_needed = false;
    if (!dhcp && (!is_ipv4_address(address) || prefix_length < 1 || prefix_length > 32))
        return {Status::LocalError, "not an IPv4 address and prefix"};
    Envelope answer;
    Result result = call({"SetNetworkInterfaces", set_ipv4_request(token, dhcp, address, prefix_length)}, &answer);
    return result.ok() ? read_reboot_needed(answer, reboot_needed) : result;
}

Result Session::set_default_gateway(const std::string& ipv4) {
    if (!ipv4.empty() && !is_ipv4_address(ipv4)) return {Status::LocalError, "not an IPv4 address"};
    Envelope answer;
    return call({"SetNetworkDefaultGateway", set_default_gateway_request(ipv4)}, &answer);
}

Result Session::set_system_date_and_time(DateTimeType type, bool daylight_savings, const std::string& time_zone,
                                         std::optional<std::int64_t> utc) {
    Envelope answer;
    Result result = call(
        {"SetSystemDateAndTime", set_system_date_and_time_request(type, daylight_savings, time_zone, utc)}, &answer);
    // The device's clock is now the one just set: later tokens follow it.
    if (result.ok() && type == DateTimeType::Manual && utc) {
        clock_offset_ms_ = *utc - rt_calendar_ms();
        clock_synced_ = true;
    }
    return result;
}

Result Session::set_ntp(const std::string& server) {
    if (server.empty()) return {Status::LocalError, "no NTP server given"};
    Envelope answer;
    return call({"SetNTP", set_ntp_request(server)}, &answer);
}

Result Session::get_users(std::vector<User>* out) {
    Envelope answer;
    Result result = call({"GetUsers", empty_request("GetUsers")}, &answer);
    return result.ok() ? read_users(answer, out) : result;
}

Result Session::set_user(const User& user, const std::string& password) {
    User changed = user;
    if (changed.level.empty()) {
        std::vector<User> users;
        Result listed = get_users(&users);
        if (!listed.ok()) return listed;
        for (const User& known : users)
            if (known.name == user.name) changed.level = known.level;
        if (changed.level.empty()) return {Status::Fault, "the device lists no user " + one_line(user.name, 60)};
    }
    Envelope answer;
    Result result = call({"SetUser", set_user_request(changed, password)}, &answer);
    if (result.ok() && user.name == credentials_.user) credentials_.password = password;
    return result;
}

Result Session::set_system_factory_default_soft() {
    Envelope answer;
    return call({"SetSystemFactoryDefault", set_factory_default_soft_request()}, &answer);
}

Result Session::start_firmware_upgrade(FirmwareUpgradeTicket* out) {
    Envelope answer;
    Result result = call({"StartFirmwareUpgrade", empty_request("StartFirmwareUpgrade")}, &answer);
    if (result.ok()) result = read_firmware_upgrade(answer, out);
    if (!result.ok()) return result;
    std::optional<std::string> on_device = address_on_device(url_, out->upload_uri);
    if (!on_device)
        return traced("StartFirmwareUpgrade", {Status::BadAnswer, "UploadUri points outside the device: " +
                                                                      one_line(out->upload_uri, 120)});
    out->upload_uri = *on_device;
    return {};
}

Result Session::upload_firmware(const FirmwareUpgradeTicket& ticket, const std::string& path,
                                const UploadProgress& progress) {
    std::optional<std::string> url = address_on_device(url_, ticket.upload_uri);
    if (!url)
        return traced("upload", {Status::BadAnswer, "UploadUri points outside the device: " +
                                                        one_line(ticket.upload_uri, 120)});
    std::unique_ptr<std::FILE, FileCloser> file(open_regular_file(path));
    struct stat info {};
    if (!file || ::fstat(::fileno(file.get()), &info) != 0)
        return traced("upload", {Status::LocalError, "cannot read " + path + ": " + std::strerror(errno)});
    for (;;) {
        if (aborted()) return {Status::Aborted, "stopped"};
        HttpAnswer http;
        Result sent = http_.post_file(*url, file.get(), static_cast<std::uint64_t>(info.st_size), progress, digest(),
                                      &http);
        if (!sent.ok()) return traced("upload", sent);
        if (switched_to_digest(http)) continue;
        return traced("upload", read_upload_answer(http));
    }
}

Result Session::discover_services(Services* out) {
    Result result = get_services(out);
    // GetServices came with version 2.0 of the device service; older
    // cameras name their services in GetCapabilities alone.
    if (result.status == Status::NotSupported || result.status == Status::Fault) {
        Envelope answer;
        result = call({"GetCapabilities", get_capabilities_request()}, &answer);
        if (result.ok()) result = read_capabilities(answer, out);
        if (result.ok()) result = keep_on_device("GetCapabilities", out);
    }
    if (result.ok()) services_ = *out;
    return result;
}

Result Session::service_url(Service service, std::string* url) {
    if (!services_) {
        Services read;
        Result result = discover_services(&read);
        if (!result.ok()) return result;
    }
    const Services& s = *services_;
    const std::string& address = service == Service::media    ? s.media
                                 : service == Service::media2 ? s.media2
                                 : service == Service::ptz    ? s.ptz
                                 : service == Service::imaging ? s.imaging
                                                              : url_;
    if (address.empty()) return {Status::NotSupported, "the device offers no such service"};
    *url = address;
    return {};
}

Result Session::media_service(Service* out) {
    std::string url;
    *out = service_url(Service::media2, &url).ok() ? Service::media2 : Service::media;
    return service_url(*out, &url);
}

Result Session::get_profiles(std::vector<VideoProfile>* out) {
    Service media = Service::media;
    Result result = media_service(&media);
    Envelope answer;
    if (result.ok()) result = call({"GetProfiles", get_profiles_request(media), true, media}, &answer);
    return result.ok() ? read_profiles(answer, media == Service::media2, out) : result;
}

Result Session::get_stream_uri(const std::string& profile, std::string* uri) {
    Service media = Service::media;
    Result result = media_service(&media);
    Envelope answer;
    if (result.ok()) result = call({"GetStreamUri", get_stream_uri_request(media, profile), true, media}, &answer);
    return result.ok() ? read_stream_uri(answer, media == Service::media2, uri) : result;
}

Result Session::get_ptz_node(const std::string& node, PtzNode* out) {
    Envelope answer;
    Result result = call({"GetNode", get_node_request(node), true, Service::ptz}, &answer);
    return result.ok() ? read_ptz_node(answer, out) : result;
}

Result Session::continuous_move(const std::string& profile, const PtzVelocity& velocity) {
    Envelope answer;
    return call({"ContinuousMove", continuous_move_request(profile, velocity), true, Service::ptz}, &answer);
}

Result Session::stop_move(const std::string& profile) {
    Envelope answer;
    return call({"Stop", stop_request(profile), true, Service::ptz}, &answer);
}

Result Session::move_zoom(const std::string& profile, const ZoomMove& move) {
    const char* operation = move.kind == ZoomMove::Kind::relative ? "RelativeMove" : "AbsoluteMove";
    Envelope answer;
    return call({operation, zoom_move_request(profile, move), true, Service::ptz}, &answer);
}

Result Session::get_ir_cut_modes(const std::string& video_source, std::vector<IrCutMode>* out) {
    Envelope answer;
    Result result = call({"GetOptions", imaging_options_request(video_source), true, Service::imaging}, &answer);
    return result.ok() ? read_ir_cut_modes(answer, out) : result;
}

Result Session::set_ir_cut(const std::string& video_source, IrCutMode mode) {
    Envelope answer;
    return call({"SetImagingSettings", set_ir_cut_request(video_source, mode), true, Service::imaging}, &answer);
}

}  // namespace

std::unique_ptr<ICamera> open_camera(const std::string& device_xaddr, const Credentials& credentials,
                                     const SessionOptions& options) {
    return std::make_unique<Session>(device_xaddr, credentials, options);
}

std::unique_ptr<IDevice> open_device(const std::string& device_xaddr, const Credentials& credentials,
                                     const SessionOptions& options) {
    return std::make_unique<Session>(device_xaddr, credentials, options);
}

}  // namespace onvif
