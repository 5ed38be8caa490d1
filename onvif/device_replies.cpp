#include "onvif/device_replies.h"

#include <tinyxml.h>

#include <algorithm>
#include <cstdio>
#include <initializer_list>

#include "onvif/device_requests.h"
#include "onvif/username_token.h"
#include "onvif/xs_duration.h"

namespace onvif {

namespace {

Result bad(std::string detail) { return {Status::BadAnswer, std::move(detail)}; }

std::string http_text(long status) { return "HTTP " + std::to_string(status); }

// Fault names that mean the login itself was not accepted: ONVIF's own, and
// the WS-Security ones some cameras send instead (an expired Created too).
constexpr std::string_view kLoginFaults[] = {
    "NotAuthorized",   "FailedAuthentication",     "InvalidSecurity",          "InvalidSecurityToken",
    "FailedCheck",     "SecurityTokenUnavailable", "UnsupportedSecurityToken", "MessageExpired",
};

bool fault_names(const Envelope& fault, std::string_view name) {
    return fault.fault_code == name ||
           std::find(fault.fault_subcodes.begin(), fault.fault_subcodes.end(), name) != fault.fault_subcodes.end();
}

bool is_login_fault(const Envelope& fault) {
    return std::any_of(std::begin(kLoginFaults), std::end(kLoginFaults),
                       [&](std::string_view name) { return fault_names(fault, name); });
}

// xs:boolean; `fallback` for anything else (an element left out).
bool read_bool(const TiXmlElement* element, bool fallback) {
    std::string value = text(element);
    if (value == "true" || value == "1") return true;
    if (value == "false" || value == "0") return false;
    return fallback;
}

// A small non-negative xs:int; -1 for anything else.
int read_small_int(const TiXmlElement* element) {
    std::string value = text(element);
    if (value.empty() || value.size() > 6) return -1;
    int n = 0;
    for (char c : value) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

// The IPv4 address an interface uses: the DHCP one when DHCP is on, else
// the first manual one; the other where the first is missing.
void read_ipv4(const TiXmlElement* ipv4, NetworkInterface* out) {
    const TiXmlElement* config = child(ipv4, "Config");
    out->dhcp = read_bool(child(config, "DHCP"), false);
    if (!read_bool(child(ipv4, "Enabled"), ipv4 != nullptr)) return;
    const TiXmlElement* first = child(config, out->dhcp ? "FromDHCP" : "Manual");
    const TiXmlElement* second = child(config, out->dhcp ? "Manual" : "FromDHCP");
    const TiXmlElement* used = !text(child(first, "Address")).empty() ? first : second;
    out->address = text(child(used, "Address"));
    out->prefix_length = std::clamp(read_small_int(child(used, "PrefixLength")), 0, 32);
}

// tt:DateTime as ms since the epoch; nothing when a field is missing or out
// of range.
std::optional<std::int64_t> read_date_time(const TiXmlElement* date_time) {
    int fields[] = {
        read_small_int(path(date_time, {"Date", "Year"})), read_small_int(path(date_time, {"Date", "Month"})),
        read_small_int(path(date_time, {"Date", "Day"})),  read_small_int(path(date_time, {"Time", "Hour"})),
        read_small_int(path(date_time, {"Time", "Minute"})), read_small_int(path(date_time, {"Time", "Second"})),
    };
    if (fields[0] < 1970 || fields[0] > 9999) return std::nullopt;
    // Two digits each; parse_xs_datetime judges the ranges of month, day...
    if (std::any_of(fields + 1, std::end(fields), [](int field) { return field < 0 || field > 99; }))
        return std::nullopt;
    char xs[32];
    std::snprintf(xs, sizeof xs, "%04d-%02d-%02dT%02d:%02d:%02dZ", fields[0], fields[1], fields[2], fields[3],
                  fields[4], fields[5]);
    return parse_xs_datetime(xs);
}

// An optional xs:duration field of the firmware ticket: 0 when absent.
Result read_wait(const TiXmlElement* response, const char* name, std::int64_t* out_ms) {
    const TiXmlElement* element = child(response, name);
    if (element == nullptr) return {};
    std::optional<std::int64_t> ms = parse_xs_duration(text(element));
    if (!ms) return bad(std::string(name) + " is not a duration: " + one_line(text(element), 40));
    if (*ms < 0 || *ms > kMaxDeviceWaitMs) return bad(std::string(name) + " out of range: " + one_line(text(element), 40));
    *out_ms = *ms;
    return {};
}

}  // namespace

std::string one_line(std::string_view text, std::size_t max_bytes) {
    std::string out;
    out.reserve(std::min(text.size(), max_bytes));
    for (char c : text) out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? ' ' : c;
    if (out.size() > max_bytes) {
        std::size_t cut = max_bytes;
        // Back to the start of a UTF-8 sequence, so no character is split.
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
        out.resize(cut);
    }
    return out;
}

Result fault_result(const Envelope& fault) {
    std::string names = fault.fault_code;
    for (const std::string& sub : fault.fault_subcodes) names += "/" + sub;
    std::string detail = one_line("fault " + names + (fault.fault_reason.empty() ? "" : ": " + fault.fault_reason));
    if (is_login_fault(fault)) return {Status::AuthRefused, detail};
    if (fault_names(fault, "ActionNotSupported")) return {Status::NotSupported, detail};
    return {Status::Fault, detail};
}

Result read_answer(const HttpAnswer& answer, std::string_view operation, Envelope* out) {
    if (answer.status >= 300 && answer.status < 400) return bad("redirect not followed (" + http_text(answer.status) + ")");
    if (answer.status == 401)
        return {Status::AuthRefused, answer.digest_offered ? "login refused (HTTP 401)"
                                                           : "login refused (HTTP 401 without a Digest challenge)"};
    std::string error = "empty answer";
    bool parsed = !answer.body.empty() && parse_envelope(answer.body, out, &error);
    if (parsed && out->is_fault) return fault_result(*out);
    if (answer.status == 404 || answer.status == 405) return {Status::NotSupported, http_text(answer.status)};
    if (answer.status >= 400 && answer.status < 600) return {Status::Fault, http_text(answer.status)};
    if (answer.status < 200 || answer.status >= 300) return bad("unexpected " + http_text(answer.status));
    if (!parsed) return bad(error);
    std::string expected = response_name(operation);
    std::string got = out->body_element ? std::string(local_name(out->body_element->Value())) : "an empty Body";
    if (got != expected) return bad("answer is " + one_line(got, 60) + ", not " + expected);
    return {};
}

Result read_upload_answer(const HttpAnswer& answer) {
    if (answer.status >= 200 && answer.status < 300) return {};
    if (answer.status == 415) return {Status::Fault, "the device refused the file (HTTP 415)"};
    Envelope fault;
    return read_answer(answer, "upload", &fault);
}

Result read_device_information(const Envelope& answer, DeviceInformation* out) {
    const TiXmlElement* r = answer.body_element;
    out->manufacturer = text(child(r, "Manufacturer"));
    out->model = text(child(r, "Model"));
    out->firmware_version = text(child(r, "FirmwareVersion"));
    out->serial_number = text(child(r, "SerialNumber"));
    out->hardware_id = text(child(r, "HardwareId"));
    // The upgrade is judged by this version changing: a missing one must not
    // read as a new one.
    if (out->firmware_version.empty()) return bad("no FirmwareVersion");
    return {};
}

Result read_network_interfaces(const Envelope& answer, std::vector<NetworkInterface>* out) {
    out->clear();
    for (const TiXmlElement* e = child(answer.body_element, "NetworkInterfaces"); e != nullptr; e = next_sibling(e)) {
        NetworkInterface nic;
        nic.token = attribute(e, "token");
        nic.enabled = read_bool(child(e, "Enabled"), true);
        nic.mac = path_text(e, {"Info", "HwAddress"});
        read_ipv4(child(e, "IPv4"), &nic);
        out->push_back(std::move(nic));
    }
    if (out->empty()) return bad("no network interface");
    return {};
}

Result read_services(const Envelope& answer, Services* out) {
    *out = Services{};
    const std::pair<const char*, std::string*> wanted[] = {
        {kNsDevice, &out->device}, {kNsMedia, &out->media},     {kNsMedia2, &out->media2},
        {kNsPtz, &out->ptz},       {kNsImaging, &out->imaging}};
    for (const TiXmlElement* e = child(answer.body_element, "Service"); e != nullptr; e = next_sibling(e)) {
        std::string ns = text(child(e, "Namespace"));
        for (const auto& [uri, address] : wanted)
            if (ns == uri && address->empty()) *address = text(child(e, "XAddr"));
    }
    return {};
}

Result read_system_date_and_time(const Envelope& answer, SystemDateTime* out) {
    const TiXmlElement* sdt = child(answer.body_element, "SystemDateAndTime");
    if (sdt == nullptr) return bad("no SystemDateAndTime");
    *out = SystemDateTime{};
    out->type = text(child(sdt, "DateTimeType")) == "NTP" ? DateTimeType::NTP : DateTimeType::Manual;
    out->daylight_savings = read_bool(child(sdt, "DaylightSavings"), false);
    out->time_zone = path_text(sdt, {"TimeZone", "TZ"});
    if (const TiXmlElement* utc = child(sdt, "UTCDateTime")) {
        out->utc = read_date_time(utc);
        if (!out->utc) return bad("UTCDateTime is not a time");
    }
    return {};
}

Result read_users(const Envelope& answer, std::vector<User>* out) {
    out->clear();
    for (const TiXmlElement* e = child(answer.body_element, "User"); e != nullptr; e = next_sibling(e))
        out->push_back({text(child(e, "Username")), text(child(e, "UserLevel"))});
    return {};
}

Result read_reboot_needed(const Envelope& answer, bool* reboot_needed) {
    // Required by the schema; a device that leaves it out took the setting,
    // and is then looked for at the new address, as when it says false.
    *reboot_needed = read_bool(child(answer.body_element, "RebootNeeded"), false);
    return {};
}

Result read_firmware_upgrade(const Envelope& answer, FirmwareUpgradeTicket* out) {
    const TiXmlElement* r = answer.body_element;
    *out = FirmwareUpgradeTicket{};
    out->upload_uri = text(child(r, "UploadUri"));
    if (out->upload_uri.empty()) return bad("no UploadUri");
    Result delay = read_wait(r, "UploadDelay", &out->upload_delay_ms);
    if (!delay.ok()) return delay;
    return read_wait(r, "ExpectedDownTime", &out->expected_down_time_ms);
}

}  // namespace onvif
