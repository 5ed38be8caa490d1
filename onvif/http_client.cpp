#include "onvif/http_client.h"

#include <curl/curl.h>
#include <strings.h>
#include <sys/socket.h>

#include <cstring>
#include <mutex>

#include "discovery/netns_guard.h"
#include "onvif/soap_xml.h"

namespace onvif {

struct HttpClient::Transfer {
    HttpAnswer* answer = nullptr;
    std::size_t header_bytes = 0;
    bool too_large = false;
    bool headers_too_large = false;
    bool guard_refused = false;
    // The file being sent, if any.
    std::FILE* file = nullptr;
    std::uint64_t size = 0;
    std::uint64_t offset = 0;
    bool file_failed = false;
    const UploadProgress* progress = nullptr;
    std::uint64_t reported = 0;
    char error[CURL_ERROR_SIZE] = {};
};

namespace {

void init_curl_once() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

using Transfer = HttpClient::Transfer;

size_t on_body(char* data, size_t size, size_t count, void* context) {
    auto* t = static_cast<Transfer*>(context);
    std::size_t n = size * count;
    if (t->answer->body.size() + n > kMaxEnvelopeBytes) {
        t->too_large = true;
        return 0;
    }
    t->answer->body.append(data, n);
    return n;
}

bool starts_with_nocase(std::string_view line, std::string_view prefix) {
    return line.size() >= prefix.size() && ::strncasecmp(line.data(), prefix.data(), prefix.size()) == 0;
}

size_t on_header(char* data, size_t size, size_t count, void* context) {
    auto* t = static_cast<Transfer*>(context);
    std::size_t n = size * count;
    t->header_bytes += n;
    if (t->header_bytes > kMaxHeaderBytes) {
        t->headers_too_large = true;
        return 0;
    }
    std::string_view line(data, n);
    if (starts_with_nocase(line, "HTTP/")) {
        // A new answer (after a 100 Continue or a digest round): only the
        // last one counts.
        t->answer->body.clear();
        t->answer->digest_offered = false;
    } else if (starts_with_nocase(line, "WWW-Authenticate:")) {
        std::string_view value = line.substr(std::strlen("WWW-Authenticate:"));
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        if (starts_with_nocase(value, "Digest")) t->answer->digest_offered = true;
    }
    return n;
}

size_t on_read(char* buffer, size_t size, size_t count, void* context) {
    auto* t = static_cast<Transfer*>(context);
    std::uint64_t left = t->size - t->offset;
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, size * count));
    if (want == 0) return 0;
    std::size_t got = std::fread(buffer, 1, want, t->file);
    if (got == 0) {
        // Shorter than it was when the upload began, or unreadable: the
        // device must not get a cut file as if it were the whole one.
        t->file_failed = true;
        return CURL_READFUNC_ABORT;
    }
    t->offset += got;
    return got;
}

int on_seek(void* context, curl_off_t offset, int origin) {
    auto* t = static_cast<Transfer*>(context);
    if (origin != SEEK_SET || offset < 0 || static_cast<std::uint64_t>(offset) > t->size) return CURL_SEEKFUNC_CANTSEEK;
    if (::fseeko(t->file, static_cast<off_t>(offset), SEEK_SET) != 0) return CURL_SEEKFUNC_FAIL;
    t->offset = static_cast<std::uint64_t>(offset);
    return CURL_SEEKFUNC_OK;
}

int on_progress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t sent) {
    auto* t = static_cast<Transfer*>(context);
    if (t->progress != nullptr && *t->progress && sent >= 0 && static_cast<std::uint64_t>(sent) != t->reported) {
        t->reported = static_cast<std::uint64_t>(sent);
        (*t->progress)(t->reported, t->size);
    }
    return 0;
}

curl_socket_t on_open_socket(void* context, curlsocktype, curl_sockaddr* address) {
    auto* t = static_cast<Transfer*>(context);
    if (netns_guard_refuses(&address->addr)) {
        t->guard_refused = true;
        return CURL_SOCKET_BAD;
    }
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

// Why no HTTP answer came, as the session reports it.
Result transfer_failure(CURLcode code, const Transfer& t) {
    std::string why = t.error[0] != '\0' ? t.error : curl_easy_strerror(code);
    if (t.too_large || code == CURLE_FILESIZE_EXCEEDED) return {Status::BadAnswer, "answer too large"};
    if (t.headers_too_large) return {Status::BadAnswer, "answer headers too large"};
    if (t.file_failed) return {Status::LocalError, "the file could not be read to its end"};
    if (t.guard_refused) return {Status::Unreachable, "refused by the test harness's network guard"};
    switch (code) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_INTERFACE_FAILED:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return {Status::Unreachable, why};
    default:
        return {Status::BadAnswer, why};
    }
}

}  // namespace

