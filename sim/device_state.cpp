#include "sim/device_state.h"

#include <cstring>

#include "client/device_time.h"
#include "client/protocol.h"

namespace {

constexpr std::int64_t kMaxLogo = 4 * 1024 * 1024;
constexpr std::size_t kMaxRecorded = 1000;  // recorded lists keep their newest entries

void copy_text(char* field, std::size_t size, const std::string& text) {
    std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

template <class T>
void append_bounded(std::vector<T>& list, T value) {
    if (list.size() >= kMaxRecorded) list.erase(list.begin());
    list.push_back(std::move(value));
}

template <class Record>
void put_record(const Record& record, std::vector<std::uint8_t>& out) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&record);
    out.assign(p, p + sizeof(record));
}

DEVICE_TIME local_time_record() {
    DEVICE_TIME t{};
    device_time_set_now(t);
    return t;
}

std::string uid_for(const std::string& mac) {
    std::string uid = "simuid";
    for (char c : mac)
        if (c != ':') uid += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return uid;
}

}  // namespace

DeviceState::DeviceState(std::shared_ptr<SimCamera> camera, const DeviceSideOptions& options)
    : m_camera(std::move(camera)),
      m_accounts(options.accounts),
      m_default_accounts(options.accounts),
      m_max_sessions(options.max_sessions) {
    CameraIdentity id = m_camera->identity();
    if (const DeviceFaults* faults = options.faults_for(id.mac)) m_faults = *faults;
    m_uid = uid_for(id.mac);
    m_capability.mic = 1;
    m_capability.speaker = 1;
    m_capability.ptz = 1;
    m_capability.light_type = 1;
    m_capability.light_mode = 1;
}

std::int32_t DeviceState::check_login_allowed(const std::string& user) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_faults.refuse_login != 0) return m_faults.refuse_login;
    if (m_upgrade.owner != nullptr) return NETWORK_ERR_BUSY;  // flashing: no new logins
    if (m_accounts.find(user) == m_accounts.end()) return NETWORK_ERR_USER;
    return NETWORK_OK;
}

bool DeviceState::password_of(const std::string& user, std::string& password) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_accounts.find(user);
    if (it == m_accounts.end()) return false;
    password = it->second;
    return true;
}

std::int32_t DeviceState::take_session_slot() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_sessions >= m_max_sessions) return NETWORK_ERR_MAX_USER;
    ++m_sessions;
    ++m_logins;
    return NETWORK_OK;
}

void DeviceState::release_session_slot() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_sessions > 0) --m_sessions;
}

bool DeviceState::take_answer17(std::int32_t command) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_faults.answer17_command == 0 || m_faults.answer17_command != command) return false;
    m_faults.answer17_command = 0;
    return true;
}

bool DeviceState::ignores(std::int32_t command) {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_faults.ignore_command != 0 && m_faults.ignore_command == command;
}

void DeviceState::fill_device_info(IPC_DEVICE_INFO& info) {
    CameraIdentity id = m_camera->identity();
    copy_text(info.board_name, sizeof(info.board_name), m_board_name);
    info.board_id = static_cast<std::uint32_t>(id.board_type);
    copy_text(info.mac, sizeof(info.mac), id.mac);
    copy_text(info.software_version, sizeof(info.software_version), id.version);
    copy_text(info.pid, sizeof(info.pid), m_pid);
    copy_text(info.uid, sizeof(info.uid), m_uid);
    copy_text(info.qrcode, sizeof(info.qrcode), "https://qr.example/" + m_uid);
}

std::int32_t DeviceState::get_config(std::int32_t command, std::int32_t size, std::vector<std::uint8_t>& out) {
    std::lock_guard<std::mutex> guard(m_lock);
    switch (command) {
        case NETWORK_CMD_GET_DEVICE_INFO: {
            IPC_DEVICE_INFO info{};
            fill_device_info(info);
            put_record(info, out);
            break;
        }
        case NETWORK_CMD_GET_USB_INFO: {
            USB_INFO usb{};
            usb.disk_cnt = m_disk_cnt;
            copy_text(usb.disk_text, sizeof(usb.disk_text), m_disk_text);
            put_record(usb, out);
            break;
        }
        case NETWORK_CMD_GET_TIME:
            put_record(m_time_set ? m_time : local_time_record(), out);
            break;
        default:
            return NETWORK_ERR_NOT_SUPPORTED;
    }
    if (out.size() != static_cast<std::size_t>(size)) {
        out.clear();
        return NETWORK_ERR_INVALID_ARG;
    }
    return NETWORK_OK;
}

