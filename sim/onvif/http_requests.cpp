#include "sim/onvif/http_requests.h"

#include <strings.h>

#include <memory>
#include <string>

#include "onvif/soap_xml.h"
#include "runtime/trace.h"
#include "sim/onvif/device_service.h"
#include "sim/onvif/firmware_upload.h"
#include "sim/onvif/http_server.h"

namespace {

constexpr unsigned kNonceTimeoutS = 300;
constexpr const char* kOpaque = "5ca1ab1e";
constexpr const char* kFirmwarePath = "/onvif/firmware/";

// The services' paths, as OnvifCamera's XAddrs name them.
constexpr std::pair<const char*, OnvifService> kServicePaths[] = {
    {"/onvif/device_service", OnvifService::device}, {"/onvif/media_service", OnvifService::media},
    {"/onvif/media2_service", OnvifService::media2}, {"/onvif/ptz_service", OnvifService::ptz},
    {"/onvif/imaging_service", OnvifService::imaging},
};

enum class Route { service, firmware, unknown };

struct Request {
    std::shared_ptr<OnvifCamera> camera;
    Route route = Route::unknown;
    OnvifService service = OnvifService::device;
    HttpLogin login = HttpLogin::none;
    bool answered = false;  // an answer went out before the body
    std::string body;
    std::unique_ptr<FirmwareUpload> upload;
    bool reboot_after = false;
};

bool starts_with_word(const char* text, const char* word) {
    std::size_t n = std::strlen(word);
    return strncasecmp(text, word, n) == 0 && (text[n] == ' ' || text[n] == '\0');
}

// Checked once per request: the digest's nonce count must not be seen twice.
HttpLogin http_login(MHD_Connection* connection, OnvifCamera& camera) {
    const char* auth = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION);
    if (auth == nullptr) return HttpLogin::none;
    if (starts_with_word(auth, "Basic")) {
        camera.count_clear_text();
        return HttpLogin::none;
    }
    if (!starts_with_word(auth, "Digest") || camera.settings().login == LoginMode::token) return HttpLogin::none;
    char* user = MHD_digest_auth_get_username(connection);
    std::string password;
    int verdict = MHD_NO;
    if (user != nullptr && camera.password_of(user, &password))
        verdict = MHD_digest_auth_check2(connection, kOnvifRealm, user, password.c_str(), kNonceTimeoutS, MHD_DIGEST_ALG_MD5);
    MHD_free(user);
    camera.count_login(LoginKind::digest, verdict == MHD_YES);
    if (verdict == MHD_YES) return HttpLogin::digest_ok;
    return verdict == MHD_INVALID_NONCE ? HttpLogin::digest_stale : HttpLogin::digest_refused;
}

MHD_Result queue(MHD_Connection* connection, const ServiceAnswer& answer) {
    MHD_Response* response = MHD_create_response_from_buffer(answer.body.size(), const_cast<char*>(answer.body.data()),
                                                             MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.content_type.c_str());
    if (!answer.location.empty()) MHD_add_response_header(response, MHD_HTTP_HEADER_LOCATION, answer.location.c_str());
    MHD_Result result = answer.digest_challenge
                            ? MHD_queue_auth_fail_response2(connection, kOnvifRealm, kOpaque, response,
                                                            answer.stale ? MHD_YES : MHD_NO, MHD_DIGEST_ALG_MD5)
                            : MHD_queue_response(connection, answer.status, response);
    MHD_destroy_response(response);
    return result;
}

ServiceAnswer plain(unsigned status, const std::string& text) {
    ServiceAnswer answer;
    answer.status = status;
    answer.content_type = "text/plain";
    answer.body = text + "\n";
    return answer;
}

// The media type without its parameters, lower case.
std::string media_type(MHD_Connection* connection) {
    const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_TYPE);
    std::string type = value == nullptr ? "" : value;
    type = type.substr(0, type.find(';'));
    while (!type.empty() && type.back() == ' ') type.pop_back();
    for (char& c : type) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return type;
}

