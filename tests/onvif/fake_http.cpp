#include "tests/onvif/fake_http.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace onvif_test {

namespace {

std::string hex(const unsigned char* bytes, unsigned length) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned i = 0; i < length; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

// One request while it arrives.
struct Incoming {
    HttpRequest request;
    EVP_MD_CTX* hash = EVP_MD_CTX_new();
    Incoming() { EVP_DigestInit_ex(hash, EVP_sha256(), nullptr); }
    ~Incoming() { EVP_MD_CTX_free(hash); }
};

std::string header(MHD_Connection* connection, const char* name) {
    const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return value ? value : "";
}

void start(MHD_Connection* connection, const char* url, const char* method, Incoming* in) {
    in->request.method = method;
    in->request.url = url;
    in->request.content_type = header(connection, "Content-Type");
    in->request.authorization = header(connection, "Authorization");
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (info != nullptr && info->client_addr->sa_family == AF_INET) {
        const auto* peer = reinterpret_cast<const sockaddr_in*>(info->client_addr);
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer->sin_addr, text, sizeof text);
        in->request.client_address = text;
        in->request.client_port = ntohs(peer->sin_port);
    }
}

ssize_t read_chunk(void* context, uint64_t position, char* buffer, size_t max) {
    const auto* body = static_cast<const std::string*>(context);
    if (position >= body->size()) return MHD_CONTENT_READER_END_OF_STREAM;
    std::size_t n = std::min<std::size_t>(max, body->size() - position);
    std::memcpy(buffer, body->data() + position, n);
    return static_cast<ssize_t>(n);
}

void free_chunks(void* context) { delete static_cast<std::string*>(context); }

MHD_Result reply(MHD_Connection* connection, const HttpReply& answer) {
    MHD_Response* response =
        answer.chunked
            ? MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, read_chunk, new std::string(answer.body),
                                                free_chunks)
            : MHD_create_response_from_buffer(answer.body.size(), const_cast<char*>(answer.body.data()),
                                              MHD_RESPMEM_MUST_COPY);
    for (const auto& [name, value] : answer.headers) MHD_add_response_header(response, name.c_str(), value.c_str());
    MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(answer.status), response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Result on_request(void* context, MHD_Connection* connection, const char* url, const char* method, const char*,
                      const char* upload, size_t* upload_size, void** state) {
    auto* server = static_cast<FakeHttpServer*>(context);
    if (*state == nullptr) {
        auto* in = new Incoming;
        start(connection, url, method, in);
        *state = in;
        return MHD_YES;
    }
    auto* in = static_cast<Incoming*>(*state);
    if (*upload_size != 0) {
        std::size_t keep = std::min(*upload_size, kKeptBodyBytes - std::min(kKeptBodyBytes, in->request.body.size()));
        in->request.body.append(upload, keep);
        in->request.body_size += *upload_size;
        EVP_DigestUpdate(in->hash, upload, *upload_size);
        *upload_size = 0;
        return MHD_YES;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_DigestFinal_ex(in->hash, digest, &length);
    in->request.body_sha256 = hex(digest, length);
    return reply(connection, server->handle(std::move(in->request)));
}

void on_completed(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
    delete static_cast<Incoming*>(*state);
    *state = nullptr;
}

sockaddr_in loopback(const char* address, int port) {
    sockaddr_in where{};
    where.sin_family = AF_INET;
    where.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, address, &where.sin_addr);
    return where;
}

int bound_port(int fd) {
    sockaddr_in where{};
    socklen_t size = sizeof where;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&where), &size);
    return ntohs(where.sin_port);
}

}  // namespace

FakeHttpServer::FakeHttpServer(Handler handler, const char* address) : handler_(std::move(handler)), address_(address) {
    sockaddr_in where = loopback(address, 0);
    daemon_ = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD, 0, nullptr, nullptr, on_request, this,
                               MHD_OPTION_SOCK_ADDR, &where, MHD_OPTION_NOTIFY_COMPLETED, on_completed, nullptr,
                               // Room for the oversized headers some tests send.
                               MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<size_t>(1024 * 1024), MHD_OPTION_END);
    if (daemon_ == nullptr) throw std::runtime_error("cannot start the test's HTTP server");
    port_ = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT)->port;
}

FakeHttpServer::~FakeHttpServer() { MHD_stop_daemon(daemon_); }

std::string FakeHttpServer::url(const std::string& path) const {
    return "http://" + address_ + ":" + std::to_string(port_) + path;
}

std::vector<HttpRequest> FakeHttpServer::requests() const {
    std::lock_guard<std::mutex> guard(lock_);
    return requests_;
}

HttpReply FakeHttpServer::handle(HttpRequest request) {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.push_back(request);
    return handler_(requests_.back());
}

SilentServer::SilentServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in where = loopback("127.0.0.1", 0);
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&where), sizeof where) != 0 || ::listen(fd_, 8) != 0)
        throw std::runtime_error("cannot listen on loopback");
    port_ = bound_port(fd_);
}

SilentServer::~SilentServer() { ::close(fd_); }

std::string SilentServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int closed_port() {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in where = loopback("127.0.0.1", 0);
    ::bind(fd, reinterpret_cast<sockaddr*>(&where), sizeof where);
    int port = bound_port(fd);
    ::close(fd);
    return port;
}

std::string sha256_hex(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    return hex(digest, length);
}

}  // namespace onvif_test
