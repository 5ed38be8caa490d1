#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "onvif/onvif_device.h"
#include "search/identity_pool.h"

// Sessions with ONVIF cameras over the device service client, with this
// login, from `card` when one is chosen (a session then leaves by the card
// the search was sent from), each call bounded by the client's own time-outs
// (the pool's budget bounds the whole camera).
DeviceFactory onvif_sessions(onvif::Credentials login, std::string card);

// A login its owner may change while the search runs (a window's user and
// password fields): each session takes the login current when it opens.
class SharedLogin {
public:
    void set(onvif::Credentials login);
    onvif::Credentials get() const;

private:
    mutable std::mutex m_lock;
    onvif::Credentials m_login;
};

DeviceFactory onvif_sessions(std::shared_ptr<const SharedLogin> login, std::string card);
