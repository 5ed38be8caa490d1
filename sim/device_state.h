#pragma once

// What one simulated camera's device side knows and has received: accounts
// and logins, settings, recorded commands and controls, the logo, the
// firmware upgrade in progress. Thread-safe; every connection of the camera
// works on it. Observable from outside as JSON.

#include <openssl/evp.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "client/firmware_format.h"
#include "client/kaltro_client.h"
#include "sim/device_faults.h"
#include "sim/live_log.h"
#include "sim/sim_camera.h"

// The values a camera starts with and goes back to on a factory reset.
struct DeviceSettings {
    std::int32_t time_zone = 0;
    std::int32_t time_format = 0;
    std::int32_t language = 0;
    std::int32_t video_standard = 2;
    std::string default_password;
    std::int32_t wifi_ch_max = 13;
    std::int32_t wifi_ch_default = 0;
    std::int32_t dhcp_enable = 1;
    std::int32_t ip_block[5] = {0, 0, 0, 0, 0};
    bool ip_block_set = false;
};

class DeviceState {
public:
    DeviceState(std::shared_ptr<SimCamera> camera, const DeviceSideOptions& options);

    SimCamera& camera() { return *m_camera; }
    LiveLog& live_log() { return m_live_log; }

    // Logins. begin_login answers 0 or a refusal code; finish_login checks
    // the proof and takes a session slot.
    std::int32_t check_login_allowed(const std::string& user);
    bool password_of(const std::string& user, std::string& password);
    std::int32_t take_session_slot();
    void release_session_slot();

    // Fault checks that consume a one-shot fault.
    bool take_answer17(std::int32_t command);
    bool ignores(std::int32_t command);

    std::int32_t get_config(std::int32_t command, std::int32_t size, std::vector<std::uint8_t>& out);
    std::int32_t set_config(std::int32_t command, const std::uint8_t* data, std::size_t size);
    std::int32_t device_control(std::int32_t code, std::int32_t a1, std::int32_t a2, std::int32_t a3);
    std::int32_t ldr_control(std::int32_t command, std::int32_t value);
    std::int32_t ircut(std::int32_t open);
    std::int32_t voice_test(std::int32_t enable);
    std::int32_t ptz(std::int32_t channel, std::uint32_t cmd, std::uint32_t move, std::uint32_t speed);
    CAMERA_ADVANCE_CONFIG capability();
    // What the camera reports about its hardware and storage (tests, demos).
    void set_capability(const CAMERA_ADVANCE_CONFIG& capability);
    void set_storage(std::int32_t disk_cnt, const std::string& text);

    // Firmware upgrade, owned by one connection (`owner`) at a time.
    std::int32_t upgrade_begin(const void* owner, std::uint64_t total_size, const std::uint8_t* header);
    // False when the data does not continue the image (a broken client).
    bool upgrade_data(const void* owner, std::uint64_t offset, const std::uint8_t* data, std::size_t size);
    // Share of the image received, or -1 when `owner` runs no upgrade.
    std::int32_t upgrade_percent(const void* owner);
    bool take_failed_status_poll();
    bool take_drop_mid_transfer(const void* owner);
    // Verifies the image; on success the new version is kept for the reboot.
    std::int32_t upgrade_end(const void* owner);
    void upgrade_abort(const void* owner);
    bool upgrading();
    // The version a verified upgrade installs at the next reboot ("" if none).
    std::string take_pending_version();
    bool never_come_back();

    nlohmann::json to_json();

private:
    std::int32_t set_time(const std::uint8_t* data, std::size_t size);
    std::int32_t set_customer_cfg(const std::uint8_t* data, std::size_t size);
    std::int32_t run_shell(const std::uint8_t* data, std::size_t size);
    std::int32_t logo_step(std::int32_t command, const std::uint8_t* data, std::size_t size);
    void fill_device_info(IPC_DEVICE_INFO& info);
    void factory_reset();

    struct Logo {
        bool active = false;
        std::int64_t expected = 0;
        std::vector<std::uint8_t> received;
        std::int64_t stored_length = -1;  // length of the last finished upload
        int finished = 0;
    };
    struct Upgrade {
        const void* owner = nullptr;
        kaltro::FirmwareHeader header;
        std::uint64_t received = 0;
        std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> hash{nullptr, EVP_MD_CTX_free};
    };

    std::mutex m_lock;
    std::shared_ptr<SimCamera> m_camera;
    std::map<std::string, std::string> m_accounts;
    const std::map<std::string, std::string> m_default_accounts;
    int m_max_sessions;
    int m_sessions = 0;
    int m_logins = 0;
    DeviceFaults m_faults;
    LiveLog m_live_log;

    DeviceSettings m_settings;
    int m_settings_applied = 0;
    bool m_time_set = false;
    DEVICE_TIME m_time{};
    std::vector<std::string> m_shell;
    std::map<std::string, std::string> m_files;
    Logo m_logo;
    int m_factory_resets = 0;
    int m_password_resets = 0;
    bool m_white_light = false, m_ir_light = false;
    int m_light_switches = 0;
    std::int32_t m_ircut = -1;
    int m_voice_tests = 0;
    std::vector<std::uint32_t> m_ptz_moves;
    std::map<std::int32_t, std::int32_t> m_ldr;
    CAMERA_ADVANCE_CONFIG m_capability{};
    std::string m_pid = "PSIM0001", m_uid, m_board_name = "SIMBOARD";
    std::int32_t m_disk_cnt = 1;
    std::string m_disk_text = "TF 32GB";

    Upgrade m_upgrade;
    std::string m_pending_version;
    int m_upgrades_done = 0;
    std::vector<std::string> m_upgrade_refusals;
};
