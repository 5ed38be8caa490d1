#include "tests/onvif/fake_camera.h"

#include <openssl/evp.h>
#include <tinyxml.h>

#include <cstdlib>

#include "onvif/soap_xml.h"
#include "onvif/username_token.h"
#include "runtime/rt_time.h"

namespace onvif_test {

namespace {

constexpr const char* kRealm = "tervane-test@camera";
constexpr const char* kNonce = "dcd98b7102dd2f0e8b11d0f600bfb0c093";
// How far a token's Created may be from the camera's clock, as cameras
// commonly allow.
constexpr std::int64_t kTokenWindowMs = 5000;

std::string hash_hex(const std::string& algorithm, const std::string& text) {
    const EVP_MD* md = algorithm == "SHA-256" ? EVP_sha256() : EVP_md5();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, md, nullptr);
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < length; ++i) out += {digits[digest[i] >> 4], digits[digest[i] & 15]};
    return out;
}

std::string date_time_response(std::int64_t utc_ms) {
    std::string xs = onvif::xs_datetime_utc(utc_ms);  // YYYY-MM-DDThh:mm:ssZ
    auto field = [&](int at, int size) { return std::to_string(std::atoi(xs.substr(at, size).c_str())); };
    return "<tds:GetSystemDateAndTimeResponse><tds:SystemDateAndTime><tt:DateTimeType>Manual</tt:DateTimeType>"
           "<tt:DaylightSavings>false</tt:DaylightSavings><tt:TimeZone><tt:TZ>UTC0</tt:TZ></tt:TimeZone>"
           "<tt:UTCDateTime><tt:Time><tt:Hour>" + field(11, 2) + "</tt:Hour><tt:Minute>" + field(14, 2) +
           "</tt:Minute><tt:Second>" + field(17, 2) + "</tt:Second></tt:Time><tt:Date><tt:Year>" + field(0, 4) +
           "</tt:Year><tt:Month>" + field(5, 2) + "</tt:Month><tt:Day>" + field(8, 2) +
           "</tt:Day></tt:Date></tt:UTCDateTime></tds:SystemDateAndTime></tds:GetSystemDateAndTimeResponse>";
}

const std::map<std::string, std::string>& built_in_answers() {
    static const std::map<std::string, std::string> answers = {
        {"GetDeviceInformation",
         "<tds:GetDeviceInformationResponse><tds:Manufacturer>Test</tds:Manufacturer><tds:Model>T1</tds:Model>"
         "<tds:FirmwareVersion>1.0.0</tds:FirmwareVersion><tds:SerialNumber>S1</tds:SerialNumber>"
         "<tds:HardwareId>H1</tds:HardwareId></tds:GetDeviceInformationResponse>"},
        {"GetUsers",
         "<tds:GetUsersResponse><tds:User><tt:Username>admin</tt:Username><tt:UserLevel>Administrator"
         "</tt:UserLevel></tds:User></tds:GetUsersResponse>"},
        {"SetUser", "<tds:SetUserResponse/>"},
        {"SetSystemDateAndTime", "<tds:SetSystemDateAndTimeResponse/>"},
        {"StartFirmwareUpgrade",
         "<tds:StartFirmwareUpgradeResponse><tds:UploadUri>/upload/1</tds:UploadUri>"
         "<tds:UploadDelay>PT0S</tds:UploadDelay><tds:ExpectedDownTime>PT30S</tds:ExpectedDownTime>"
         "</tds:StartFirmwareUpgradeResponse>"},
    };
    return answers;
}

HttpReply fault_reply(int status, const char* subcode, const char* reason) {
    return {status, onvif::build_fault("Sender", subcode, reason), {{"Content-Type", "application/soap+xml"}}};
}

}  // namespace

std::string digest_response(const std::string& algorithm, const std::string& user, const std::string& realm,
                            const std::string& password, const std::string& method, const std::string& uri,
                            const std::string& nonce, const std::string& nc, const std::string& cnonce,
                            const std::string& qop) {
    std::string ha1 = hash_hex(algorithm, user + ":" + realm + ":" + password);
    std::string ha2 = hash_hex(algorithm, method + ":" + uri);
    return hash_hex(algorithm, ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":" + qop + ":" + ha2);
}

std::map<std::string, std::string> digest_fields(const std::string& header) {
    std::map<std::string, std::string> fields;
    std::size_t i = header.find(' ');
    while (i != std::string::npos && i < header.size()) {
        while (i < header.size() && (header[i] == ' ' || header[i] == ',')) ++i;
        std::size_t eq = header.find('=', i);
        if (eq == std::string::npos) break;
        std::string name = header.substr(i, eq - i);
        std::string value;
        i = eq + 1;
        if (i < header.size() && header[i] == '"') {
            std::size_t end = header.find('"', i + 1);
            value = header.substr(i + 1, end - i - 1);
            i = end == std::string::npos ? end : end + 1;
        } else {
            std::size_t end = header.find(',', i);
            value = header.substr(i, end == std::string::npos ? std::string::npos : end - i);
            i = end;
        }
        fields[name] = value;
    }
    return fields;
}