std::int32_t DeviceState::set_config(std::int32_t command, const std::uint8_t* data, std::size_t size) {
    std::lock_guard<std::mutex> guard(m_lock);
    switch (command) {
        case NETWORK_CMD_SET_TIME: return set_time(data, size);
        case NETWORK_CMD_CUSTOMER_CFG: return set_customer_cfg(data, size);
        case NETWORK_CMD_SHELL: return run_shell(data, size);
        case NETWORK_CMD_LOGO_START:
        case NETWORK_CMD_LOGO_DATA:
        case NETWORK_CMD_LOGO_FINISH: return logo_step(command, data, size);
        default: return NETWORK_ERR_NOT_SUPPORTED;
    }
}

std::int32_t DeviceState::set_time(const std::uint8_t* data, std::size_t size) {
    if (size != sizeof(DEVICE_TIME)) return NETWORK_ERR_INVALID_ARG;
    DEVICE_TIME t;
    std::memcpy(&t, data, sizeof(t));
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour < 0 || t.hour > 23 || t.minute < 0 ||
        t.minute > 59 || t.second < 0 || t.second > 59)
        return NETWORK_ERR_INVALID_ARG;
    m_time = t;
    m_time_set = true;
    return NETWORK_OK;
}

std::int32_t DeviceState::set_customer_cfg(const std::uint8_t* data, std::size_t size) {
    if (size != sizeof(CUSTOMER_CFG)) return NETWORK_ERR_INVALID_ARG;
    CUSTOMER_CFG cfg;
    std::memcpy(&cfg, data, sizeof(cfg));
    // Only the fields whose apply flag is set change; the rest stay.
    DeviceSettings& s = m_settings;
    if (cfg.set_time_zone) s.time_zone = cfg.time_zone;
    if (cfg.set_time_format) s.time_format = cfg.time_format;
    if (cfg.set_language) s.language = cfg.language;
    if (cfg.set_video_standard) s.video_standard = cfg.video_standard;
    if (cfg.set_password) {
        s.default_password.assign(cfg.password, strnlen(cfg.password, sizeof(cfg.password) - 1));
        if (!m_accounts.empty()) m_accounts.begin()->second = s.default_password;
    }
    if (cfg.set_wifi_ch_max) s.wifi_ch_max = cfg.wifi_ch_max;
    if (cfg.set_wifi_ch_default) s.wifi_ch_default = cfg.wifi_ch_default;
    if (cfg.set_network) s.dhcp_enable = cfg.dhcp_enable;
    if (cfg.set_ip) {
        std::memcpy(s.ip_block, cfg.ip, sizeof(s.ip_block));
        s.ip_block_set = true;
    }
    ++m_settings_applied;
    return NETWORK_OK;
}

std::int32_t DeviceState::run_shell(const std::uint8_t* data, std::size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    std::size_t length = size == 0 ? 0 : strnlen(text, size);
    if (size == 0 || size > NETWORK_SHELL_LINE_SIZE || length == size) return NETWORK_ERR_INVALID_ARG;
    std::string line(text, length);
    append_bounded(m_shell, line);
    // "echo VALUE >FILE" writes the file, as the camera's shell would.
    std::size_t redirect = line.rfind(" >");
    if (line.rfind("echo ", 0) == 0 && redirect != std::string::npos && redirect >= 4) {
        std::string path = line.substr(redirect + 2);
        if (!path.empty() && path.find(' ') == std::string::npos)
            m_files[path] = line.substr(5, redirect > 5 ? redirect - 5 : 0) + "\n";
    }
    return NETWORK_OK;
}

std::int32_t DeviceState::logo_step(std::int32_t command, const std::uint8_t* data, std::size_t size) {
    if (command == NETWORK_CMD_LOGO_START) {
        if (size != 4) return NETWORK_ERR_INVALID_ARG;
        std::int32_t length = kaltro::load_i32(data);
        if (length < 0 || length > kMaxLogo) return NETWORK_ERR_INVALID_ARG;
        m_logo.active = true;
        m_logo.expected = length;
        m_logo.received.clear();
        return NETWORK_OK;
    }
    if (!m_logo.active) return NETWORK_ERR_FAIL;
    if (command == NETWORK_CMD_LOGO_DATA) {
        if (size > LOGO_PIECE_MAX || static_cast<std::int64_t>(m_logo.received.size() + size) > m_logo.expected)
            return NETWORK_ERR_INVALID_ARG;
        m_logo.received.insert(m_logo.received.end(), data, data + size);
        return NETWORK_OK;
    }
    m_logo.active = false;  // finish
    if (size != 0 || static_cast<std::int64_t>(m_logo.received.size()) != m_logo.expected) return NETWORK_ERR_FAIL;
    m_logo.stored_length = m_logo.expected;
    ++m_logo.finished;
    return NETWORK_OK;
}

