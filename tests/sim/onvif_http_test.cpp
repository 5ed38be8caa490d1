// The simulator's ONVIF cameras over real sockets, on loopback addresses of
// the test's own: HTTP (through libcurl, an independent client) with both
// login kinds, the firmware upload and reboot, a change of address, unicast
// WS-Discovery, and the state dump of a mixed LAN.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>

#include "runtime/trace.h"
#include "sim/device_side.h"
#include "sim/onvif/onvif_side.h"
#include "sim/state_dump.h"
#include "tests/runtime/wait_for.h"
#include "tests/sim/onvif_fixture.h"

namespace {

constexpr std::uint16_t kHttpPort = 8080;

struct Http {
    CURLcode code = CURLE_OK;
    long status = 0;
    std::string body;
    std::string challenge;  // WWW-Authenticate
};

std::size_t collect(char* data, std::size_t size, std::size_t count, void* out) {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
}

std::size_t collect_challenge(char* data, std::size_t size, std::size_t count, void* out) {
    std::string line(data, size * count);
    if (strncasecmp(line.c_str(), "WWW-Authenticate:", 17) == 0) *static_cast<std::string*>(out) = line;
    return size * count;
}

// A POST as an HTTP client would send it; `auth` a CURLAUTH_ value with `userpwd`.
Http post(const std::string& url, const std::string& body, const std::string& type = "application/soap+xml",
          long auth = CURLAUTH_NONE, const std::string& userpwd = "") {
    Http out;
    CURL* curl = curl_easy_init();
    curl_slist* headers = curl_slist_append(nullptr, ("Content-Type: " + type).c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 10000L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &out.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collect_challenge);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &out.challenge);
    if (auth != CURLAUTH_NONE) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, auth);
        curl_easy_setopt(curl, CURLOPT_USERPWD, userpwd.c_str());
    }
    out.code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &out.status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return out;
}

class OnvifHttpTest : public testing::Test {
protected:
    void SetUp() override {
        set_trace_sink(trace_null_sink, nullptr);
        rt_set_time_speed(20);
        curl_global_init(CURL_GLOBAL_DEFAULT);
    }
    void TearDown() override {
        if (m_onvif) m_onvif->stop();
        if (m_native) m_native->stop();
        curl_global_cleanup();
        rt_set_time_speed(1);
    }

    // `count` ONVIF cameras (and `native` native ones first) on a loopback
    // network of this process.
    void start(int count, const std::string& settings = "", int native = 0,
               std::vector<SimListedCamera> extra = {}) {
        SimOptions o;
        int pid = static_cast<int>(getpid());
        m_prefix = "127." + std::to_string(100 + pid % 100) + "." + std::to_string(pid / 100 % 250) + ".";
        o.count = native;
        o.onvif_count = count;
        o.base_ip = m_prefix + "10";
        o.onvif_base_ip = m_prefix + "20";
        o.http_port = kHttpPort;
        o.cmd_port = 6002;
        o.version = "1.0.0";
        o.extra = std::move(extra);
        m_simulator = std::make_unique<Simulator>(o);
        DeviceSideOptions device;
        device.accounts = {{"admin", "secret"}};
        m_native = std::make_unique<DeviceSide>(*m_simulator, device);
        ASSERT_EQ(m_native->start(), "");
        OnvifSideOptions onvif;
        onvif.wsd_port = 0;
        // These tests need no picture: streams are the RTSP tests' (and
        // GStreamer's threads, unseen by the sanitizers, stay out of them).
        onvif.rtsp = false;
        onvif.accounts = device.accounts;
        onvif.down_ms = 2000;
        if (!settings.empty()) onvif.settings_texts["*"] = {settings};
        m_onvif = std::make_unique<OnvifSide>(*m_simulator, onvif);
        ASSERT_EQ(m_onvif->start(), "");
    }

    OnvifCamera& camera(int index = 0) { return *m_onvif->cameras().at(index); }
    std::string url(int index = 0, const std::string& path = "/onvif/device_service") {
        return camera(index).http_base() + path;
    }
    // A request with a valid token for the camera's clock.
    Http call(int index, const std::string& body) {
        OnvifCamera& c = camera(index);
        return post(url(index), soap(body, token("secret", c.clock_ms() - rt_calendar_ms())));
    }
    // The UploadUri StartFirmwareUpgrade announces ("" without one).
    std::string upload_uri(int index = 0) {
        Http ticket = call(index, "<tds:StartFirmwareUpgrade/>");
        onvif::Envelope envelope;
        if (ticket.status != 200 || !onvif::parse_envelope(ticket.body, &envelope, nullptr)) return "";
        return onvif::path_text(envelope.body_element, {"UploadUri"});
    }

    std::string m_prefix;
    std::unique_ptr<Simulator> m_simulator;
    std::unique_ptr<DeviceSide> m_native;
    std::unique_ptr<OnvifSide> m_onvif;
};

}  // namespace

