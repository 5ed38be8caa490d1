#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// One ONVIF camera's device service (and, where it has them, its media,
// PTZ and imaging services) as the tool uses it: one call per operation,
// each a SOAP request over HTTP with the login of the session. The batch
// workers, the device list and the test bench reach ONVIF cameras only
// through this interface, so tests can put a scripted camera behind it.
namespace onvif {

enum class Status : int {
    Ok = 0,
    Unreachable,   // no connection, no answer in time, connection lost
    AuthRefused,   // the login was refused (HTTP 401 after digest, or a NotAuthorized fault)
    Fault,         // the device answered with another SOAP fault
    NotSupported,  // ActionNotSupported / no such service / HTTP 404 or 405
    BadAnswer,     // an answer that is not one: malformed, too large, a redirect, missing fields
    Aborted,       // the caller's abort check asked to stop
    LocalError,    // nothing was sent: an argument the request cannot carry, a file that cannot be read
};

struct Result {
    Status status = Status::Ok;
    std::string detail;  // one line for the trace and the report: fault reason, HTTP status, curl error
    bool ok() const { return status == Status::Ok; }
};

struct Credentials {
    std::string user;
    std::string password;
};

struct DeviceInformation {
    std::string manufacturer;
    std::string model;
    std::string firmware_version;
    std::string serial_number;
    std::string hardware_id;
};

struct NetworkInterface {
    std::string token;
    bool enabled = true;
    std::string mac;      // as the device gives it ("00:11:22:33:44:55" or "001122334455")
    bool dhcp = false;    // IPv4 from DHCP
    std::string address;  // the IPv4 address in use (DHCP or manual), "" if none
    int prefix_length = 0;
};

enum class DateTimeType { Manual, NTP };

struct SystemDateTime {
    DateTimeType type = DateTimeType::Manual;
    bool daylight_savings = false;
    std::string time_zone;            // POSIX TZ text, "" when the device gives none
    std::optional<std::int64_t> utc;  // device's UTC clock, ms since the epoch
};

struct FirmwareUpgradeTicket {
    std::string upload_uri;
    std::int64_t upload_delay_ms = 0;
    std::int64_t expected_down_time_ms = 0;
};

struct User {
    std::string name;
    std::string level;  // "Administrator", "Operator", "User", "Anonymous", "Extended"
};

// What the device says it offers: the service addresses (empty: not offered).
struct Services {
    std::string device;
    std::string media;   // media service 1.0 (ver10)
    std::string media2;  // media service 2.0 (ver20): the one that names H.265
    std::string ptz;
    std::string imaging;
};

// Called while a firmware upload runs: bytes sent so far and in all.
using UploadProgress = std::function<void(std::uint64_t sent, std::uint64_t total)>;

class IDevice {
public:
    virtual ~IDevice() = default;

    // The device service's address, "http://192.168.1.10/onvif/device_service".
    virtual const std::string& device_xaddr() const = 0;
    // The login used from the next call on (after a password change).
    virtual void set_credentials(const Credentials& credentials) = 0;
    // Calls give up (Status::Aborted) once `check` answers true; null: never.
    virtual void set_abort_check(std::function<bool()> check) = 0;

    // GetSystemDateAndTime without a login; keeps the device's clock offset
    // from this host's, which every later token's Created is shifted by.
    virtual Result sync_clock() = 0;
    virtual Result get_system_date_and_time(SystemDateTime* out) = 0;
    virtual Result get_device_information(DeviceInformation* out) = 0;
    virtual Result get_network_interfaces(std::vector<NetworkInterface>* out) = 0;
    virtual Result get_services(Services* out) = 0;

    // IPv4 of one interface: DHCP on, or a manual address and prefix.
    // *reboot_needed: the device said it must reboot to take it.
    virtual Result set_ipv4(const std::string& token, bool dhcp, const std::string& address, int prefix_length,
                            bool* reboot_needed) = 0;
    virtual Result set_default_gateway(const std::string& ipv4) = 0;
    // SetSystemDateAndTime; `utc` only with Manual (the clock to set).
    virtual Result set_system_date_and_time(DateTimeType type, bool daylight_savings, const std::string& time_zone,
                                            std::optional<std::int64_t> utc) = 0;
    // SetNTP: FromDHCP false, one manual server (IPv4 address or DNS name).
    virtual Result set_ntp(const std::string& server) = 0;
    virtual Result get_users(std::vector<User>* out) = 0;
    // An empty user.level keeps the level the device lists for that user.
    // Changing the login user's own password makes it the session's login.
    virtual Result set_user(const User& user, const std::string& password) = 0;
    // SetSystemFactoryDefault Soft: the device keeps its network settings.
    virtual Result set_system_factory_default_soft() = 0;
    virtual Result start_firmware_upgrade(FirmwareUpgradeTicket* out) = 0;
    // HTTP POST of the whole file as it is to the ticket's UploadUri, which
    // must be on the device's own address.
    virtual Result upload_firmware(const FirmwareUpgradeTicket& ticket, const std::string& path,
                                   const UploadProgress& progress) = 0;
};

}  // namespace onvif
