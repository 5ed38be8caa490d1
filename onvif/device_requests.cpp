#include "onvif/device_requests.h"

#include <arpa/inet.h>

#include <ctime>

#include "onvif/soap_xml.h"

namespace onvif {

namespace {

const char* boolean(bool value) { return value ? "true" : "false"; }

// tt:DateTime: Time before Date, as the schema orders them.
std::string date_time(std::int64_t utc_ms) {
    std::time_t seconds = static_cast<std::time_t>(utc_ms / 1000);
    std::tm fields{};
    gmtime_r(&seconds, &fields);
    std::string time = xml_element("tt:Hour", std::to_string(fields.tm_hour)) +
                       xml_element("tt:Minute", std::to_string(fields.tm_min)) +
                       xml_element("tt:Second", std::to_string(fields.tm_sec));
    std::string date = xml_element("tt:Year", std::to_string(fields.tm_year + 1900)) +
                       xml_element("tt:Month", std::to_string(fields.tm_mon + 1)) +
                       xml_element("tt:Day", std::to_string(fields.tm_mday));
    return xml_wrap("tt:Time", time) + xml_wrap("tt:Date", date);
}

}  // namespace

std::string device_action(std::string_view operation) {
    return std::string(kNsDevice) + "/" + std::string(operation);
}

std::string response_name(std::string_view operation) { return std::string(operation) + "Response"; }

std::string empty_request(std::string_view operation) { return "<tds:" + std::string(operation) + "/>"; }

std::string get_services_request() {
    return xml_wrap("tds:GetServices", xml_element("tds:IncludeCapability", "false"));
}

std::string set_ipv4_request(const std::string& token, bool dhcp, const std::string& address,
                             int prefix_length) {
    std::string ipv4 = xml_element("tt:Enabled", "true");
    if (!dhcp)
        ipv4 += xml_wrap("tt:Manual", xml_element("tt:Address", address) +
                                          xml_element("tt:PrefixLength", std::to_string(prefix_length)));
    ipv4 += xml_element("tt:DHCP", boolean(dhcp));
    return xml_wrap("tds:SetNetworkInterfaces",
                    xml_element("tds:InterfaceToken", token) +
                        xml_wrap("tds:NetworkInterface", xml_wrap("tt:IPv4", ipv4)));
}

std::string set_default_gateway_request(const std::string& ipv4) {
    return xml_wrap("tds:SetNetworkDefaultGateway",
                    ipv4.empty() ? std::string() : xml_element("tds:IPv4Address", ipv4));
}

std::string set_system_date_and_time_request(DateTimeType type, bool daylight_savings,
                                             const std::string& time_zone, std::optional<std::int64_t> utc) {
    std::string body = xml_element("tds:DateTimeType", type == DateTimeType::NTP ? "NTP" : "Manual") +
                       xml_element("tds:DaylightSavings", boolean(daylight_savings));
    if (!time_zone.empty()) body += xml_wrap("tds:TimeZone", xml_element("tt:TZ", time_zone));
    if (type == DateTimeType::Manual && utc) body += xml_wrap("tds:UTCDateTime", date_time(*utc));
    return xml_wrap("tds:SetSystemDateAndTime", body);
}

std::string set_ntp_request(const std::string& server) {
    std::string host = is_ipv4_address(server)
                           ? xml_element("tt:Type", "IPv4") + xml_element("tt:IPv4Address", server)
                           : xml_element("tt:Type", "DNS") + xml_element("tt:DNSname", server);
    return xml_wrap("tds:SetNTP", xml_element("tds:FromDHCP", "false") + xml_wrap("tds:NTPManual", host));
}

std::string set_user_request(const User& user, const std::string& password) {
    return xml_wrap("tds:SetUser", xml_wrap("tds:User", xml_element("tt:Username", user.name) +
                                                            xml_element("tt:Password", password) +
                                                            xml_element("tt:UserLevel", user.level)));
}

std::string set_factory_default_soft_request() {
    return xml_wrap("tds:SetSystemFactoryDefault", xml_element("tds:FactoryDefault", "Soft"));
}

bool is_ipv4_address(const std::string& text) {
    in_addr parsed{};
    return ::inet_pton(AF_INET, text.c_str(), &parsed) == 1;
}

}  // namespace onvif
