#include "onvif/onvif_session.h"

#include <gtest/gtest.h>
#include <tinyxml.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>

#include "discovery/netns_guard.h"
#include "onvif/soap_xml.h"
#include "runtime/rt_time.h"
#include "tests/onvif/fake_camera.h"

namespace onvif {
namespace {

using namespace onvif_test;

constexpr std::int64_t kTwoHoursMs = 2 * 3600 * 1000;

std::unique_ptr<IDevice> open(const FakeCamera& camera, const Credentials& login = {"admin", "secret"},
                              const SessionOptions& options = {}) {
    return open_device(camera.xaddr(), login, options);
}

CameraSetup digest_only(const char* algorithm = "MD5") {
    CameraSetup setup;
    setup.login = Login::HttpDigest;
    setup.digest_algorithm = algorithm;
    return setup;
}

// A camera whose every answer to `operation` is `reply`.
CameraSetup answering(const std::string& operation, HttpReply reply) {
    CameraSetup setup;
    setup.before = [operation, reply](const HttpRequest&, const std::string& asked) -> std::optional<HttpReply> {
        if (asked == operation) return reply;
        return std::nullopt;
    };
    return setup;
}

std::string soap_action(const std::string& operation) {
    return "application/soap+xml; charset=utf-8; action=\"http://www.onvif.org/ver10/device/wsdl/" + operation + "\"";
}

TEST(Session, DigestMathsIsTheRfcs) {
    EXPECT_EQ(digest_response("MD5", "Mufasa", "testrealm@host.com", "Circle Of Life", "GET", "/dir/index.html",
                              "dcd98b7102dd2f0e8b11d0f600bfb0c093", "00000001", "0a4f113b", "auth"),
              "6629fae49393a05397450978507c4ef1");  // RFC 2617, 3.5
    for (auto [algorithm, expected] : {std::pair{"MD5", "8ca523f5e9506fed4657c9700eebdbec"},
                                       std::pair{"SHA-256", "753927fa0e85d155564e2e272a28d1802ca10daf4496794697cf8db5856cb6c1"}})
        EXPECT_EQ(digest_response(algorithm, "Mufasa", "http-auth@example.org", "Circle of Life", "GET",
                                  "/dir/index.html", "7ypf/xlj9XXwfDPEoM4URrv/xwf94BcCAzFZH4GiTo0v", "00000001",
                                  "f2/wE4q74E6zIJEtWaHKaf5wv/H5QzzpXusqGemxURZJ", "auth"),
                  expected);  // RFC 7616, 3.9.1
}

TEST(Session, LogsInWithTheTokenOverOneKeptConnection) {
    FakeCamera camera({});
    auto device = open(camera);
    ASSERT_TRUE(device->sync_clock().ok());
    DeviceInformation info;
    ASSERT_TRUE(device->get_device_information(&info).ok());
    EXPECT_EQ(info.firmware_version, "1.0.0");
    std::vector<User> users;
    ASSERT_TRUE(device->get_users(&users).ok());

    std::vector<HttpRequest> requests = camera.requests();
    ASSERT_EQ(camera.operations(), (std::vector<std::string>{"GetSystemDateAndTime", "GetDeviceInformation", "GetUsers"}));
    for (const HttpRequest& request : requests) {
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.url, "/onvif/device_service");
        EXPECT_EQ(request.content_type, soap_action(operation_of(request)));
        EXPECT_EQ(request.authorization, "");
        EXPECT_EQ(request.client_port, requests[0].client_port);  // keep-alive
        EXPECT_EQ(request.body.find("secret"), std::string::npos);
        EXPECT_EQ(request.body.find("PasswordText"), std::string::npos);
    }
    // The clock is read without a login; the rest carry the token.
    EXPECT_EQ(requests[0].body.find("UsernameToken"), std::string::npos);
    EXPECT_NE(requests[1].body.find("#PasswordDigest"), std::string::npos);
    EXPECT_EQ(camera.refused(), 0);
}

class DigestCamera : public testing::TestWithParam<const char*> {};

TEST_P(DigestCamera, GetsTheRfcDigestAndNoToken) {
    FakeCamera camera(digest_only(GetParam()));
    auto device = open(camera);
    ASSERT_TRUE(device->sync_clock().ok());
    DeviceInformation info;
    ASSERT_TRUE(device->get_device_information(&info).ok());
    std::vector<User> users;
    ASSERT_TRUE(device->get_users(&users).ok());

    std::vector<HttpRequest> requests = camera.requests();
    const HttpRequest last = requests.back();
    std::map<std::string, std::string> f = digest_fields(last.authorization);
    EXPECT_EQ(f["username"], "admin");
    EXPECT_EQ(f["response"], digest_response(GetParam(), "admin", f["realm"], "secret", "POST", last.url, f["nonce"],
                                             f["nc"], f["cnonce"], "auth"));
    for (const HttpRequest& request : requests) {
        EXPECT_FALSE(request.authorization.starts_with("Basic")) << request.authorization;
        EXPECT_EQ(request.body.find("secret"), std::string::npos);
    }
    // After the first 401 the token is left out: one login at a time.
    std::size_t first_401 = 1;  // the token-carrying GetDeviceInformation
    for (std::size_t i = first_401 + 1; i < requests.size(); ++i)
        EXPECT_EQ(requests[i].body.find("UsernameToken"), std::string::npos) << i;
}

INSTANTIATE_TEST_SUITE_P(Algorithms, DigestCamera, testing::Values("MD5", "SHA-256"));

TEST(Session, WrongPasswordIsALoginRefusal) {
    for (CameraSetup setup : {CameraSetup{}, digest_only()}) {
        FakeCamera camera(setup);
        auto device = open(camera, {"admin", "wrong"});
        DeviceInformation info;
        Result result = device->get_device_information(&info);
        EXPECT_EQ(result.status, Status::AuthRefused) << result.detail;
        EXPECT_LE(camera.requests().size(), 4u);  // one clock reading and one more try at most
        EXPECT_EQ(device->get_device_information(&info).status, Status::AuthRefused);
    }
    FakeCamera camera({});
    std::vector<User> users;
    EXPECT_EQ(open(camera, {"intruder", "secret"})->get_users(&users).status, Status::AuthRefused);
}

TEST(Session, CameraWhoseClockIsTwoHoursOffLogsIn) {
    for (std::int64_t offset : {kTwoHoursMs, -kTwoHoursMs}) {
        CameraSetup setup;
        setup.clock_offset_ms = offset;
        FakeCamera first(setup);
        DeviceInformation info;
        // Without a clock reading first: refused once, read, in.
        ASSERT_TRUE(open(first)->get_device_information(&info).ok());
        EXPECT_EQ(first.operations(),
                  (std::vector<std::string>{"GetDeviceInformation", "GetSystemDateAndTime", "GetDeviceInformation"}));
        // With it, as the workers log in: never refused.
        FakeCamera second(setup);
        auto device = open(second);
        ASSERT_TRUE(device->sync_clock().ok());
        ASSERT_TRUE(device->get_device_information(&info).ok());
        EXPECT_EQ(second.refused(), 0);
    }
}

TEST(Session, SetTimeMovesTheClockTheTokensFollow) {
    CameraSetup setup;
    setup.clock_offset_ms = kTwoHoursMs;
    FakeCamera camera(setup);
    auto device = open(camera);
    ASSERT_TRUE(device->sync_clock().ok());
    // The fake's clock stays two hours ahead; the session now believes it
    // is the host's, so its next token is refused, and one fresh reading
    // sets that right.
    ASSERT_TRUE(device->set_system_date_and_time(DateTimeType::Manual, false, "CST-8", rt_calendar_ms()).ok());
    DeviceInformation info;
    ASSERT_TRUE(device->get_device_information(&info).ok());
    EXPECT_EQ(camera.refused(), 1);
}

TEST(Session, RedirectIsNotFollowed) {
    FakeCamera elsewhere({});
    FakeCamera camera(answering("GetDeviceInformation", {302, "", {{"Location", elsewhere.xaddr()}}}));
    DeviceInformation info;
    Result result = open(camera)->get_device_information(&info);
    EXPECT_EQ(result.status, Status::BadAnswer);
    EXPECT_EQ(result.detail, "redirect not followed (HTTP 302)");
    EXPECT_TRUE(elsewhere.requests().empty());
}

TEST(Session, OversizedDeepAndMalformedAnswersAreBad) {
    std::string huge = build_envelope("", "<tds:GetDeviceInformationResponse>" + std::string(kMaxEnvelopeBytes, 'x') +
                                              "</tds:GetDeviceInformationResponse>");
    std::string deep;
    for (int i = 0; i <= kMaxXmlDepth; ++i) deep += "<a>";
    std::vector<std::pair<std::string, std::string>> many_headers;
    for (int i = 0; i < 800; ++i) many_headers.push_back({"X-Filler-" + std::to_string(i), std::string(100, 'y')});
    const HttpReply replies[] = {
        {200, huge, {}, false},
        {200, huge, {}, true},  // chunked: no length to refuse it by
        {200, build_envelope("", "<tds:GetDeviceInformationResponse>" + deep + "</tds:GetDeviceInformationResponse>"), {}},
        {200, "<s:Envelope><s:Body><tds:GetDeviceInformationResponse>", {}},
        {200, "<html><body>Please log in</body></html>", {}},
        {200, build_envelope("", "<tds:GetUsersResponse/>"), {}},
        {200, "", {}},
        {200, build_envelope("", "<tds:GetDeviceInformationResponse/>"), {}},
        {200, build_envelope("", "<tds:GetDeviceInformationResponse/>"), many_headers},
    };
    for (const HttpReply& reply : replies) {
        int sent = 0;
        CameraSetup setup;
        // Bad once, then the real answer: the session must recover.
        setup.before = [&](const HttpRequest&, const std::string& op) -> std::optional<HttpReply> {
            if (op == "GetDeviceInformation" && sent++ == 0) return reply;
            return std::nullopt;
        };
        FakeCamera camera(setup);
        auto device = open(camera);
        DeviceInformation info;
        Result result = device->get_device_information(&info);
        EXPECT_EQ(result.status, Status::BadAnswer) << reply.body.substr(0, 60) << ": " << result.detail;
        EXPECT_TRUE(device->get_device_information(&info).ok());
    }
}

TEST(Session, DeviceThatNeverAnswersIsUnreachable) {
    SilentServer silent;
    SessionOptions options;
    options.answer_timeout_ms = 300;
    DeviceInformation info;
    Result result = open_device(silent.url("/onvif/device_service"), {"admin", "secret"}, options)
                        ->get_device_information(&info);
    EXPECT_EQ(result.status, Status::Unreachable) << result.detail;
    std::string nobody = "http://127.0.0.1:" + std::to_string(closed_port()) + "/onvif/device_service";
    EXPECT_EQ(open_device(nobody, {"admin", "secret"})->sync_clock().status, Status::Unreachable);
}

TEST(Session, AbortCheckStopsAWaitingCall) {
    SilentServer silent;
    SessionOptions options;
    options.answer_timeout_ms = 600000;  // only the abort can end it
    auto device = open_device(silent.url("/onvif/device_service"), {"admin", "secret"}, options);
    int looks = 0;
    device->set_abort_check([&looks] { return ++looks > 3; });
    DeviceInformation info;
    EXPECT_EQ(device->get_device_information(&info).status, Status::Aborted);

    FakeCamera camera({});
    auto stopped = open(camera);
    stopped->set_abort_check([] { return true; });
    EXPECT_EQ(stopped->sync_clock().status, Status::Aborted);
    EXPECT_TRUE(camera.requests().empty());
}

class Upload : public testing::Test {
protected:
    void SetUp() override {
        path_ = testing::TempDir() + "onvif_upload_" + std::to_string(::getpid()) + ".bin";
        std::mt19937 random(7);
        bytes_.resize(3 * 1024 * 1024 + 123);
        for (char& c : bytes_) c = static_cast<char>(random());
        std::ofstream(path_, std::ios::binary).write(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
    }
    void TearDown() override { std::remove(path_.c_str()); }

    // Starts the upgrade and sends the file; checks what the camera got.
    void upload_to(FakeCamera& camera) {
        auto device = open(camera);
        FirmwareUpgradeTicket ticket;
        ASSERT_TRUE(device->start_firmware_upgrade(&ticket).ok());
        EXPECT_EQ(ticket.upload_uri, camera.url("/upload/1"));  // the relative UploadUri, on the device
        EXPECT_EQ(ticket.expected_down_time_ms, 30000);
        std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
        Result sent = device->upload_firmware(ticket, path_, [&](std::uint64_t done, std::uint64_t total) {
            progress.push_back({done, total});
        });
        ASSERT_TRUE(sent.ok()) << sent.detail;
        const HttpRequest upload = camera.requests().back();
        EXPECT_EQ(upload.url, "/upload/1");
        EXPECT_EQ(upload.content_type, "application/octet-stream");
        EXPECT_EQ(upload.body_size, bytes_.size());
        EXPECT_EQ(upload.body_sha256, sha256_hex(bytes_));
        ASSERT_GE(progress.size(), 2u);
        EXPECT_EQ(progress.back(), std::make_pair(std::uint64_t{bytes_.size()}, std::uint64_t{bytes_.size()}));
    }

    std::string path_;
    std::string bytes_;
};

TEST_F(Upload, SendsTheFilesExactBytes) {
    FakeCamera camera({});
    upload_to(camera);
}

TEST_F(Upload, SendsThemToADigestCameraToo) {
    FakeCamera camera(digest_only());
    upload_to(camera);
}

TEST_F(Upload, RefusedFileFailsAndMissingFileIsLocal) {
    CameraSetup setup;
    setup.upload_status = 415;
    FakeCamera camera(setup);
    auto device = open(camera);
    FirmwareUpgradeTicket ticket;
    ASSERT_TRUE(device->start_firmware_upgrade(&ticket).ok());
    EXPECT_EQ(device->upload_firmware(ticket, path_, nullptr).status, Status::Fault);
    EXPECT_EQ(device->upload_firmware(ticket, path_ + ".missing", nullptr).status, Status::LocalError);
    EXPECT_EQ(device->upload_firmware(ticket, "/dev/zero", nullptr).status, Status::LocalError);
}

// A file cut short while it is sent must not reach the device as if whole.
TEST_F(Upload, FileThatShrinksMidwayFails) {
    FakeCamera camera({});
    auto device = open(camera);
    FirmwareUpgradeTicket ticket;
    ASSERT_TRUE(device->start_firmware_upgrade(&ticket).ok());
    bool cut = false;
    Result result = device->upload_firmware(ticket, path_, [&](std::uint64_t, std::uint64_t) {
        if (!cut) cut = ::truncate(path_.c_str(), 1000) == 0;
    });
    ASSERT_TRUE(cut);
    EXPECT_EQ(result.status, Status::LocalError) << result.detail;
    for (const HttpRequest& request : camera.requests()) EXPECT_NE(request.url, "/upload/1");
}

TEST_F(Upload, AddressesOutsideTheDeviceAreRefused) {
    FakeCamera elsewhere({}, "127.0.0.2");
    for (const std::string& uri : {elsewhere.url("/upload/1"), std::string("https://127.0.0.1/upload"),
                                   std::string("ftp://127.0.0.1/upload"), std::string("http://[::1]/upload")}) {
        FakeCamera camera(answering("StartFirmwareUpgrade",
                                    soap_reply("<tds:StartFirmwareUpgradeResponse><tds:UploadUri>" + uri +
                                               "</tds:UploadUri></tds:StartFirmwareUpgradeResponse>")));
        auto device = open(camera);
        FirmwareUpgradeTicket ticket;
        Result result = device->start_firmware_upgrade(&ticket);
        EXPECT_EQ(result.status, Status::BadAnswer) << uri;
        EXPECT_NE(result.detail.find("points outside the device"), std::string::npos) << result.detail;
        // A ticket made by hand is checked again.
        EXPECT_EQ(device->upload_firmware({uri, 0, 0}, path_, nullptr).status, Status::BadAnswer) << uri;
    }
    FakeCamera camera(answering(
        "GetServices", soap_reply("<tds:GetServicesResponse><tds:Service><tds:Namespace>" + std::string(kNsMedia) +
                                  "</tds:Namespace><tds:XAddr>" + elsewhere.url("/onvif/Media") +
                                  "</tds:XAddr></tds:Service></tds:GetServicesResponse>")));
    Services services;
    EXPECT_EQ(open(camera)->get_services(&services).status, Status::BadAnswer);
    EXPECT_TRUE(elsewhere.requests().empty());
}

TEST(Session, OperationsSendTheirParameters) {
    CameraSetup setup;
    setup.answers["SetNetworkInterfaces"] =
        "<tds:SetNetworkInterfacesResponse><tds:RebootNeeded>true</tds:RebootNeeded></tds:SetNetworkInterfacesResponse>";
    setup.answers["SetNetworkDefaultGateway"] = "<tds:SetNetworkDefaultGatewayResponse/>";
    setup.answers["SetSystemFactoryDefault"] = "<tds:SetSystemFactoryDefaultResponse/>";
    FakeCamera camera(setup);
    auto device = open(camera);
    bool reboot = false;
    ASSERT_TRUE(device->set_ipv4("eth0", false, "127.0.0.9", 8, &reboot).ok());
    EXPECT_TRUE(reboot);
    ASSERT_TRUE(device->set_default_gateway("127.0.0.254").ok());
    ASSERT_TRUE(device->set_system_factory_default_soft().ok());
    EXPECT_EQ(device->set_ntp("pool.ntp.org").status, Status::NotSupported);  // ActionNotSupported
    // The level comes from GetUsers; the new password is the login from then on.
    ASSERT_TRUE(device->set_user({"admin", ""}, "n3w").ok());
    DeviceInformation info;
    ASSERT_TRUE(device->get_device_information(&info).ok());

    std::vector<HttpRequest> requests = camera.requests();
    Envelope set_ipv4;
    ASSERT_TRUE(parse_envelope(requests[0].body, &set_ipv4, nullptr));
    EXPECT_EQ(path_text(set_ipv4.body_element, {"NetworkInterface", "IPv4", "Manual", "Address"}), "127.0.0.9");
    Envelope set_user;
    ASSERT_TRUE(parse_envelope(requests[5].body, &set_user, nullptr));
    EXPECT_EQ(path_text(set_user.body_element, {"User", "UserLevel"}), "Administrator");
    EXPECT_EQ(camera.refused(), 0);

    // Nothing is sent for what no request can carry.
    std::size_t sent = camera.requests().size();
    EXPECT_EQ(device->set_ipv4("eth0", false, "10.0.0.300", 24, &reboot).status, Status::LocalError);
    EXPECT_EQ(device->set_default_gateway("gateway").status, Status::LocalError);
    EXPECT_EQ(device->set_ntp("").status, Status::LocalError);
    EXPECT_EQ(device->set_user({"nobody", ""}, "x").status, Status::Fault);  // asks GetUsers only
    EXPECT_EQ(camera.requests().size(), sent + 1);
}

TEST(Session, BindsToTheChosenLocalAddress) {
    FakeCamera camera({});
    SessionOptions options;
    options.local_address = "127.0.0.3";
    ASSERT_TRUE(open(camera, {"admin", "secret"}, options)->sync_clock().ok());
    EXPECT_EQ(camera.requests()[0].client_address, "127.0.0.3");
}

// With this namespace named as the machine's own, the harness's guard
// keeps every connection but loopback from being opened.
TEST(Session, ConnectionsPassTheHarnesssNetworkGuard) {
    std::string before = std::getenv(kNetnsGuardVariable) ? std::getenv(kNetnsGuardVariable) : "";
    char own[64] = {};
    ASSERT_GT(::readlink("/proc/self/ns/net", own, sizeof own - 1), 0);
    ::setenv(kNetnsGuardVariable, own, 1);
    Result result = open_device("http://198.51.100.1/onvif/device_service", {"admin", "secret"})->sync_clock();
    FakeCamera camera({});
    Result loopback = open(camera)->sync_clock();
    ::setenv(kNetnsGuardVariable, before.c_str(), 1);
    EXPECT_EQ(result.status, Status::Unreachable);
    EXPECT_EQ(result.detail, "refused by the test harness's network guard");
    EXPECT_TRUE(loopback.ok());
}

TEST(Session, OnlyHttpDeviceAddressesAreUsed) {
    for (const char* xaddr : {"https://127.0.0.1/onvif/device_service", "ftp://127.0.0.1/", "127.0.0.1", ""}) {
        auto device = open_device(xaddr, {"admin", "secret"});
        EXPECT_EQ(device->device_xaddr(), xaddr);
        EXPECT_EQ(device->sync_clock().status, Status::BadAnswer) << xaddr;
    }
}

}  // namespace
}  // namespace onvif

