#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

struct MHD_Daemon;

// A small HTTP server on a loopback address for the session tests (over
// libmicrohttpd, on its own thread): it records every request and answers
// what the test's handler says.
namespace onvif_test {

struct HttpRequest {
    std::string method;
    std::string url;
    std::string content_type;
    std::string authorization;
    std::string body;  // the first kKeptBodyBytes
    std::uint64_t body_size = 0;
    std::string body_sha256;  // hex, of the whole body
    std::string client_address;
    int client_port = 0;
};

struct HttpReply {
    int status = 200;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    bool chunked = false;  // no Content-Length: sent as chunks
};

constexpr std::size_t kKeptBodyBytes = 1024 * 1024;

class FakeHttpServer {
public:
    using Handler = std::function<HttpReply(const HttpRequest&)>;
    explicit FakeHttpServer(Handler handler, const char* address = "127.0.0.1");
    ~FakeHttpServer();
    FakeHttpServer(const FakeHttpServer&) = delete;
    FakeHttpServer& operator=(const FakeHttpServer&) = delete;

    std::string url(const std::string& path) const;
    std::vector<HttpRequest> requests() const;

    // For the server's callbacks.
    HttpReply handle(HttpRequest request);

private:
    Handler handler_;
    std::string address_;
    int port_ = 0;
    MHD_Daemon* daemon_ = nullptr;
    mutable std::mutex lock_;
    std::vector<HttpRequest> requests_;
};

// A loopback port that takes connections into its backlog and never
// answers on them.
class SilentServer {
public:
    SilentServer();
    ~SilentServer();
    std::string url(const std::string& path) const;

private:
    int fd_ = -1;
    int port_ = 0;
};

// A loopback port nobody listens on.
int closed_port();

std::string sha256_hex(const std::string& bytes);

}  // namespace onvif_test