void DeviceState::factory_reset() {
    m_settings = DeviceSettings{};
    m_accounts = m_default_accounts;
    m_time_set = false;
    m_files.clear();
    m_ldr.clear();
}

std::int32_t DeviceState::device_control(std::int32_t code, std::int32_t, std::int32_t a2, std::int32_t a3) {
    std::lock_guard<std::mutex> guard(m_lock);
    switch (code) {
        case DEVICE_CTRL_RESTORE_FACTORY:
            ++m_factory_resets;
            factory_reset();
            return NETWORK_OK;
        case DEVICE_CTRL_RESET_PWD:
            ++m_password_resets;
            m_accounts = m_default_accounts;
            return NETWORK_OK;
        case DEVICE_CTRL_LIGHT:
            (a3 == 1 ? m_white_light : m_ir_light) = a2 != 0;
            ++m_light_switches;
            return NETWORK_OK;
        default:
            return NETWORK_ERR_NOT_SUPPORTED;
    }
}

std::int32_t DeviceState::ldr_control(std::int32_t command, std::int32_t value) {
    if (command < NETWORK_CMD_LIGHT_MODE || command > NETWORK_CMD_MODULE_DIRECTION) return NETWORK_ERR_NOT_SUPPORTED;
    std::lock_guard<std::mutex> guard(m_lock);
    m_ldr[command] = value;
    return NETWORK_OK;
}

std::int32_t DeviceState::ircut(std::int32_t open) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_ircut = open != 0;
    return NETWORK_OK;
}

std::int32_t DeviceState::voice_test(std::int32_t) {
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_voice_tests;
    return NETWORK_OK;
}

std::int32_t DeviceState::ptz(std::int32_t, std::uint32_t cmd, std::uint32_t move, std::uint32_t) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_capability.ptz != 1) return NETWORK_ERR_NOT_SUPPORTED;
    if (cmd != 1) return NETWORK_ERR_INVALID_ARG;
    append_bounded(m_ptz_moves, move);
    return NETWORK_OK;
}

CAMERA_ADVANCE_CONFIG DeviceState::capability() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_capability;
}

std::int32_t DeviceState::upgrade_begin(const void* owner, std::uint64_t total_size, const std::uint8_t* header) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_upgrade.owner != nullptr || !m_pending_version.empty()) return NETWORK_ERR_BUSY;
    kaltro::FirmwareHeader parsed;
    auto refuse = [this](std::int32_t code, const std::string& why) {
        append_bounded(m_upgrade_refusals, std::to_string(code) + " " + why);
        return code;
    };
    kaltro::FirmwareCheck check = kaltro::decode_firmware_header(header, parsed);
    if (check != kaltro::FirmwareCheck::ok) return refuse(NETWORK_ERR_UPGRADE_INVALID_FILE, kaltro::firmware_check_text(check));
    if (total_size != kaltro::kFirmwareHeaderSize + parsed.image_size)
        return refuse(NETWORK_ERR_UPGRADE_INVALID_FILE, "file size does not match the header");
    CameraIdentity id = m_camera->identity();
    if (parsed.board_type != id.board_type) return refuse(NETWORK_ERR_UPGRADE_BOARD_TYPE, "board mismatch");
    std::int32_t running[3];
    // Versions may carry a prefix ("V1.0.0"): the numbers decide.
    std::size_t digits = id.version.find_first_of("0123456789");
    if (digits != std::string::npos && kaltro::parse_version(id.version.substr(digits), running) &&
        std::equal(running, running + 3, parsed.version))
        return refuse(NETWORK_ERR_UPGRADE_SAME_VERSION, "same version");
    m_upgrade.owner = owner;
    m_upgrade.header = parsed;
    m_upgrade.received = 0;
    m_upgrade.hash.reset(EVP_MD_CTX_new());
    EVP_DigestInit_ex(m_upgrade.hash.get(), EVP_sha256(), nullptr);
    return NETWORK_OK;
}

bool DeviceState::upgrade_data(const void* owner, std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_upgrade.owner != owner || offset != m_upgrade.received ||
        m_upgrade.received + size > m_upgrade.header.image_size)
        return false;
    EVP_DigestUpdate(m_upgrade.hash.get(), data, size);
    m_upgrade.received += size;
    return true;
}

