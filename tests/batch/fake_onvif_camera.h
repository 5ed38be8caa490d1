#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "batch/batch_job.h"
#include "onvif/onvif_device.h"

// A scripted ONVIF camera for the batch engine's tests: what it answers,
// and every request it took, in order ("set_user admin Administrator").
struct FakeOnvifCamera {
    std::string ip;
    std::string mac;
    std::string user = "admin";
    std::string password = "pw";
    std::string version = "1.0";
    std::string version_after_flash = "2.0";
    std::string time_zone = "UTC0";
    onvif::DateTimeType type = onvif::DateTimeType::NTP;
    int prefix_length = 24;
    bool dhcp = false;
    bool refuse_start = false;     // StartFirmwareUpgrade answered with a fault
    bool refuse_upload = false;    // the POST refused
    bool never_back = false;       // silent after its flash
    bool silent = false;           // answers nothing at all
    int silent_calls_after_flash = 3;
    std::vector<std::string> requests;
    std::string uploaded_path;
};

// Cameras by address; the job's connector opens a session on the camera
// whose address the service address names, as a network would.
class FakeOnvifNetwork {
public:
    FakeOnvifCamera& add(const std::string& ip, const std::string& mac);
    OnvifConnector connector();
    // Takes the lock; the camera's fields may be read after the job ended.
    FakeOnvifCamera& camera(const std::string& mac);
    std::vector<std::string> requests(const std::string& mac);
    int opened() const;

private:
    friend class FakeOnvifSession;
    mutable std::mutex m_lock;
    std::vector<std::unique_ptr<FakeOnvifCamera>> m_cameras;
    int m_opened = 0;
};