std::string operation_of(const HttpRequest& request) {
    onvif::Envelope envelope;
    if (!onvif::parse_envelope(request.body, &envelope, nullptr) || envelope.body_element == nullptr) return "";
    return std::string(onvif::local_name(envelope.body_element->Value()));
}

HttpReply soap_reply(const std::string& body_xml, int status) {
    return {status, onvif::build_envelope("", body_xml), {{"Content-Type", "application/soap+xml; charset=utf-8"}}};
}

FakeCamera::FakeCamera(CameraSetup setup, const char* address)
    : setup_(std::move(setup)), http_([this](const HttpRequest& request) { return answer(request); }, address) {}

std::vector<std::string> FakeCamera::operations() const {
    std::vector<std::string> out;
    for (const HttpRequest& request : http_.requests())
        out.push_back(request.url.starts_with("/upload") ? "upload" : operation_of(request));
    return out;
}

int FakeCamera::refused() const { return refused_; }

bool FakeCamera::token_accepted(const HttpRequest& request) const {
    onvif::Envelope envelope;
    if (!onvif::parse_envelope(request.body, &envelope, nullptr)) return false;
    std::optional<onvif::UsernameToken> token = onvif::read_username_token(envelope.header);
    if (!token || token->user != setup_.user || !onvif::digest_matches(*token, setup_.password)) return false;
    std::optional<std::int64_t> created = onvif::parse_xs_datetime(token->created);
    std::int64_t camera_now = rt_calendar_ms() + setup_.clock_offset_ms;
    return created && std::llabs(*created - camera_now) <= kTokenWindowMs;
}

bool FakeCamera::digest_accepted(const HttpRequest& request) const {
    if (!request.authorization.starts_with("Digest ")) return false;
    std::map<std::string, std::string> f = digest_fields(request.authorization);
    std::string algorithm = f.count("algorithm") ? f["algorithm"] : "MD5";
    return f["username"] == setup_.user && f["realm"] == kRealm && f["nonce"] == kNonce && f["uri"] == request.url &&
           algorithm == setup_.digest_algorithm && f["qop"] == "auth" &&
           f["response"] == digest_response(algorithm, setup_.user, kRealm, setup_.password, request.method,
                                            request.url, kNonce, f["nc"], f["cnonce"], "auth");
}

HttpReply FakeCamera::operation_reply(const std::string& operation) const {
    auto scripted = setup_.answers.find(operation);
    if (scripted != setup_.answers.end()) return soap_reply(scripted->second);
    if (operation == "GetSystemDateAndTime") return soap_reply(date_time_response(rt_calendar_ms() + setup_.clock_offset_ms));
    auto built_in = built_in_answers().find(operation);
    if (built_in != built_in_answers().end()) return soap_reply(built_in->second);
    return {500, onvif::build_fault("Receiver", "ter:ActionNotSupported", "Optional Action Not Implemented"), {}};
}

HttpReply FakeCamera::answer(const HttpRequest& request) {
    std::string operation = request.url.starts_with("/upload") ? "upload" : operation_of(request);
    if (setup_.before)
        if (std::optional<HttpReply> scripted = setup_.before(request, operation)) return *scripted;
    bool open = operation == "GetSystemDateAndTime";
    if (setup_.login == Login::HttpDigest && !digest_accepted(request) && !(open && request.authorization.empty())) {
        ++refused_;
        std::string challenge = std::string("Digest realm=\"") + kRealm + "\", qop=\"auth\", nonce=\"" + kNonce +
                                "\", algorithm=" + setup_.digest_algorithm;
        return {401, "", {{"WWW-Authenticate", challenge}}};
    }
    if (operation == "upload") return {setup_.upload_status, "", {}};
    if (operation.empty()) return {400, "", {}};
    if (setup_.login == Login::Token && !open && !token_accepted(request)) {
        ++refused_;
        return fault_reply(400, "ter:NotAuthorized", "Sender not Authorized");
    }
    if (operation == "SetUser") take_new_password(request);
    return operation_reply(operation);
}

void FakeCamera::take_new_password(const HttpRequest& request) {
    onvif::Envelope envelope;
    onvif::parse_envelope(request.body, &envelope, nullptr);
    if (onvif::path_text(envelope.body_element, {"User", "Username"}) == setup_.user)
        setup_.password = onvif::path_text(envelope.body_element, {"User", "Password"});
}

}  // namespace onvif_test
