#pragma once

// The services of a simulated ONVIF camera, away from any socket: one
// SOAP request's bytes (and what the HTTP layer made of its login) in, the
// HTTP answer out. The HTTP server calls it per request; tests and the fuzz
// target call it directly.

#include <string>
#include <string_view>

#include "sim/onvif/onvif_camera.h"
#include "sim/onvif/service_operations.h"

// The request's HTTP-level login, as the HTTP layer checked it.
enum class HttpLogin { none, digest_ok, digest_refused, digest_stale };

struct ServiceRequest {
    std::string_view body;
    HttpLogin http_login = HttpLogin::none;
};

struct ServiceAnswer {
    unsigned status = 200;
    std::string content_type = "application/soap+xml; charset=utf-8";
    std::string body;
    std::string location;           // where a redirect points
    bool digest_challenge = false;  // 401 with a Digest challenge
    bool stale = false;             // ... saying the nonce went stale
    bool reboot_after = false;      // the camera reboots once this answer is out
};

// A camera that takes only HTTP digest refuses a request without a valid
// one before reading its body (so a client that waits for 100-continue
// sends no body twice).
bool refuse_before_body(LoginMode mode, HttpLogin login);

// A 401 with the challenge (stale when the login's nonce was).
ServiceAnswer digest_challenge(HttpLogin login);

// One request to one of the camera's services; a service the camera does
// not offer answers 404, as an address it does not serve.
ServiceAnswer serve_service(OnvifCamera& camera, OnvifService service, const ServiceRequest& request);
inline ServiceAnswer serve_device_service(OnvifCamera& camera, const ServiceRequest& request) {
    return serve_service(camera, OnvifService::device, request);
}
