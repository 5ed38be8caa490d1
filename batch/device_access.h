#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "client/kaltro_abort.h"
#include "client/kaltro_client.h"

// The device client library as the batch workers use it. The default
// implementation calls the library's C functions; tests put a scripted
// device behind the same calls.
class IDeviceClient {
public:
    virtual ~IDeviceClient() = default;
    virtual int32_t Login(int32_t* handle, const std::string& ip, int32_t port, const std::string& user,
                          const std::string& password) = 0;
    virtual int32_t Logout(int32_t handle) = 0;
    virtual int32_t SetEventCB(int32_t handle, NETWORK_EVENT_CB callback, void* user) = 0;
    virtual int32_t StartUpgrade(int32_t* upgrade_handle, int32_t handle, const std::string& path) = 0;
    virtual int32_t GetUpgradeStatus(int32_t upgrade_handle, int32_t* progress) = 0;
    virtual int32_t StopUpgrade(int32_t upgrade_handle) = 0;
    virtual int32_t GetDeviceConfig(int32_t handle, int32_t command, int32_t channel, void* data,
                                    int32_t size) = 0;
    virtual int32_t SetDeviceConfig(int32_t handle, int32_t command, int32_t channel, const void* data,
                                    int32_t size) = 0;
    virtual int32_t DeviceControl(int32_t handle, int32_t code, int32_t arg1, int32_t arg2, int32_t arg3) = 0;
    // The calling thread's abort check: its calls stop waiting on a device
    // once the check answers non-zero.
    virtual int32_t SetThreadAbortCB(NETWORK_ABORT_CB check, void* user) = 0;
};

// An IP change request: the device's MAC and the new address fields
// (empty fields are sent empty).
struct IpChangeRequest {
    std::string mac;
    std::string ip;
    std::string mask;
    std::string gateway;
};

// What the workers need of discovery.
class IDiscoveryLink {
public:
    virtual ~IDiscoveryLink() = default;
    // Changes only the address; mask, gateway and ports are the listed device's.
    virtual int ChangeIpPort(const IpChangeRequest& request) = 0;
    // Changes address, mask and gateway as given.
    virtual int ChangeIp(const IpChangeRequest& request) = 0;
    // The address discovery currently lists for `mac`, if any.
    virtual std::optional<std::string> FindIp(const std::string& mac) = 0;
};

// The library's C functions behind IDeviceClient.
class CKaltroDeviceClient final : public IDeviceClient {
public:
    int32_t Login(int32_t* handle, const std::string& ip, int32_t port, const std::string& user,
                  const std::string& password) override;
    int32_t Logout(int32_t handle) override;
    int32_t SetEventCB(int32_t handle, NETWORK_EVENT_CB callback, void* user) override;
    int32_t StartUpgrade(int32_t* upgrade_handle, int32_t handle, const std::string& path) override;
    int32_t GetUpgradeStatus(int32_t upgrade_handle, int32_t* progress) override;
    int32_t StopUpgrade(int32_t upgrade_handle) override;
    int32_t GetDeviceConfig(int32_t handle, int32_t command, int32_t channel, void* data,
                            int32_t size) override;
    int32_t SetDeviceConfig(int32_t handle, int32_t command, int32_t channel, const void* data,
                            int32_t size) override;
    int32_t DeviceControl(int32_t handle, int32_t code, int32_t arg1, int32_t arg2, int32_t arg3) override;
    int32_t SetThreadAbortCB(NETWORK_ABORT_CB check, void* user) override;
};