HttpClient::HttpClient(const SessionOptions& options) : options_(options), transfer_(std::make_unique<Transfer>()) {
    init_curl_once();
    easy_ = curl_easy_init();
    multi_ = curl_multi_init();
    if (easy_ == nullptr || multi_ == nullptr) return;
    Transfer* t = transfer_.get();
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, t->error);
    curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy_, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(easy_, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxEnvelopeBytes));
    curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options_.connect_timeout_ms));
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, on_body);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, t);
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, on_header);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, t);
    curl_easy_setopt(easy_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy_, CURLOPT_XFERINFOFUNCTION, on_progress);
    curl_easy_setopt(easy_, CURLOPT_XFERINFODATA, t);
    curl_easy_setopt(easy_, CURLOPT_OPENSOCKETFUNCTION, on_open_socket);
    curl_easy_setopt(easy_, CURLOPT_OPENSOCKETDATA, t);
    curl_easy_setopt(easy_, CURLOPT_READFUNCTION, on_read);
    curl_easy_setopt(easy_, CURLOPT_READDATA, t);
    curl_easy_setopt(easy_, CURLOPT_SEEKFUNCTION, on_seek);
    curl_easy_setopt(easy_, CURLOPT_SEEKDATA, t);
    curl_easy_setopt(easy_, CURLOPT_USERAGENT, "tervane");
    if (!options_.local_address.empty()) {
        std::string bind = "host!" + options_.local_address;
        curl_easy_setopt(easy_, CURLOPT_INTERFACE, bind.c_str());  // copied by curl
    }
}

HttpClient::~HttpClient() {
    if (multi_ != nullptr) curl_multi_cleanup(multi_);
    if (easy_ != nullptr) curl_easy_cleanup(easy_);
}

void HttpClient::prepare(const std::string& url, std::int64_t timeout_ms, const Credentials* digest,
                         curl_slist* headers) {
    *transfer_ = Transfer{};
    curl_easy_setopt(easy_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy_, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout_ms));
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy_, CURLOPT_POST, 1L);
    // Digest only, and only once the device asked for it: never Basic, and
    // no empty first POST to a device that wants none.
    curl_easy_setopt(easy_, CURLOPT_HTTPAUTH, digest ? CURLAUTH_DIGEST : CURLAUTH_NONE);
    curl_easy_setopt(easy_, CURLOPT_USERNAME, digest ? digest->user.c_str() : nullptr);
    curl_easy_setopt(easy_, CURLOPT_PASSWORD, digest ? digest->password.c_str() : nullptr);
}

Result HttpClient::post_soap(const std::string& url, const std::string& action, const std::string& envelope,
                             const Credentials* digest, HttpAnswer* out) {
    if (easy_ == nullptr || multi_ == nullptr) return {Status::LocalError, "libcurl could not start"};
    std::string type = "Content-Type: application/soap+xml; charset=utf-8; action=\"" + action + "\"";
    curl_slist* headers = curl_slist_append(nullptr, type.c_str());
    // SOAP requests are small; waiting for a 100 Continue only slows them.
    headers = curl_slist_append(headers, "Expect:");
    prepare(url, options_.answer_timeout_ms, digest, headers);
    curl_easy_setopt(easy_, CURLOPT_POSTFIELDS, envelope.data());
    curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(envelope.size()));
    Result result = perform(out);
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    return result;
}

Result HttpClient::post_file(const std::string& url, std::FILE* file, std::uint64_t size,
                             const UploadProgress& progress, const Credentials* digest, HttpAnswer* out) {
    if (easy_ == nullptr || multi_ == nullptr) return {Status::LocalError, "libcurl could not start"};
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/octet-stream");
    prepare(url, options_.upload_timeout_ms, digest, headers);
    transfer_->file = file;
    transfer_->size = size;
    transfer_->progress = &progress;
    // No POSTFIELDS: the body comes from on_read, streamed from the file.
    curl_easy_setopt(easy_, CURLOPT_POSTFIELDS, nullptr);
    curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(size));
    Result result = std::fseek(file, 0, SEEK_SET) == 0 ? perform(out)
                                                         : Result{Status::LocalError, "the file cannot be read"};
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    return result;
}

bool HttpClient::run_until_done() {
    for (;;) {
        int running = 0;
        if (curl_multi_perform(multi_, &running) != CURLM_OK || running == 0) return true;
        if (abort_check_ && abort_check_()) return false;
        curl_multi_poll(multi_, nullptr, 0, kAbortPollMs, nullptr);
    }
}

Result HttpClient::perform(HttpAnswer* out) {
    *out = HttpAnswer{};
    transfer_->answer = out;
    curl_multi_add_handle(multi_, easy_);
    bool finished = run_until_done();
    CURLcode code = CURLE_RECV_ERROR;
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_, &left))
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy_) code = message->data.result;
    curl_multi_remove_handle(multi_, easy_);
    if (!finished) return {Status::Aborted, "stopped"};
    if (code != CURLE_OK) return transfer_failure(code, *transfer_);
    curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &out->status);
    return {};
}

}  // namespace onvif
