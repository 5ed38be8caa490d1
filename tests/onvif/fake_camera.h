#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/onvif/fake_http.h"

// An ONVIF device service for the session tests, on a loopback address:
// it checks the login the way a camera does (the UsernameToken digest
// against its own clock, or HTTP digest worked out here from RFC 2617 and
// 7616) and answers each operation from a table.
namespace onvif_test {

// The Digest response of RFC 2617 / 7616 (qop=auth); `algorithm` is "MD5"
// or "SHA-256".
std::string digest_response(const std::string& algorithm, const std::string& user, const std::string& realm,
                            const std::string& password, const std::string& method, const std::string& uri,
                            const std::string& nonce, const std::string& nc, const std::string& cnonce,
                            const std::string& qop);
// The name=value pairs of an Authorization or WWW-Authenticate header.
std::map<std::string, std::string> digest_fields(const std::string& header);

enum class Login { Token, HttpDigest };

struct CameraSetup {
    std::string user = "admin";
    std::string password = "secret";
    Login login = Login::Token;
    std::string digest_algorithm = "MD5";
    std::int64_t clock_offset_ms = 0;  // the camera's clock minus the host's
    // Response elements by operation, replacing the built-in ones.
    std::map<std::string, std::string> answers;
    // Runs first on every request; a reply it gives is sent as it is.
    std::function<std::optional<HttpReply>(const HttpRequest&, const std::string& operation)> before;
    int upload_status = 200;
};

class FakeCamera {
public:
    explicit FakeCamera(CameraSetup setup, const char* address = "127.0.0.1");

    std::string xaddr() const { return http_.url("/onvif/device_service"); }
    std::string url(const std::string& path) const { return http_.url(path); }
    std::vector<HttpRequest> requests() const { return http_.requests(); }
    // The operation of each request so far ("upload" for the firmware POST).
    std::vector<std::string> operations() const;
    int refused() const;  // how many were refused for their login

private:
    HttpReply answer(const HttpRequest& request);
    bool token_accepted(const HttpRequest& request) const;
    bool digest_accepted(const HttpRequest& request) const;
    HttpReply operation_reply(const std::string& operation) const;
    // SetUser for the camera's own login changes its password.
    void take_new_password(const HttpRequest& request);

    CameraSetup setup_;
    std::atomic<int> refused_{0};
    FakeHttpServer http_;
};

// The operation a request asks for: the local name of its Body's element.
std::string operation_of(const HttpRequest& request);

// A response element in an envelope.
HttpReply soap_reply(const std::string& body_xml, int status = 200);

}  // namespace onvif_test
