#include "onvif/device_requests.h"

#include <arpa/inet.h>

#include <ctime>

#include "onvif/soap_xml.h"

namespace onvif {

namespace {

// <prefix:name>escaped text</prefix:name>
std::string element(std::string_view qualified, std::string_view value) {
    std::string out = "<";
    out.append(qualified).append(">").append(escape(value)).append("</").append(qualified).append(">");
    return out;
}

// <prefix:name>already built XML</prefix:name>
std::string wrap(std::string_view qualified, std::string_view inner) {
    std::string out = "<";
    out.append(qualified).append(">").append(inner).append("</").append(qualified).append(">");
    return out;
}

const char* boolean(bool value) { return value ? "true" : "false"; }

// tt:DateTime: Time before Date, as the schema orders them.
std::string date_time(std::int64_t utc_ms) {
    std::time_t seconds = static_cast<std::time_t>(utc_ms / 1000);
    std::tm fields{};
    gmtime_r(&seconds, &fields);
    std::string time = element("tt:Hour", std::to_string(fields.tm_hour)) +
                       element("tt:Minute", std::to_string(fields.tm_min)) +
                       element("tt:Second", std::to_string(fields.tm_sec));
    std::string date = element("tt:Year", std::to_string(fields.tm_year + 1900)) +
                       element("tt:Month", std::to_string(fields.tm_mon + 1)) +
                       element("tt:Day", std::to_string(fields.tm_mday));
    return wrap("tt:Time", time) + wrap("tt:Date", date);
}

}  // namespace

std::string device_action(std::string_view operation) {
    return std::string(kNsDevice) + "/" + std::string(operation);
}

std::string response_name(std::string_view operation) { return std::string(operation) + "Response"; }

std::string empty_request(std::string_view operation) { return "<tds:" + std::string(operation) + "/>"; }

std::string get_services_request() {
    return wrap("tds:GetServices", element("tds:IncludeCapability", "false"));
}

std::string set_ipv4_request(const std::string& token, bool dhcp, const std::string& address, int prefix_length) {
    std::string ipv4 = element("tt:Enabled", "true");
    if (!dhcp)
        ipv4 += wrap("tt:Manual", element("tt:Address", address) +
                                      element("tt:PrefixLength", std::to_string(prefix_length)));
    ipv4 += element("tt:DHCP", boolean(dhcp));
    return wrap("tds:SetNetworkInterfaces",
                element("tds:InterfaceToken", token) + wrap("tds:NetworkInterface", wrap("tt:IPv4", ipv4)));
}

std::string set_default_gateway_request(const std::string& ipv4) {
    return wrap("tds:SetNetworkDefaultGateway", ipv4.empty() ? std::string() : element("tds:IPv4Address", ipv4));
}

std::string set_system_date_and_time_request(DateTimeType type, bool daylight_savings, const std::string& time_zone,
                                             std::optional<std::int64_t> utc) {
    std::string body = element("tds:DateTimeType", type == DateTimeType::NTP ? "NTP" : "Manual") +
                       element("tds:DaylightSavings", boolean(daylight_savings));
    if (!time_zone.empty()) body += wrap("tds:TimeZone", element("tt:TZ", time_zone));
    if (type == DateTimeType::Manual && utc) body += wrap("tds:UTCDateTime", date_time(*utc));
    return wrap("tds:SetSystemDateAndTime", body);
}

std::string set_ntp_request(const std::string& server) {
    std::string host = is_ipv4_address(server) ? element("tt:Type", "IPv4") + element("tt:IPv4Address", server)
                                               : element("tt:Type", "DNS") + element("tt:DNSname", server);
    return wrap("tds:SetNTP", element("tds:FromDHCP", "false") + wrap("tds:NTPManual", host));
}

std::string set_user_request(const User& user, const std::string& password) {
    return wrap("tds:SetUser", wrap("tds:User", element("tt:Username", user.name) + element("tt:Password", password) +
                                                    element("tt:UserLevel", user.level)));
}

std::string set_factory_default_soft_request() {
    return wrap("tds:SetSystemFactoryDefault", element("tds:FactoryDefault", "Soft"));
}

bool is_ipv4_address(const std::string& text) {
    in_addr parsed{};
    return ::inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

}  // namespace onvif