TEST_F(OnvifHttpTest, DeviceServiceAnswersOnEachCamerasOwnAddress) {
    start(2);
    Http first = call(0, "<tds:GetNetworkInterfaces/>");
    ASSERT_EQ(first.status, 200) << first.body;
    EXPECT_NE(first.body.find(m_prefix + "20<"), std::string::npos);
    EXPECT_NE(call(1, "<tds:GetNetworkInterfaces/>").body.find("02:0F:00:00:00:02"), std::string::npos);

    EXPECT_EQ(post(url(0, "/onvif/event_service"), soap("<tev:GetEventProperties/>")).status, 404);
    EXPECT_EQ(post(url(0), soap("<tds:GetSystemDateAndTime/>"), "application/x-www-form-urlencoded").status, 415);
    Http huge = post(url(0), std::string(onvif::kMaxEnvelopeBytes + 10, 'x'));
    EXPECT_TRUE(huge.code != CURLE_OK || huge.status >= 400);  // cut off, never read whole
}

TEST_F(OnvifHttpTest, DigestOnlyCameraChallengesAndTakesAValidDigest) {
    start(1, "login=digest");
    Http bare = post(url(), soap("<tds:GetSystemDateAndTime/>"));
    EXPECT_EQ(bare.status, 401);
    EXPECT_NE(bare.challenge.find("Digest"), std::string::npos) << bare.challenge;

    Http ok = post(url(), soap("<tds:GetDeviceInformation/>"), "application/soap+xml", CURLAUTH_DIGEST, "admin:secret");
    ASSERT_EQ(ok.status, 200) << ok.body;
    EXPECT_NE(ok.body.find("<tds:FirmwareVersion>1.0.0<"), std::string::npos);
    EXPECT_EQ(post(url(), soap("<tds:GetDeviceInformation/>"), "application/soap+xml", CURLAUTH_DIGEST, "admin:nope")
                  .status,
              401);
    EXPECT_EQ(post(url(), soap("<tds:GetDeviceInformation/>"), "application/soap+xml", CURLAUTH_BASIC, "admin:secret")
                  .status,
              401);
    nlohmann::json dump = camera().to_json();
    EXPECT_EQ(dump["logins"]["digest"], 1);
    EXPECT_EQ(dump["login_kinds"], nlohmann::json::array({"digest"}));
    EXPECT_EQ(dump["clear_text_logins"], 1);  // the Basic one
}

TEST_F(OnvifHttpTest, UploadedFirmwareRebootsTheCameraIntoTheFilesVersion) {
    start(1);
    std::string uri = upload_uri();
    ASSERT_EQ(uri.rfind(camera().http_base() + "/onvif/firmware/", 0), 0u) << uri;

    std::string file(3 * 1024 * 1024 + 17, '\0');
    for (std::size_t i = 0; i < file.size(); ++i) file[i] = static_cast<char>(i * 7 + (i >> 9));
    Http sent = post(uri, file, "application/octet-stream");
    ASSERT_EQ(sent.status, 200) << sent.body;
    std::string version = "fw-" + sha256_hex(file).substr(0, 8);

    // Down: nothing is answered (a connection that slipped in before the
    // listener closed is cut), and soon no connection is taken at all.
    ASSERT_TRUE(wait_for([&] { return !camera().online(); }));
    Http down = post(url(), soap("<tds:GetSystemDateAndTime/>"));
    EXPECT_NE(down.code, CURLE_OK);
    EXPECT_EQ(down.status, 0);
    EXPECT_TRUE(wait_for([&] { return post(url(), soap("<tds:GetSystemDateAndTime/>")).code == CURLE_COULDNT_CONNECT; },
                         camera().down_ms()));
    // Back after the down time, with the version the file gave.
    ASSERT_TRUE(wait_for([&] { return post(url(), soap("<tds:GetSystemDateAndTime/>")).status == 200; }));
    Http info = call(0, "<tds:GetDeviceInformation/>");
    EXPECT_NE(info.body.find("<tds:FirmwareVersion>" + version + "<"), std::string::npos) << info.body;
    nlohmann::json dump = camera().to_json();
    EXPECT_EQ(dump["upgrades"], 1);
    EXPECT_EQ(dump["reboots"], 1);
    EXPECT_EQ(dump["image_sha256"], sha256_hex(file));
    EXPECT_EQ(dump["image_bytes"], file.size());
    EXPECT_EQ(post(uri, file, "application/octet-stream").status, 404);  // the ticket was used
}

TEST_F(OnvifHttpTest, RefusedUploadLeavesTheCameraAsItWas) {
    start(2, "refuse_upload=post");
    EXPECT_EQ(post(upload_uri(), "image", "application/octet-stream").status, 500);
    EXPECT_TRUE(camera().online());
    EXPECT_EQ(camera().to_json()["upgrades"], 0);
    EXPECT_EQ(camera().to_json()["upgrade_refusals"].size(), 1u);
}

