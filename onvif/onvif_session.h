#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "onvif/camera_control.h"
#include "onvif/onvif_device.h"

namespace onvif {

struct SessionOptions {
    std::int64_t connect_timeout_ms = 3000;
    std::int64_t answer_timeout_ms = 8000;  // whole request
    std::int64_t upload_timeout_ms = 15 * 60 * 1000;
    std::string local_address;  // bind to this card's address; "" = any
};

// A session with one camera's device service over HTTP (plain http only:
// cameras' certificates are their own, so https would add no check we
// could make). One connection kept alive across calls; the login is the
// WS-UsernameToken digest with the camera's clock offset, or HTTP digest
// once the camera asks for it with a 401; never the password in clear.
//
// A session is used by one thread at a time (its calls, set_credentials and
// set_abort_check alike); different sessions may run on different threads.
// An address that is not an http URL gives a session whose every call
// answers BadAnswer.
std::unique_ptr<IDevice> open_device(const std::string& device_xaddr, const Credentials& credentials,
                                     const SessionOptions& options = {});
// The same session, with the media, PTZ and imaging services as well; their
// addresses are the camera's own (GetServices, else GetCapabilities), and an
// address off the device fails the call that would follow it.
std::unique_ptr<ICamera> open_camera(const std::string& device_xaddr, const Credentials& credentials,
                                     const SessionOptions& options = {});

}  // namespace onvif
