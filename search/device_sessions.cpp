#include "search/device_sessions.h"

#include "onvif/onvif_session.h"

namespace {

onvif::SessionOptions from_card(std::string card) {
    onvif::SessionOptions options;
    options.local_address = std::move(card);
    return options;
}

}  // namespace

DeviceFactory onvif_sessions(onvif::Credentials login, std::string card) {
    return [login = std::move(login), options = from_card(std::move(card))](const std::string& xaddr) {
        return onvif::open_device(xaddr, login, options);
    };
}

void SharedLogin::set(onvif::Credentials login) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_login = std::move(login);
}

onvif::Credentials SharedLogin::get() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_login;
}

DeviceFactory onvif_sessions(std::shared_ptr<const SharedLogin> login, std::string card) {
    return [login = std::move(login), options = from_card(std::move(card))](const std::string& xaddr) {
        return onvif::open_device(xaddr, login->get(), options);
    };
}