TEST_F(OnvifHttpTest, CameraThatNeverComesBackStaysSilent) {
    start(1, "never_come_back");
    ASSERT_EQ(post(upload_uri(), "image", "application/octet-stream").status, 200);
    rt_sleep_ms(3 * camera().down_ms());
    EXPECT_FALSE(camera().online());
    EXPECT_EQ(post(url(), soap("<tds:GetSystemDateAndTime/>")).code, CURLE_COULDNT_CONNECT);
}

TEST_F(OnvifHttpTest, CameraAnswersAtItsNewAddressOnly) {
    start(1);
    std::string old_url = url();
    std::string moved = m_prefix + "40";
    Http set = call(0, "<tds:SetNetworkInterfaces><tds:InterfaceToken>eth0</tds:InterfaceToken><tds:NetworkInterface>"
                       "<tt:IPv4><tt:Manual><tt:Address>" + moved + "</tt:Address><tt:PrefixLength>8</tt:PrefixLength>"
                       "</tt:Manual><tt:DHCP>false</tt:DHCP></tt:IPv4></tds:NetworkInterface></tds:SetNetworkInterfaces>");
    ASSERT_EQ(set.status, 200) << set.body;
    ASSERT_TRUE(wait_for([&] { return post(url(), soap("<tds:GetSystemDateAndTime/>")).status == 200; }));
    EXPECT_EQ(url(), "http://" + moved + ":8080/onvif/device_service");
    EXPECT_EQ(post(old_url, soap("<tds:GetSystemDateAndTime/>")).code, CURLE_COULDNT_CONNECT);
}

TEST_F(OnvifHttpTest, UnicastProbeIsAnsweredFromTheCamerasAddress) {
    start(2);
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in own{};
    own.sin_family = AF_INET;
    inet_pton(AF_INET, (m_prefix + "2").c_str(), &own.sin_addr);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&own), sizeof own), 0);
    timeval wait{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    auto ask = [&](const std::string& ip) {
        std::string probe = onvif::build_envelope(
            "<wsa:MessageID>urn:uuid:test-probe</wsa:MessageID><wsa:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery"
            "</wsa:To><wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</wsa:Action>",
            "<d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types></d:Probe>");
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(m_onvif->wsd_port());
        inet_pton(AF_INET, ip.c_str(), &to.sin_addr);
        ::sendto(fd, probe.data(), probe.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        char buffer[8192];
        sockaddr_in from{};
        socklen_t length = sizeof from;
        long got = ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
        char text[INET_ADDRSTRLEN] = "";
        inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
        return std::make_pair(std::string(text), got > 0 ? std::string(buffer, static_cast<std::size_t>(got)) : "");
    };
    auto [source, reply] = ask(m_prefix + "21");
    EXPECT_EQ(source, m_prefix + "21");
    EXPECT_NE(reply.find("<wsa:RelatesTo>urn:uuid:test-probe</wsa:RelatesTo>"), std::string::npos);
    EXPECT_NE(reply.find(camera(1).endpoint()), std::string::npos);
    EXPECT_TRUE(wait_for([&] { return m_onvif->wsd().matches_sent() == 1u; }));
    ::close(fd);
}

TEST_F(OnvifHttpTest, StateDumpHoldsBothKindsAndACameraSpeakingBoth) {
    SimListedCamera dual;
    dual.mac = "02:88:00:00:00:01";
    dual.protocol = CameraProtocol::both;
    int pid = static_cast<int>(getpid());
    dual.ip = "127." + std::to_string(100 + pid % 100) + "." + std::to_string(pid / 100 % 250) + ".50";
    start(1, "", 1, {dual});
    nlohmann::json cameras = sim_state_dump(*m_simulator, *m_native, *m_onvif)["cameras"];
    ASSERT_EQ(cameras.size(), 3u);
    EXPECT_EQ(cameras[0]["protocol"], "native");
    EXPECT_FALSE(cameras[0].contains("onvif"));
    EXPECT_EQ(cameras[1]["protocol"], "onvif");
    EXPECT_EQ(cameras[1]["mac"], "02:0F:00:00:00:01");
    EXPECT_EQ(cameras[1]["onvif"]["clear_text_logins"], 0);
    EXPECT_EQ(cameras[1]["onvif"]["date_time_type"], "Manual");
    EXPECT_EQ(cameras[2]["protocol"], "both");
    EXPECT_TRUE(cameras[2].contains("accounts"));  // the native side's state
    EXPECT_EQ(cameras[2]["onvif"]["endpoint"], m_onvif->find(dual.mac)->endpoint());
    // One camera, one address, one version for both protocols.
    EXPECT_EQ(post("http://" + dual.ip + ":8080/onvif/device_service", soap("<tds:GetSystemDateAndTime/>")).status, 200);
}