std::int32_t DeviceState::upgrade_percent(const void* owner) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_upgrade.owner != owner) return -1;
    if (m_upgrade.header.image_size == 0) return 99;
    return static_cast<std::int32_t>(std::min<std::uint64_t>(99, m_upgrade.received * 100 / m_upgrade.header.image_size));
}

bool DeviceState::take_failed_status_poll() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_faults.fail_status_polls <= 0) return false;
    --m_faults.fail_status_polls;
    return true;
}

bool DeviceState::take_drop_mid_transfer(const void* owner) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_faults.drop_at_percent <= 0 || m_upgrade.owner != owner || m_upgrade.header.image_size == 0) return false;
    if (m_upgrade.received * 100 < static_cast<std::uint64_t>(m_faults.drop_at_percent) * m_upgrade.header.image_size)
        return false;
    m_faults.drop_at_percent = 0;
    return true;
}

std::int32_t DeviceState::upgrade_end(const void* owner) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_upgrade.owner != owner) return NETWORK_ERR_FAIL;
    std::uint8_t sum[32];
    EVP_DigestFinal_ex(m_upgrade.hash.get(), sum, nullptr);
    bool complete = m_upgrade.received == m_upgrade.header.image_size;
    bool intact = std::memcmp(sum, m_upgrade.header.image_sha256.data(), sizeof(sum)) == 0;
    m_upgrade.owner = nullptr;
    m_upgrade.hash.reset();
    if (!complete || !intact) {
        append_bounded(m_upgrade_refusals, std::string("10 ") + (complete ? "image check sum mismatch" : "image incomplete"));
        return NETWORK_ERR_UPGRADE_INVALID_FILE;
    }
    m_pending_version = kaltro::version_text(m_upgrade.header.version);
    ++m_upgrades_done;
    return NETWORK_OK;
}

void DeviceState::upgrade_abort(const void* owner) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_upgrade.owner != owner) return;
    m_upgrade.owner = nullptr;
    m_upgrade.hash.reset();
}

bool DeviceState::upgrading() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_upgrade.owner != nullptr;
}

std::string DeviceState::take_pending_version() {
    std::lock_guard<std::mutex> guard(m_lock);
    return std::exchange(m_pending_version, std::string());
}

bool DeviceState::never_come_back() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_faults.never_come_back;
}

void DeviceState::set_capability(const CAMERA_ADVANCE_CONFIG& capability) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_capability = capability;
}

void DeviceState::set_storage(std::int32_t disk_cnt, const std::string& text) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_disk_cnt = disk_cnt;
    m_disk_text = text;
}

nlohmann::json DeviceState::to_json() {
    CameraIdentity id = m_camera->identity();
    std::lock_guard<std::mutex> guard(m_lock);
    const DeviceSettings& s = m_settings;
    nlohmann::json j;
    j["mac"] = id.mac;
    j["ip"] = id.ip;
    j["version"] = id.version;
    j["online"] = m_camera->online();
    j["sessions"] = m_sessions;
    j["logins"] = m_logins;
    j["accounts"] = m_accounts;
    j["settings"] = {{"applied", m_settings_applied},     {"time_zone", s.time_zone},
                     {"time_format", s.time_format},      {"language", s.language},
                     {"video_standard", s.video_standard}, {"default_password", s.default_password},
                     {"wifi_ch_max", s.wifi_ch_max},      {"wifi_ch_default", s.wifi_ch_default},
                     {"dhcp_enable", s.dhcp_enable},      {"ip_block_set", s.ip_block_set}};
    if (m_time_set)
        j["time"] = {m_time.year, m_time.month, m_time.day, m_time.hour, m_time.minute, m_time.second, m_time.mode};
    j["shell"] = m_shell;
    j["files"] = m_files;
    j["logo"] = {{"stored_length", m_logo.stored_length}, {"finished", m_logo.finished}};
    j["factory_resets"] = m_factory_resets;
    j["password_resets"] = m_password_resets;
    j["lights"] = {{"white", m_white_light}, {"infrared", m_ir_light}, {"switches", m_light_switches}};
    j["ircut"] = m_ircut;
    j["voice_tests"] = m_voice_tests;
    j["ptz_moves"] = m_ptz_moves;
    nlohmann::json ldr = nlohmann::json::object();
    for (const auto& [command, value] : m_ldr) ldr[std::to_string(command)] = value;
    j["ldr"] = ldr;
    j["upgrades"] = m_upgrades_done;
    j["upgrade_refusals"] = m_upgrade_refusals;
    j["live"] = m_live_log.to_json();
    return j;
}
