#include "sim/onvif/onvif_camera.h"

#include <openssl/sha.h>

#include <cctype>
#include <cstdio>
#include <utility>

#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace {

constexpr std::size_t kMaxRecorded = 100;       // refusals kept, newest last
constexpr std::size_t kMaxOperationNames = 64;  // distinct names counted; the rest as "other"

std::string mac_digits(const std::string& mac) {
    std::string digits;
    for (char c : mac)
        if (c != ':' && c != '-') digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return digits;
}

// A name-based UUID (version 5 layout) of the MAC: stable across runs and
// reboots, different for every camera.
std::string endpoint_of(const std::string& mac) {
    std::string seed = "ipcsim onvif camera " + mac_digits(mac);
    unsigned char hash[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(seed.data()), seed.size(), hash);
    hash[6] = static_cast<unsigned char>((hash[6] & 0x0F) | 0x50);
    hash[8] = static_cast<unsigned char>((hash[8] & 0x3F) | 0x80);
    char text[64];
    std::snprintf(text, sizeof text,
                  "urn:uuid:%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", hash[0], hash[1],
                  hash[2], hash[3], hash[4], hash[5], hash[6], hash[7], hash[8], hash[9], hash[10], hash[11], hash[12],
                  hash[13], hash[14], hash[15]);
    return text;
}

// Scope values are URI path segments: everything but the unreserved
// characters and '/' is percent-encoded.
std::string scope_value(const std::string& value) {
    std::string out;
    for (unsigned char c : value) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            out += escaped;
        }
    }
    return out;
}

template <class T>
void append_bounded(std::vector<T>& list, T value) {
    if (list.size() >= kMaxRecorded) list.erase(list.begin());
    list.push_back(std::move(value));
}

}  // namespace

OnvifCamera::OnvifCamera(std::shared_ptr<SimCamera> camera, OnvifCameraSettings settings,
                         const std::map<std::string, std::string>& accounts, std::int64_t down_ms)
    : m_camera(std::move(camera)),
      m_settings(std::move(settings)),
      m_accounts(accounts),
      m_down_ms(down_ms),
      m_factory_identity(m_camera->identity()),
      m_clock_offset_ms(m_settings.faults.clock_offset_s * 1000),
      m_tokens(m_settings.token_window_s * 1000, m_settings.allow_reused_nonces),
      m_instance_id(static_cast<std::uint64_t>(rt_calendar_ms() / 1000)) {
    std::string digits = mac_digits(m_factory_identity.mac);
    m_endpoint = endpoint_of(m_factory_identity.mac);
    m_serial = "SIM" + digits;
    m_name = m_settings.name.empty() ? "SIMCAM-" + digits.substr(digits.size() > 6 ? digits.size() - 6 : 0)
                                     : m_settings.name;
    m_device.users = factory_users();
}

std::map<std::string, OnvifUser> OnvifCamera::factory_users() const {
    std::map<std::string, OnvifUser> users;
    const std::string& other = m_settings.faults.password;
    for (const auto& [name, password] : m_accounts) users[name].password = other.empty() ? password : other;
    return users;
}

std::string OnvifCamera::http_base() const {
    CameraIdentity id = m_camera->identity();
    return "http://" + id.ip + ":" + std::to_string(id.http_port);
}

std::string OnvifCamera::stream_uri() const {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_stream_uri.empty()) return m_stream_uri;
    return "rtsp://" + m_camera->identity().ip + ":554/stream1";
}

void OnvifCamera::set_stream_uri(const std::string& uri) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_stream_uri = uri;
}

std::string OnvifCamera::ir_cut() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_ir_cut;
}

void OnvifCamera::set_ir_cut(const std::string& mode) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_ir_cut = mode;
    ++m_record.ir_cut_sets;
    append_bounded(m_record.ir_cut_requests, mode);
}

std::vector<std::string> OnvifCamera::scopes() const {
    const std::string base = "onvif://www.onvif.org/";
    return {base + "type/video_encoder", base + "Profile/Streaming", base + "hardware/" + scope_value(m_settings.model),
            base + "name/" + scope_value(m_name), base + "location/" + scope_value(m_settings.location)};
}

std::int64_t OnvifCamera::clock_ms() {
    std::lock_guard<std::mutex> guard(m_lock);
    return rt_calendar_ms() + m_clock_offset_ms;
}

void OnvifCamera::set_clock(std::int64_t utc_ms) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_clock_offset_ms = utc_ms - rt_calendar_ms();
}

TokenVerdict OnvifCamera::check_token(const onvif::UsernameToken& token) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto user = m_device.users.find(token.user);
    const std::string* password = user == m_device.users.end() ? nullptr : &user->second.password;
    TokenVerdict verdict = m_tokens.check(token, password, rt_calendar_ms() + m_clock_offset_ms);
    if (verdict == TokenVerdict::clear_text) ++m_record.clear_text_logins;
    if (verdict == TokenVerdict::ok) ++m_record.token_logins;
    else ++m_record.refused_logins;
    return verdict;
}

bool OnvifCamera::password_of(const std::string& user, std::string* password) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_device.users.find(user);
    if (it == m_device.users.end()) return false;
    *password = it->second.password;
    return true;
}

