#include "search/device_sessions.h"

#include "onvif/onvif_session.h"

DeviceFactory onvif_sessions(onvif::Credentials login, std::string card) {
    onvif::SessionOptions options;
    options.local_address = std::move(card);
    return [login = std::move(login), options](const std::string& xaddr) {
        return onvif::open_device(xaddr, login, options);
    };
}
