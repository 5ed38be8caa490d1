#include "batch/device_access.h"

int32_t CKaltroDeviceClient::Login(int32_t* handle, const std::string& ip, int32_t port,
                                   const std::string& user, const std::string& password) {
    return Network_ClientLogin(handle, ip.c_str(), port, user.c_str(), password.c_str());
}

int32_t CKaltroDeviceClient::Logout(int32_t handle) { return Network_ClientLogout(handle); }

int32_t CKaltroDeviceClient::SetEventCB(int32_t handle, NETWORK_EVENT_CB callback, void* user) {
    return Network_ClientSetEventCB(handle, callback, user);
}

int32_t CKaltroDeviceClient::StartUpgrade(int32_t* upgrade_handle, int32_t handle, const std::string& path) {
    return Network_ClientStartUpgrade(upgrade_handle, handle, path.c_str());
}

int32_t CKaltroDeviceClient::GetUpgradeStatus(int32_t upgrade_handle, int32_t* progress) {
    return Network_ClientGetUpgradeStatus(upgrade_handle, progress);
}

int32_t CKaltroDeviceClient::StopUpgrade(int32_t upgrade_handle) {
    return Network_ClientStopUpgrade(upgrade_handle);
}

int32_t CKaltroDeviceClient::GetDeviceConfig(int32_t handle, int32_t command, int32_t channel, void* data,
                                             int32_t size) {
    return Network_ClientGetDeviceConfig(handle, command, channel, data, size);
}

int32_t CKaltroDeviceClient::SetDeviceConfig(int32_t handle, int32_t command, int32_t channel,
                                             const void* data, int32_t size) {
    return Network_ClientSetDeviceConfig(handle, command, channel, data, size);
}

int32_t CKaltroDeviceClient::DeviceControl(int32_t handle, int32_t code, int32_t arg1, int32_t arg2,
                                           int32_t arg3) {
    return Network_ClientDeviceControl(handle, code, arg1, arg2, arg3);
}

int32_t CKaltroDeviceClient::SetThreadAbortCB(NETWORK_ABORT_CB check, void* user) {
    return Network_ClientSetThreadAbortCB(check, user);
}