void OnvifCamera::count_login(LoginKind kind, bool accepted) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!accepted) ++m_record.refused_logins;
    else if (kind == LoginKind::digest) ++m_record.digest_logins;
    else ++m_record.token_logins;
}

void OnvifCamera::count_clear_text() {
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_record.clear_text_logins;
}

void OnvifCamera::count_operation(const std::string& name) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto& counts = m_record.operations;
    bool known = counts.count(name) != 0 || counts.size() < kMaxOperationNames;
    ++counts[known ? name : "other"];
}

void OnvifCamera::factory_default(bool hard) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        bool dhcp = m_device.dhcp;
        m_device = OnvifDeviceSettings{};
        m_device.users = factory_users();
        if (!hard) m_device.dhcp = dhcp;  // the network settings stay
        ++(hard ? m_record.hard_resets : m_record.soft_resets);
    }
    if (hard) {
        m_camera->update([this](CameraIdentity& id) {
            id.ip = m_factory_identity.ip;
            id.mask = m_factory_identity.mask;
            id.gateway = m_factory_identity.gateway;
        });
    }
}

std::string OnvifCamera::issue_upload_ticket() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_back_at_ms >= 0) return "";
    std::string bytes = onvif::random_bytes(16);
    m_ticket.clear();
    for (unsigned char c : bytes) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", c);
        m_ticket += hex;
    }
    return m_ticket;
}

bool OnvifCamera::claim_ticket(const std::string& ticket) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_ticket.empty() || ticket != m_ticket) return false;
    m_ticket.clear();
    return true;
}

void OnvifCamera::record_upload(const std::string& sha256_hex, std::uint64_t bytes, const std::string& new_version) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_record.image_sha256 = sha256_hex;
    m_record.image_bytes = bytes;
    ++m_record.upgrades;
    m_pending_version = new_version;
}

void OnvifCamera::record_refusal(const std::string& why) {
    std::lock_guard<std::mutex> guard(m_lock);
    append_bounded(m_record.upgrade_refusals, why);
}

void OnvifCamera::reboot() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_back_at_ms = rt_clock_ms() + m_down_ms;
        m_ticket.clear();
        ++m_record.reboots;
    }
    m_camera->set_online(false);
    TRACE_MSG("OnvifCamera::reboot", "%s down for %lld ms\n", m_factory_identity.mac.c_str(),
              static_cast<long long>(m_down_ms));
}

void OnvifCamera::tick(std::int64_t now_ms) {
    std::string version;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_back_at_ms < 0 || now_ms < m_back_at_ms) return;
        m_back_at_ms = -1;
        version = std::exchange(m_pending_version, std::string());
    }
    if (!version.empty()) m_camera->update([&](CameraIdentity& id) { id.version = version; });
    if (m_settings.faults.never_come_back) return;
    ++m_instance_id;
    m_camera->set_online(true);
}

nlohmann::json OnvifCamera::to_json() {
    std::lock_guard<std::mutex> guard(m_lock);
    const OnvifDeviceSettings& d = m_device;
    const OnvifRecord& r = m_record;
    nlohmann::json users = nlohmann::json::object();
    for (const auto& [name, user] : d.users) users[name] = {{"password", user.password}, {"level", user.level}};
    nlohmann::json kinds = nlohmann::json::array();
    if (r.token_logins > 0) kinds.push_back("token");
    if (r.digest_logins > 0) kinds.push_back("digest");
    const OnvifMediaSettings& m = m_settings.media;
    nlohmann::json media = {{"media2", m.media2},
                            {"codec", m.h265 ? "H265" : "H264"},
                            {"width", m.width},
                            {"height", m.height},
                            {"stream_uri", m_stream_uri}};
    nlohmann::json out = {
        {"endpoint", m_endpoint},
        {"login_mode", login_mode_name(m_settings.login)},
        {"dhcp", d.dhcp},
        {"users", users},
        {"date_time_type", d.date_time_type == onvif::DateTimeType::NTP ? "NTP" : "Manual"},
        {"daylight_savings", d.daylight_savings},
        {"time_zone", d.time_zone},
        {"clock_offset_s", m_clock_offset_ms / 1000},
        {"ntp", {{"from_dhcp", d.ntp_from_dhcp}, {"servers", d.ntp_servers}}},
        {"logins", {{"token", r.token_logins}, {"digest", r.digest_logins}, {"refused", r.refused_logins}}},
        {"login_kinds", kinds},
        {"clear_text_logins", r.clear_text_logins},
        {"operations", r.operations},
        {"factory_resets", {{"soft", r.soft_resets}, {"hard", r.hard_resets}}},
        {"reboots", r.reboots},
        {"upgrades", r.upgrades},
        {"upgrade_refusals", r.upgrade_refusals},
        {"image_sha256", r.image_sha256},
        {"image_bytes", r.image_bytes},
        {"media", media},
    };
    if (m.ptz) out["ptz"] = m_ptz.to_json(rt_clock_ms());
    if (m.imaging)
        out["imaging"] = {{"ir_cut_filter", m_ir_cut}, {"sets", r.ir_cut_sets}, {"requests", r.ir_cut_requests}};
    return out;
}
