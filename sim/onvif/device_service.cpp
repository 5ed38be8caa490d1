#include "sim/onvif/device_service.h"

#include <tinyxml.h>

#include "onvif/soap_xml.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "sim/onvif/device_operations.h"

namespace {

// Where a "redirect" fault points: outside the camera, yet nowhere a client
// that wrongly followed it could reach beyond its own host.
constexpr const char* kRedirectTarget = "http://127.0.0.1:9/onvif/device_service";

ServiceAnswer fault_answer(const SoapFault& fault) {
    ServiceAnswer out;
    // SOAP 1.2 over HTTP: the sender's faults are 400, the receiver's 500.
    out.status = fault.code == "Sender" ? 400 : 500;
    out.body = onvif::build_fault(fault.code, fault.subcodes, fault.reason);
    return out;
}

ServiceAnswer not_authorized(const std::string& why) {
    return fault_answer({"Sender", "ter:NotAuthorized", "Sender not authorized: " + why});
}

// The WS-level login of a request that needs one; nothing when it passes.
std::optional<ServiceAnswer> check_ws_login(OnvifCamera& camera, const onvif::Envelope& envelope,
                                            HttpLogin http_login) {
    LoginMode mode = camera.settings().login;
    std::optional<onvif::UsernameToken> token = onvif::read_username_token(envelope.header);
    if (mode == LoginMode::digest) {
        // The HTTP layer refused the request already unless its digest passed.
        if (http_login == HttpLogin::digest_ok) return std::nullopt;
        return digest_challenge(http_login);
    }
    if (mode == LoginMode::both && http_login != HttpLogin::none && http_login != HttpLogin::digest_ok)
        return digest_challenge(http_login);
    if (token) {
        // With both logins present, the HTTP one was checked first and the
        // token must pass as well.
        TokenVerdict verdict = camera.check_token(*token);
        if (verdict == TokenVerdict::ok) return std::nullopt;
        TRACE_MSG("check_ws_login", "%s refuses the token of '%s': %s\n", camera.identity().mac.c_str(),
                  token->user.c_str(), token_verdict_text(verdict));
        return not_authorized(token_verdict_text(verdict));
    }
    if (http_login == HttpLogin::digest_ok) return std::nullopt;
    // Without credentials a camera that takes digest asks for it; one that
    // takes only tokens says so in a fault.
    if (mode == LoginMode::both) return digest_challenge(HttpLogin::none);
    return not_authorized("no UsernameToken");
}

ServiceAnswer run_operation(OnvifCamera& camera, OnvifService service, const ServiceRequest& request,
                            const onvif::Envelope& envelope, const std::string& name) {
    const OperationEntry* entry = find_operation(service, name);
    if (entry == nullptr) {
        camera.count_operation(name);
        return fault_answer({"Receiver", "ter:ActionNotSupported", "operation " + name + " is not supported"});
    }
    if (!entry->pre_auth) {
        if (std::optional<ServiceAnswer> refusal = check_ws_login(camera, envelope, request.http_login)) return *refusal;
    }
    camera.count_operation(name);
    OperationResult result = entry->run(camera, envelope.body_element);
    if (!result.fault.code.empty()) return fault_answer(result.fault);
    ServiceAnswer out;
    out.body = onvif::build_envelope({}, result.body);
    out.reboot_after = result.reboot_after;
    return out;
}

// The "malformed" fault: the answer broken the way the camera was told.
void break_answer(ServiceAnswer& answer, MalformedAnswer how) {
    answer.digest_challenge = false;
    switch (how) {
    case MalformedAnswer::garbage:
        answer.status = 200;
        // Built from its own size: the literal holds a NUL, so strlen would cut it short.
        static constexpr char kGarbage[] = "\x1f\x8b\x08\x00garbage \xff\xfe<<</s:Env&;";
        answer.body = std::string(kGarbage, sizeof kGarbage - 1);
        break;
    case MalformedAnswer::truncated:
        answer.status = 200;
        answer.body.resize(answer.body.size() / 2);
        break;
    case MalformedAnswer::redirect:
        answer.status = 307;
        answer.location = kRedirectTarget;
        answer.body.clear();
        break;
    case MalformedAnswer::none: break;
    }
}

}  // namespace

const OperationEntry* find_operation(OnvifService service, std::string_view name) {
    switch (service) {
    case OnvifService::device: return find_device_operation(name);
    case OnvifService::media: return find_media_operation(name);
    case OnvifService::media2: return find_media2_operation(name);
    case OnvifService::ptz: return find_ptz_operation(name);
    case OnvifService::imaging: return find_imaging_operation(name);
    }
    return nullptr;
}

bool offers_service(const OnvifCameraSettings& settings, OnvifService service) {
    switch (service) {
    case OnvifService::device: return true;
    case OnvifService::media: return true;
    case OnvifService::media2: return settings.media.media2;
    case OnvifService::ptz: return settings.media.ptz;
    case OnvifService::imaging: return settings.media.imaging;
    }
    return false;
}

bool refuse_before_body(LoginMode mode, HttpLogin login) {
    return mode == LoginMode::digest && login != HttpLogin::digest_ok;
}

ServiceAnswer digest_challenge(HttpLogin login) {
    ServiceAnswer out;
    out.status = 401;
    out.content_type = "text/plain";
    out.body = "Unauthorized\n";
    out.digest_challenge = true;
    out.stale = login == HttpLogin::digest_stale;
    return out;
}

ServiceAnswer serve_service(OnvifCamera& camera, OnvifService service, const ServiceRequest& request) {
    if (!offers_service(camera.settings(), service)) {
        ServiceAnswer missing;
        missing.status = 404;
        missing.content_type = "text/plain";
        missing.body = "not found\n";
        return missing;
    }
    const OnvifFaults& faults = camera.settings().faults;
    rt_sleep_ms(faults.slow_ms);
    if (refuse_before_body(camera.settings().login, request.http_login)) return digest_challenge(request.http_login);

    onvif::Envelope envelope;
    std::string error;
    std::string name;
    ServiceAnswer answer;
    if (!onvif::parse_envelope(request.body, &envelope, &error)) {
        answer = fault_answer({"Sender", "ter:WellFormed", error});
    } else if (envelope.body_element == nullptr) {
        answer = fault_answer({"Sender", "ter:InvalidArgs", "the Body holds no request"});
    } else {
        name = std::string(onvif::local_name(envelope.body_element->Value()));
        answer = run_operation(camera, service, request, envelope, name);
    }
    if (faults.malformed != MalformedAnswer::none &&
        (faults.malformed_operation.empty() || faults.malformed_operation == name))
        break_answer(answer, faults.malformed);
    TRACE_MSG("serve_device_service", "%s %s: %u\n", camera.identity().mac.c_str(), name.c_str(), answer.status);
    return answer;
}
