#pragma once

// One simulated ONVIF camera: its settings, its clock, its logins, its
// firmware upgrade and reboot, and what it has seen (for the state dump).
// Thread-safe: the HTTP server's connection threads, the WS-Discovery
// responder and the side's timer all use it.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "onvif/onvif_device.h"
#include "onvif/username_token.h"
#include "sim/onvif/onvif_settings.h"
#include "sim/onvif/sim_ptz.h"
#include "sim/onvif/token_check.h"
#include "sim/sim_camera.h"

struct OnvifUser {
    std::string password;
    std::string level = "Administrator";
};

// What the device service sets, and what a factory default puts back.
struct OnvifDeviceSettings {
    std::map<std::string, OnvifUser> users;
    onvif::DateTimeType date_time_type = onvif::DateTimeType::Manual;
    bool daylight_savings = false;
    std::string time_zone = "UTC0";
    bool ntp_from_dhcp = false;
    std::vector<std::string> ntp_servers;
    bool dhcp = false;
};

// What the camera has received, for tests to read from the state dump.
struct OnvifRecord {
    int token_logins = 0;
    int digest_logins = 0;
    int refused_logins = 0;
    int clear_text_logins = 0;  // PasswordText tokens and HTTP Basic: the tool must never send one
    std::map<std::string, int> operations;
    int soft_resets = 0;
    int hard_resets = 0;
    int reboots = 0;
    int upgrades = 0;
    std::vector<std::string> upgrade_refusals;
    std::string image_sha256;  // of the last file received whole
    std::uint64_t image_bytes = 0;
    int ir_cut_sets = 0;
    std::vector<std::string> ir_cut_requests;  // the modes set, newest last
};

enum class LoginKind { token, digest };

class OnvifCamera {
public:
    OnvifCamera(std::shared_ptr<SimCamera> camera, OnvifCameraSettings settings,
                const std::map<std::string, std::string>& accounts, std::int64_t down_ms);

    CameraIdentity identity() const { return m_camera->identity(); }
    // A new address, mask or gateway (the listeners follow it).
    template <class F>
    void update_identity(F&& change) {
        m_camera->update(std::forward<F>(change));
    }
    bool online() const { return m_camera->online(); }
    const OnvifCameraSettings& settings() const { return m_settings; }
    std::int64_t down_ms() const { return m_down_ms; }

    // "urn:uuid:...", the same for the camera's whole life (made from its MAC).
    const std::string& endpoint() const { return m_endpoint; }
    const std::string& serial_number() const { return m_serial; }
    const std::string& name() const { return m_name; }
    // "http://<address>:<port>", from the current address.
    std::string http_base() const;
    std::string device_xaddr() const { return http_base() + "/onvif/device_service"; }
    // The other services' addresses (offered or not: the settings tell).
    std::string media_xaddr() const { return http_base() + "/onvif/media_service"; }
    std::string media2_xaddr() const { return http_base() + "/onvif/media2_service"; }
    std::string ptz_xaddr() const { return http_base() + "/onvif/ptz_service"; }
    std::string imaging_xaddr() const { return http_base() + "/onvif/imaging_service"; }

    // What GetStreamUri answers: the stream the side serves for the camera,
    // or, before one is served, where it would be.
    std::string stream_uri() const;
    void set_stream_uri(const std::string& uri);
    std::vector<std::string> scopes() const;

    // The camera's UTC clock in ms since the epoch: the host's calendar
    // time plus the camera's own offset.
    std::int64_t clock_ms();
    // Sets the clock to `utc_ms`.
    void set_clock(std::int64_t utc_ms);

    // Runs `use` on the settings under the camera's lock; `use` must not
    // call back into the camera.
    template <class F>
    auto with_settings(F&& use) {
        std::lock_guard<std::mutex> guard(m_lock);
        return use(m_device);
    }
    template <class F>
    auto with_record(F&& use) {
        std::lock_guard<std::mutex> guard(m_lock);
        return use(m_record);
    }
    template <class F>
    auto with_ptz(F&& use) {
        std::lock_guard<std::mutex> guard(m_lock);
        return use(m_ptz);
    }

    // The imaging service's IR-cut filter: "ON", "OFF" or "AUTO".
    std::string ir_cut();
    void set_ir_cut(const std::string& mode);

    // Logins. check_token counts the outcome; password_of serves the HTTP
    // digest check, whose outcome count_login records.
    TokenVerdict check_token(const onvif::UsernameToken& token);
    bool password_of(const std::string& user, std::string* password);
    void count_login(LoginKind kind, bool accepted);
    void count_clear_text();
    void count_operation(const std::string& name);

    // Back to the factory: users, time and NTP settings; `hard` also the
    // network settings (the camera then reboots).
    void factory_default(bool hard);

    // Firmware. A ticket names the one upload the camera takes next;
    // claim_ticket takes it (once). "" when the camera cannot take one.
    std::string issue_upload_ticket();
    bool claim_ticket(const std::string& ticket);
    void record_upload(const std::string& sha256_hex, std::uint64_t bytes, const std::string& new_version);
    void record_refusal(const std::string& why);

    // Goes offline now and comes back after the down time with the pending
    // version (if an upload left one), unless told never to come back.
    void reboot();
    // Ends a reboot whose time has come; called by the side's timer.
    void tick(std::int64_t now_ms);

    // WS-Discovery's AppSequence: the instance grows with every boot, the
    // message number with every message.
    std::uint64_t instance_id() const { return m_instance_id.load(); }
    std::uint64_t next_message_number() { return ++m_message_number; }

    nlohmann::json to_json();

private:
    std::map<std::string, OnvifUser> factory_users() const;

    std::shared_ptr<SimCamera> m_camera;
    const OnvifCameraSettings m_settings;
    const std::map<std::string, std::string> m_accounts;
    const std::int64_t m_down_ms;
    const CameraIdentity m_factory_identity;
    std::string m_endpoint, m_serial, m_name;

    mutable std::mutex m_lock;
    OnvifDeviceSettings m_device;
    OnvifRecord m_record;
    std::int64_t m_clock_offset_ms;
    TokenChecker m_tokens;
    std::string m_ticket;
    std::string m_pending_version;
    std::int64_t m_back_at_ms = -1;  // rt_clock_ms when a reboot ends; -1: not rebooting
    SimPtz m_ptz;
    std::string m_ir_cut = "AUTO";
    std::string m_stream_uri;
    std::atomic<std::uint64_t> m_instance_id;
    std::atomic<std::uint64_t> m_message_number{0};
};