namespace onvif {
namespace {

// A camera of the time before GetServices: its services are named in
// GetCapabilities, and each request goes to its own service's address with
// that service's action.
TEST(CameraSession, ServicesFromCapabilitiesWhereGetServicesIsMissing) {
    CameraSetup setup;
    FakeCamera* self = nullptr;
    setup.before = [&self](const HttpRequest&, const std::string& operation) -> std::optional<HttpReply> {
        if (operation != "GetCapabilities") return std::nullopt;
        return soap_reply("<tds:GetCapabilitiesResponse><tds:Capabilities><tt:Media><tt:XAddr>" +
                          self->url("/onvif/Media") + "</tt:XAddr></tt:Media><tt:PTZ><tt:XAddr>" +
                          self->url("/onvif/PTZ") + "</tt:XAddr></tt:PTZ></tds:Capabilities>"
                                                    "</tds:GetCapabilitiesResponse>");
    };
    setup.answers["GetProfiles"] =
        "<trt:GetProfilesResponse><trt:Profiles token=\"p1\"><tt:VideoEncoderConfiguration><tt:Encoding>H264"
        "</tt:Encoding></tt:VideoEncoderConfiguration></trt:Profiles></trt:GetProfilesResponse>";
    setup.answers["Stop"] = "<tptz:StopResponse/>";
    FakeCamera camera(setup);
    self = &camera;
    auto session = open_camera(camera.xaddr(), {"admin", "secret"});
    std::vector<VideoProfile> profiles;
    ASSERT_TRUE(session->get_profiles(&profiles).ok());
    EXPECT_EQ(profiles.at(0).codec, VideoCodec::h264);
    ASSERT_TRUE(session->stop_move("p1").ok());
    // Imaging is not offered: nothing is sent for it.
    EXPECT_EQ(session->set_ir_cut("src", IrCutMode::on).status, Status::NotSupported);

    std::vector<HttpRequest> requests = camera.requests();
    ASSERT_EQ(requests.size(), 4u);  // GetServices, GetCapabilities, GetProfiles, Stop
    EXPECT_EQ(operation_of(requests[0]), "GetServices");
    EXPECT_EQ(requests[2].url, "/onvif/Media");
    EXPECT_NE(requests[2].content_type.find("action=\"http://www.onvif.org/ver10/media/wsdl/GetProfiles\""),
              std::string::npos);
    EXPECT_EQ(requests[3].url, "/onvif/PTZ");
    EXPECT_NE(requests[3].content_type.find("action=\"http://www.onvif.org/ver20/ptz/wsdl/Stop\""), std::string::npos);
}

// A service address on another host is never followed, for any service.
TEST(CameraSession, ServiceAddressesOffTheCameraAreRefused) {
    FakeCamera elsewhere({}, "127.0.0.2");
    CameraSetup setup;
    setup.answers["GetServices"] = "<tds:GetServicesResponse><tds:Service><tds:Namespace>" + std::string(kNsPtz) +
                                   "</tds:Namespace><tds:XAddr>" + elsewhere.url("/onvif/PTZ") +
                                   "</tds:XAddr></tds:Service></tds:GetServicesResponse>";
    FakeCamera camera(setup);
    auto session = open_camera(camera.xaddr(), {"admin", "secret"});
    Result result = session->stop_move("p1");
    EXPECT_EQ(result.status, Status::BadAnswer);
    EXPECT_NE(result.detail.find("points outside the device"), std::string::npos) << result.detail;
    Services services;
    EXPECT_EQ(session->discover_services(&services).status, Status::BadAnswer);
    EXPECT_TRUE(elsewhere.requests().empty());
}

}  // namespace
}  // namespace onvif
