#include "sim/onvif/device_operations.h"

#include <arpa/inet.h>
#include <tinyxml.h>

#include <cstdio>
#include <ctime>
#include <set>
#include <tuple>

#include "onvif/soap_xml.h"
#include "runtime/rt_time.h"
#include "sim/onvif/operation_xml.h"
#include "sim/onvif/service_operations.h"
#include "sim/onvif/posix_tz.h"

namespace {

using namespace sim_soap;
using onvif::path_text;
using onvif::text;

bool read_int(const std::string& value, long min, long max, long* out) {
    if (value.empty() || value.size() > 10) return false;
    std::size_t used = 0;
    try {
        *out = std::stol(value, &used);
    } catch (...) {
        return false;
    }
    return used == value.size() && *out >= min && *out <= max;
}

// ---- addresses -----------------------------------------------------------

std::uint32_t ipv4_value(const std::string& text, bool* ok) {
    in_addr parsed{};
    *ok = inet_pton(AF_INET, text.c_str(), &parsed) == 1;
    return ntohl(parsed.s_addr);
}

std::string ipv4_text(std::uint32_t value) {
    in_addr a{htonl(value)};
    char out[INET_ADDRSTRLEN];
    return inet_ntop(AF_INET, &a, out, sizeof out) ? out : "";
}

int prefix_of(const std::string& mask) {
    bool ok = false;
    std::uint32_t value = ipv4_value(mask, &ok);
    int prefix = 0;
    while (ok && prefix < 32 && (value & (0x80000000u >> prefix)) != 0) ++prefix;
    return prefix;
}

std::string mask_of(int prefix) { return ipv4_text(prefix == 0 ? 0 : 0xFFFFFFFFu << (32 - prefix)); }

// A unicast host address a camera can take: not 0/8, multicast or above,
// and not the network or broadcast address of its prefix. Loopback ones are
// taken: simulated cameras live there on a single host.
bool usable_host(const std::string& address, int prefix) {
    bool ok = false;
    std::uint32_t value = ipv4_value(address, &ok);
    if (!ok || prefix < 1 || prefix > 32) return false;
    std::uint32_t first = value >> 24;
    if (first == 0 || first >= 224) return false;
    if (prefix > 30) return true;
    std::uint32_t host = value & ~(0xFFFFFFFFu << (32 - prefix));
    return host != 0 && host != ~(0xFFFFFFFFu << (32 - prefix));
}

// ---- time ----------------------------------------------------------------

std::string date_time_xml(std::string_view name, std::int64_t ms) {
    std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm t{};
    gmtime_r(&seconds, &t);
    return wrap(name, wrap("tt:Time", num("tt:Hour", t.tm_hour) + num("tt:Minute", t.tm_min) + num("tt:Second", t.tm_sec)) +
                          wrap("tt:Date", num("tt:Year", t.tm_year + 1900) + num("tt:Month", t.tm_mon + 1) +
                                              num("tt:Day", t.tm_mday)));
}

// tt:DateTime (Date/Year..., Time/Hour...) in ms since the epoch, or -1.
std::int64_t read_date_time(const TiXmlElement* element) {
    long year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    bool ok = read_int(path_text(element, {"Date", "Year"}), 1970, 2999, &year) &&
              read_int(path_text(element, {"Date", "Month"}), 1, 12, &month) &&
              read_int(path_text(element, {"Date", "Day"}), 1, 31, &day) &&
              read_int(path_text(element, {"Time", "Hour"}), 0, 23, &hour) &&
              read_int(path_text(element, {"Time", "Minute"}), 0, 59, &minute) &&
              read_int(path_text(element, {"Time", "Second"}), 0, 60, &second);
    if (!ok) return -1;
    std::tm fields{};
    fields.tm_year = static_cast<int>(year - 1900);
    fields.tm_mon = static_cast<int>(month - 1);
    fields.tm_mday = static_cast<int>(day);
    fields.tm_hour = static_cast<int>(hour);
    fields.tm_min = static_cast<int>(minute);
    fields.tm_sec = static_cast<int>(second);
    // timegm carries an impossible day into the next month: 31 February
    // comes back as a day of March.
    std::time_t seconds = timegm(&fields);
    if (fields.tm_mday != day && second != 60) return -1;
    return static_cast<std::int64_t>(seconds) * 1000;
}

// "PT30S", "PT0.5S": the xs:duration of a wait.
std::string duration_text(std::int64_t ms) {
    char out[48];
    if (ms % 1000 == 0) std::snprintf(out, sizeof out, "PT%lldS", static_cast<long long>(ms / 1000));
    else std::snprintf(out, sizeof out, "PT%lld.%03lldS", static_cast<long long>(ms / 1000), static_cast<long long>(ms % 1000));
    return out;
}

// ---- the operations --------------------------------------------------------

OperationResult get_system_date_and_time(OnvifCamera& camera, const TiXmlElement*) {
    std::int64_t now = camera.clock_ms();
    return camera.with_settings([&](OnvifDeviceSettings& s) {
        std::int64_t local = now + 1000LL * posix_tz_utc_offset_s(s.time_zone).value_or(0);
        std::string inner = el("tt:DateTimeType", s.date_time_type == onvif::DateTimeType::NTP ? "NTP" : "Manual") +
                            flag("tt:DaylightSavings", s.daylight_savings) +
                            wrap("tt:TimeZone", el("tt:TZ", s.time_zone)) + date_time_xml("tt:UTCDateTime", now) +
                            date_time_xml("tt:LocalDateTime", local);
        return answer(wrap("tds:GetSystemDateAndTimeResponse", wrap("tds:SystemDateAndTime", inner)));
    });
}

OperationResult set_system_date_and_time(OnvifCamera& camera, const TiXmlElement* request) {
    std::string type = path_text(request, {"DateTimeType"});
    bool daylight = false;
    if ((type != "Manual" && type != "NTP") || !read_bool(onvif::child(request, "DaylightSavings"), &daylight))
        return sender_fault("ter:InvalidArgVal", "DateTimeType and DaylightSavings are required");
    const TiXmlElement* zone = onvif::child(request, "TimeZone");
    std::string tz = path_text(request, {"TimeZone", "TZ"});
    if (zone != nullptr && !posix_tz_utc_offset_s(tz)) return invalid_value("InvalidTimeZone", "not a POSIX TZ: " + tz);
    const TiXmlElement* utc = onvif::child(request, "UTCDateTime");
    std::int64_t utc_ms = utc == nullptr ? -1 : read_date_time(utc);
    if (type == "Manual" && utc != nullptr && utc_ms < 0) return invalid_value("InvalidDateTime", "invalid UTCDateTime");
    bool ntp = type == "NTP";
    bool no_server = camera.with_settings([](OnvifDeviceSettings& s) { return s.ntp_servers.empty() && !s.ntp_from_dhcp; });
    if (ntp && no_server) return invalid_value("NtpServerUndefined", "no NTP server is set");
    camera.with_settings([&](OnvifDeviceSettings& s) {
        s.date_time_type = ntp ? onvif::DateTimeType::NTP : onvif::DateTimeType::Manual;
        s.daylight_savings = daylight;
        if (zone != nullptr) s.time_zone = tz;
    });
    // The camera's time server is taken to agree with the host.
    if (ntp) camera.set_clock(rt_calendar_ms());
    else if (utc_ms >= 0) camera.set_clock(utc_ms);
    return answer("<tds:SetSystemDateAndTimeResponse/>");
}

OperationResult get_device_information(OnvifCamera& camera, const TiXmlElement*) {
    CameraIdentity id = camera.identity();
    const OnvifCameraSettings& s = camera.settings();
    char hardware[32];
    std::snprintf(hardware, sizeof hardware, "0x%X", static_cast<unsigned>(id.board_type));
    return answer(wrap("tds:GetDeviceInformationResponse",
                       el("tds:Manufacturer", s.manufacturer) + el("tds:Model", s.model) +
                           el("tds:FirmwareVersion", id.version) + el("tds:SerialNumber", camera.serial_number()) +
                           el("tds:HardwareId", hardware)));
}

OperationResult get_network_interfaces(OnvifCamera& camera, const TiXmlElement*) {
    CameraIdentity id = camera.identity();
    bool dhcp = camera.with_settings([](OnvifDeviceSettings& s) { return s.dhcp; });
    std::string address = wrap(dhcp ? "tt:FromDHCP" : "tt:Manual",
                               el("tt:Address", id.ip) + num("tt:PrefixLength", prefix_of(id.mask)));
    std::string ipv4 = wrap("tt:IPv4", flag("tt:Enabled", true) + wrap("tt:Config", address + flag("tt:DHCP", dhcp)));
    std::string info = wrap("tt:Info", el("tt:Name", "eth0") + el("tt:HwAddress", id.mac) + num("tt:MTU", 1500));
    return answer(wrap("tds:GetNetworkInterfacesResponse",
                       "<tds:NetworkInterfaces token=\"eth0\">" + flag("tt:Enabled", true) + info + ipv4 +
                           "</tds:NetworkInterfaces>"));
}

// DHCP on keeps the address: there is no DHCP server on a simulated LAN, so
// the camera is taken to be handed the address it has.
OperationResult set_network_interfaces(OnvifCamera& camera, const TiXmlElement* request) {
    if (path_text(request, {"InterfaceToken"}) != "eth0")
        return invalid_value("InvalidNetworkInterface", "no such network interface");
    const TiXmlElement* ipv4 = onvif::path(request, {"NetworkInterface", "IPv4"});
    bool dhcp = false;
    bool dhcp_given = read_bool(onvif::child(ipv4, "DHCP"), &dhcp);
    const TiXmlElement* manual = onvif::child(ipv4, "Manual");
    std::string address = path_text(manual, {"Address"});
    long prefix = 0;
    if (!dhcp && manual != nullptr &&
        (!read_int(path_text(manual, {"PrefixLength"}), 1, 32, &prefix) || !usable_host(address, static_cast<int>(prefix))))
        return invalid_value("InvalidIPv4Address", "not a usable IPv4 address: " + address);
    if (dhcp_given) camera.with_settings([&](OnvifDeviceSettings& s) { s.dhcp = dhcp; });
    if (!dhcp && manual != nullptr) {
        camera.with_settings([](OnvifDeviceSettings& s) { s.dhcp = false; });
        camera.update_identity([&](CameraIdentity& id) {
            id.ip = address;
            id.mask = mask_of(static_cast<int>(prefix));
        });
    }
    return answer(wrap("tds:SetNetworkInterfacesResponse", flag("tds:RebootNeeded", false)));
}

OperationResult get_network_default_gateway(OnvifCamera& camera, const TiXmlElement*) {
    std::string gateway = camera.identity().gateway;
    std::string inner = gateway.empty() ? "" : el("tt:IPv4Address", gateway);
    return answer(wrap("tds:GetNetworkDefaultGatewayResponse", wrap("tds:NetworkGateway", inner)));
}

OperationResult set_network_default_gateway(OnvifCamera& camera, const TiXmlElement* request) {
    const TiXmlElement* first = onvif::child(request, "IPv4Address");
    for (const TiXmlElement* e = first; e != nullptr; e = onvif::next_sibling(e))
        if (!usable_host(text(e), 32)) return invalid_value("InvalidGatewayAddress", "not a usable gateway: " + text(e));
    camera.update_identity([&](CameraIdentity& id) { id.gateway = text(first); });
    return answer("<tds:SetNetworkDefaultGatewayResponse/>");
}

std::string device_capabilities(OnvifCamera& camera) {
    LoginMode login = camera.settings().login;
    return "<tds:Capabilities><tds:Network IPFilter=\"false\" ZeroConfiguration=\"false\" IPVersion6=\"false\" "
           "DynDNS=\"false\" NTP=\"1\"/><tds:Security UsernameToken=\"" +
           std::string(login == LoginMode::digest ? "false" : "true") + "\" HttpDigest=\"" +
           (login == LoginMode::token ? "false" : "true") +
           "\"/><tds:System DiscoveryResolve=\"false\" DiscoveryBye=\"false\" RemoteDiscovery=\"false\" "
           "SystemBackup=\"false\" SystemLogging=\"false\" HttpFirmwareUpgrade=\"true\"/></tds:Capabilities>";
}

std::string onvif_version() { return num("tt:Major", 2) + num("tt:Minor", 60); }

OperationResult get_services(OnvifCamera& camera, const TiXmlElement* request) {
    bool with_capabilities = false;
    read_bool(onvif::child(request, "IncludeCapability"), &with_capabilities);
    std::string device = el("tds:Namespace", onvif::kNsDevice) + el("tds:XAddr", camera.device_xaddr());
    if (with_capabilities) device += wrap("tds:Capabilities", device_capabilities(camera));
    std::string services = wrap("tds:Service", device + wrap("tds:Version", onvif_version()));
    const std::tuple<OnvifService, const char*, std::string> others[] = {
        {OnvifService::media, onvif::kNsMedia, camera.media_xaddr()},
        {OnvifService::media2, onvif::kNsMedia2, camera.media2_xaddr()},
        {OnvifService::ptz, onvif::kNsPtz, camera.ptz_xaddr()},
        {OnvifService::imaging, onvif::kNsImaging, camera.imaging_xaddr()},
    };
    for (const auto& [service, ns, xaddr] : others)
        if (offers_service(camera.settings(), service))
            services += wrap("tds:Service", el("tds:Namespace", ns) + el("tds:XAddr", xaddr) +
                                                wrap("tds:Version", onvif_version()));
    return answer(wrap("tds:GetServicesResponse", services));
}

OperationResult get_service_capabilities(OnvifCamera& camera, const TiXmlElement*) {
    return answer(wrap("tds:GetServiceCapabilitiesResponse", device_capabilities(camera)));
}

std::string device_category(OnvifCamera& camera) {
    std::string network = flag("tt:IPFilter", false) + flag("tt:ZeroConfiguration", false) + flag("tt:IPVersion6", false) +
                          flag("tt:DynDNS", false);
    std::string system = flag("tt:DiscoveryResolve", false) + flag("tt:DiscoveryBye", false) +
                         flag("tt:RemoteDiscovery", false) + flag("tt:SystemBackup", false) +
                         flag("tt:SystemLogging", false) + flag("tt:FirmwareUpgrade", true) +
                         wrap("tt:SupportedVersions", onvif_version());
    std::string security;
    for (const char* name : {"tt:TLS1.1", "tt:TLS1.2", "tt:OnboardKeyGeneration", "tt:AccessPolicyConfig",
                             "tt:X.509Token", "tt:SAMLToken", "tt:KerberosToken", "tt:RELToken"})
        security += flag(name, false);
    return wrap("tt:Device", el("tt:XAddr", camera.device_xaddr()) + wrap("tt:Network", network) +
                                 wrap("tt:System", system) + wrap("tt:Security", security));
}

std::string media_category(OnvifCamera& camera) {
    std::string streaming =
        flag("tt:RTPMulticast", false) + flag("tt:RTP_TCP", true) + flag("tt:RTP_RTSP_TCP", true);
    return wrap("tt:Media", el("tt:XAddr", camera.media_xaddr()) + wrap("tt:StreamingCapabilities", streaming));
}

// Categories in the schema's order; what the camera lacks, it leaves out.
OperationResult get_capabilities(OnvifCamera& camera, const TiXmlElement* request) {
    const TiXmlElement* first = onvif::child(request, "Category");
    std::set<std::string> asked;
    for (const TiXmlElement* e = first; e != nullptr; e = onvif::next_sibling(e)) asked.insert(text(e));
    const bool all = first == nullptr || asked.count("All") != 0;
    const OnvifCameraSettings& settings = camera.settings();
    const std::tuple<const char*, bool, std::string> categories[] = {
        {"Analytics", false, ""},
        {"Device", true, device_category(camera)},
        {"Events", false, ""},
        {"Imaging", offers_service(settings, OnvifService::imaging),
         wrap("tt:Imaging", el("tt:XAddr", camera.imaging_xaddr()))},
        {"Media", true, media_category(camera)},
        {"PTZ", offers_service(settings, OnvifService::ptz), wrap("tt:PTZ", el("tt:XAddr", camera.ptz_xaddr()))},
    };
    std::string inner;
    for (const auto& [name, offered, xml] : categories) {
        if (!all && asked.count(name) == 0) continue;
        if (offered) inner += xml;
        else if (!all) return receiver_fault("ter:ActionNotSupported ter:NoSuchService", std::string(name) + " is not offered");
    }
    return answer(wrap("tds:GetCapabilitiesResponse", wrap("tds:Capabilities", inner)));
}

OperationResult get_ntp(OnvifCamera& camera, const TiXmlElement*) {
    return camera.with_settings([](OnvifDeviceSettings& s) {
        std::string inner = flag("tt:FromDHCP", s.ntp_from_dhcp);
        for (const std::string& server : s.ntp_servers) {
            bool ipv4 = false;
            ipv4_value(server, &ipv4);
            inner += wrap("tt:NTPManual", ipv4 ? el("tt:Type", "IPv4") + el("tt:IPv4Address", server)
                                               : el("tt:Type", "DNS") + el("tt:DNSname", server));
        }
        return answer(wrap("tds:GetNTPResponse", wrap("tds:NTPInformation", inner)));
    });
}

OperationResult set_ntp(OnvifCamera& camera, const TiXmlElement* request) {
    bool from_dhcp = false;
    if (!read_bool(onvif::child(request, "FromDHCP"), &from_dhcp)) return sender_fault("ter:InvalidArgVal", "FromDHCP is required");
    std::vector<std::string> servers;
    for (const TiXmlElement* e = onvif::child(request, "NTPManual"); e != nullptr; e = onvif::next_sibling(e)) {
        std::string type = path_text(e, {"Type"});
        if (type == "IPv4" && !usable_host(path_text(e, {"IPv4Address"}), 32))
            return invalid_value("InvalidIPv4Address", "not an IPv4 address: " + path_text(e, {"IPv4Address"}));
        if (type == "DNS" && path_text(e, {"DNSname"}).empty()) return invalid_value("InvalidDnsName", "empty DNS name");
        if (type != "IPv4" && type != "DNS") return sender_fault("ter:InvalidArgVal", "NTP server type " + type + " not offered");
        servers.push_back(type == "IPv4" ? path_text(e, {"IPv4Address"}) : path_text(e, {"DNSname"}));
    }
    camera.with_settings([&](OnvifDeviceSettings& s) {
        s.ntp_from_dhcp = from_dhcp;
        s.ntp_servers = servers;
    });
    return answer("<tds:SetNTPResponse/>");
}

OperationResult get_users(OnvifCamera& camera, const TiXmlElement*) {
    return camera.with_settings([](OnvifDeviceSettings& s) {
        std::string users;
        for (const auto& [name, user] : s.users)
            users += wrap("tds:User", el("tt:Username", name) + el("tt:UserLevel", user.level));
        return answer(wrap("tds:GetUsersResponse", users));
    });
}

bool is_user_level(const std::string& level) {
    return level == "Administrator" || level == "Operator" || level == "User" || level == "Anonymous" ||
           level == "Extended";
}

// All or nothing: every user named is checked before any changes.
OperationResult set_user(OnvifCamera& camera, const TiXmlElement* request) {
    constexpr std::size_t kMaxPassword = 64;
    const TiXmlElement* first = onvif::child(request, "User");
    if (first == nullptr) return sender_fault("ter:InvalidArgs", "no User given");
    return camera.with_settings([&](OnvifDeviceSettings& s) {
        for (const TiXmlElement* e = first; e != nullptr; e = onvif::next_sibling(e)) {
            std::string password = path_text(e, {"Password"});
            if (s.users.count(path_text(e, {"Username"})) == 0) return invalid_value("UsernameMissing", "no such user");
            if (password.empty()) return sender_fault("ter:OperationProhibited ter:PasswordTooWeak", "empty password");
            if (password.size() > kMaxPassword) return sender_fault("ter:OperationProhibited ter:PasswordTooLong", "password too long");
            if (!is_user_level(path_text(e, {"UserLevel"}))) return sender_fault("ter:InvalidArgVal", "unknown UserLevel");
        }
        for (const TiXmlElement* e = first; e != nullptr; e = onvif::next_sibling(e)) {
            OnvifUser& user = s.users[path_text(e, {"Username"})];
            user.password = path_text(e, {"Password"});
            user.level = path_text(e, {"UserLevel"});
        }
        return answer("<tds:SetUserResponse/>");
    });
}

OperationResult set_system_factory_default(OnvifCamera& camera, const TiXmlElement* request) {
    std::string kind = path_text(request, {"FactoryDefault"});
    if (kind != "Soft" && kind != "Hard") return sender_fault("ter:InvalidArgVal", "FactoryDefault must be Soft or Hard");
    camera.factory_default(kind == "Hard");
    return {"<tds:SetSystemFactoryDefaultResponse/>", {}, kind == "Hard"};
}

OperationResult system_reboot(OnvifCamera&, const TiXmlElement*) {
    return {wrap("tds:SystemRebootResponse", el("tds:Message", "Rebooting")), {}, true};
}

OperationResult start_firmware_upgrade(OnvifCamera& camera, const TiXmlElement*) {
    if (camera.settings().faults.refuse_start) {
        camera.record_refusal("StartFirmwareUpgrade refused");
        return receiver_fault("ter:Action", "firmware upgrade refused");
    }
    std::string ticket = camera.issue_upload_ticket();
    if (ticket.empty()) return receiver_fault("ter:Action", "the device is rebooting");
    return answer(wrap("tds:StartFirmwareUpgradeResponse",
                       el("tds:UploadUri", camera.http_base() + "/onvif/firmware/" + ticket) +
                           el("tds:UploadDelay", "PT0S") + el("tds:ExpectedDownTime", duration_text(camera.down_ms()))));
}

OperationResult get_hostname(OnvifCamera& camera, const TiXmlElement*) {
    return answer(wrap("tds:GetHostnameResponse",
                       wrap("tds:HostnameInformation", flag("tt:FromDHCP", false) + el("tt:Name", camera.name()))));
}

OperationResult get_dns(OnvifCamera&, const TiXmlElement*) {
    return answer(wrap("tds:GetDNSResponse", wrap("tds:DNSInformation", flag("tt:FromDHCP", false))));
}

OperationResult get_scopes(OnvifCamera& camera, const TiXmlElement*) {
    std::string scopes;
    for (const std::string& scope : camera.scopes())
        scopes += wrap("tds:Scopes", el("tt:ScopeDef", "Fixed") + el("tt:ScopeItem", scope));
    return answer(wrap("tds:GetScopesResponse", scopes));
}

constexpr OperationEntry kOperations[] = {
    {"GetSystemDateAndTime", get_system_date_and_time, true},
    {"SetSystemDateAndTime", set_system_date_and_time, false},
    {"GetDeviceInformation", get_device_information, false},
    {"GetNetworkInterfaces", get_network_interfaces, false},
    {"SetNetworkInterfaces", set_network_interfaces, false},
    {"GetNetworkDefaultGateway", get_network_default_gateway, false},
    {"SetNetworkDefaultGateway", set_network_default_gateway, false},
    {"GetServices", get_services, true},
    {"GetServiceCapabilities", get_service_capabilities, true},
    {"GetCapabilities", get_capabilities, true},
    {"GetNTP", get_ntp, false},
    {"SetNTP", set_ntp, false},
    {"GetUsers", get_users, false},
    {"SetUser", set_user, false},
    {"SetSystemFactoryDefault", set_system_factory_default, false},
    {"SystemReboot", system_reboot, false},
    {"StartFirmwareUpgrade", start_firmware_upgrade, false},
    {"GetHostname", get_hostname, true},
    {"GetDNS", get_dns, false},
    {"GetScopes", get_scopes, false},
};

}  // namespace

const OperationEntry* find_device_operation(std::string_view name) { return sim_soap::find_in(kOperations, name); }