// An answer due before the body (a refusal), or nothing when the body is wanted.
std::optional<ServiceAnswer> early_answer(MHD_Connection* connection, Request& r, const std::string& url,
                                          const std::string& method) {
    OnvifCamera& camera = *r.camera;
    LoginMode mode = camera.settings().login;
    if (r.route == Route::unknown) return plain(404, "not found");
    if (method != "POST") return plain(method == "GET" ? 400 : 405, "a SOAP request is a POST");
    if (refuse_before_body(mode, r.login)) return digest_challenge(r.login);
    if (r.route == Route::service) {
        std::string type = media_type(connection);
        if (type != "application/soap+xml" && type != "text/xml" && type != "application/xml")
            return plain(415, "unsupported media type " + type);
        return std::nullopt;
    }
    // The ticket in the address is the upload's credential; a digest, if
    // one came, must hold as well.
    if (r.login == HttpLogin::digest_refused || r.login == HttpLogin::digest_stale) return digest_challenge(r.login);
    if (!camera.claim_ticket(url.substr(std::strlen(kFirmwarePath)))) return plain(404, "no such upload");
    if (camera.settings().faults.refuse_post) {
        camera.record_refusal("upload refused");
        return plain(500, "firmware upgrade failed");
    }
    if (media_type(connection) != "application/octet-stream") {
        camera.record_refusal("upload not sent as application/octet-stream");
        return plain(415, "firmware must be sent as application/octet-stream");
    }
    r.upload = std::make_unique<FirmwareUpload>();
    return std::nullopt;
}

ServiceAnswer finish_upload(Request& r) {
    FirmwareUpload::Outcome outcome = r.upload->finish();
    if (outcome.http_status != 200) {
        r.camera->record_refusal(outcome.reason);
        return plain(outcome.http_status, outcome.reason);
    }
    r.camera->record_upload(outcome.sha256_hex, outcome.bytes, outcome.version);
    r.reboot_after = true;
    return plain(200, "upgrading to " + outcome.version);
}

MHD_Result begin(OnvifHttpServer& server, MHD_Connection* connection, const std::string& url,
                 const std::string& method, void** con_cls) {
    auto request = std::make_unique<Request>();
    request->camera = server.camera_of(connection);
    // Not a camera's address (any more), or the camera is down: no answer.
    if (!request->camera || !request->camera->online()) return MHD_NO;
    request->login = http_login(connection, *request->camera);
    for (const auto& [path, service] : kServicePaths)
        if (url == path && offers_service(request->camera->settings(), service)) {
            request->route = Route::service;
            request->service = service;
        }
    if (url.rfind(kFirmwarePath, 0) == 0) request->route = Route::firmware;
    Request& r = *request;
    *con_cls = request.release();
    if (std::optional<ServiceAnswer> answer = early_answer(connection, r, url, method)) {
        r.answered = true;
        return queue(connection, *answer);
    }
    return MHD_YES;
}

// False when the body is more than the route takes.
bool take_body(Request& r, const char* data, std::size_t size) {
    if (r.upload) return r.upload->add(data, size);
    if (r.body.size() + size > onvif::kMaxEnvelopeBytes) return false;
    r.body.append(data, size);
    return true;
}

}  // namespace

MHD_Result onvif_http_request(void* cls, MHD_Connection* connection, const char* url, const char* method,
                              const char*, const char* upload_data, size_t* upload_data_size, void** con_cls) {
    auto& server = *static_cast<OnvifHttpServer*>(cls);
    if (*con_cls == nullptr) return begin(server, connection, url, method, con_cls);
    Request& r = *static_cast<Request*>(*con_cls);
    if (*upload_data_size > 0) {
        bool taken = r.answered || take_body(r, upload_data, *upload_data_size);
        *upload_data_size = 0;
        return taken ? MHD_YES : MHD_NO;  // too large: the connection is cut
    }
    if (r.answered) return MHD_YES;
    r.answered = true;
    if (!r.camera->online()) return MHD_NO;
    if (r.upload) return queue(connection, finish_upload(r));
    ServiceAnswer answer = serve_service(*r.camera, r.service, {r.body, r.login});
    r.reboot_after = answer.reboot_after;
    return queue(connection, answer);
}

void onvif_http_completed(void*, MHD_Connection*, void** con_cls, MHD_RequestTerminationCode) {
    std::unique_ptr<Request> request(static_cast<Request*>(*con_cls));
    *con_cls = nullptr;
    if (request && request->reboot_after) request->camera->reboot();
}
