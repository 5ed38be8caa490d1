#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "onvif/device_replies.h"
#include "onvif/onvif_device.h"
#include "onvif/onvif_session.h"

typedef void CURL;
typedef void CURLM;
struct curl_slist;

// HTTP POSTs to one device over libcurl, one connection kept alive between
// them. Answers are bounded in size (kMaxEnvelopeBytes, and the headers),
// in time (the session's timeouts) and by the caller's abort check, which
// is looked at every kAbortPollMs while a request runs. Redirects are never
// followed, only http is spoken, and every connection passes the test
// harness's network guard. Used by one thread at a time.
namespace onvif {

// How often a running request looks at the abort check: a socket poll's
// bound, not a wait of its own, so real time.
constexpr int kAbortPollMs = 50;
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

class HttpClient {
public:
    explicit HttpClient(const SessionOptions& options);
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    void set_abort_check(std::function<bool()> check) { abort_check_ = std::move(check); }

    // Answers Ok once an HTTP answer came, whatever its status (in *out);
    // otherwise why none came (Unreachable, Aborted, BadAnswer, LocalError).
    // `digest`: answer a Digest challenge with these; null: no HTTP login.
    Result post_soap(const std::string& url, const std::string& action, const std::string& envelope,
                     const Credentials* digest, HttpAnswer* out);
    // Sends `size` bytes of `file` from its start, as they are.
    Result post_file(const std::string& url, std::FILE* file, std::uint64_t size, const UploadProgress& progress,
                     const Credentials* digest, HttpAnswer* out);

    // What the transfer callbacks share with the client.
    struct Transfer;

private:
    void prepare(const std::string& url, std::int64_t timeout_ms, const Credentials* digest, curl_slist* headers);
    Result perform(HttpAnswer* out);
    bool run_until_done();

    SessionOptions options_;
    CURL* easy_ = nullptr;
    CURLM* multi_ = nullptr;
    std::function<bool()> abort_check_;
    std::unique_ptr<Transfer> transfer_;
};

}  // namespace onvif
