#pragma once

// Shared pieces of the tests of the simulator's ONVIF cameras: one camera
// without sockets, requests with or without a login, and answers read back
// through the envelope parser the tool itself uses.

#include <gtest/gtest.h>
#include <openssl/sha.h>
#include <tinyxml.h>

#include <cstdio>

#include <memory>
#include <string>

#include "onvif/soap_xml.h"
#include "onvif/username_token.h"
#include "runtime/rt_time.h"
#include "sim/onvif/device_service.h"
#include "sim/onvif/onvif_camera.h"

inline CameraIdentity onvif_identity(const std::string& ip = "127.0.0.20") {
    CameraIdentity id;
    id.mac = "02:0F:00:00:00:01";
    id.ip = ip;
    id.mask = "255.255.255.0";
    id.gateway = "127.0.0.1";
    id.version = "1.0.0";
    id.http_port = 8080;
    id.board_type = 0x20;
    id.protocol = CameraProtocol::onvif;
    return id;
}

inline std::shared_ptr<OnvifCamera> onvif_camera(const std::string& settings_text = "",
                                                 const std::string& ip = "127.0.0.20") {
    OnvifCameraSettings settings;
    EXPECT_EQ(apply_onvif_settings(settings_text, settings), "");
    return std::make_shared<OnvifCamera>(std::make_shared<SimCamera>(onvif_identity(ip)), settings,
                                         std::map<std::string, std::string>{{"admin", "secret"}}, 2000);
}

// A device-service request for `body` ("<tds:GetDeviceInformation/>"), with `header` XML.
inline std::string soap(const std::string& body, const std::string& header = "") {
    return onvif::build_envelope(header, body);
}

// A token made on a clock `offset_ms` from the host's (the camera's own
// offset, for a client that read it).
inline std::string token(const std::string& password = "secret", std::int64_t offset_ms = 0,
                         const std::string& user = "admin") {
    return onvif::security_header(user, password, rt_calendar_ms() + offset_ms);
}

struct Answer {
    ServiceAnswer http;
    onvif::Envelope envelope;
    bool parsed = false;

    const TiXmlElement* body() const { return envelope.body_element; }
    std::string text(std::initializer_list<std::string_view> path) const { return onvif::path_text(body(), path); }
};


inline Answer call_service(OnvifCamera& camera, OnvifService service, const std::string& request,
                           HttpLogin login = HttpLogin::none) {
    Answer answer;
    answer.http = serve_service(camera, service, {request, login});
    answer.parsed = onvif::parse_envelope(answer.http.body, &answer.envelope, nullptr);
    return answer;
}

inline Answer call(OnvifCamera& camera, const std::string& request, HttpLogin login = HttpLogin::none) {
    return call_service(camera, OnvifService::device, request, login);
}

// The request with a fresh valid token for the camera's clock.
inline Answer call_as_admin(OnvifCamera& camera, const std::string& body, const std::string& password = "secret",
                            OnvifService service = OnvifService::device) {
    return call_service(camera, service, soap(body, token(password, camera.clock_ms() - rt_calendar_ms())));
}

// The SHA-256 of `bytes` in lower-case hex, as the state dump gives it.
inline std::string sha256_hex(const std::string& bytes) {
    unsigned char sum[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), sum);
    char hex[2 * SHA256_DIGEST_LENGTH + 1];
    for (int i = 0; i < SHA256_DIGEST_LENGTH; ++i) std::snprintf(hex + 2 * i, 3, "%02x", sum[i]);
    return hex;
}
