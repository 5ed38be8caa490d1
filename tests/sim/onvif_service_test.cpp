// The device service of a simulated ONVIF camera, request by request,
// without sockets: logins, each operation the tool uses, and the faults.
#include <gtest/gtest.h>

#include <atomic>

#include "tests/sim/onvif_fixture.h"

namespace {

const char* kInfo = "<tds:GetDeviceInformation/>";

std::string set_interface(const std::string& address, int prefix) {
    return "<tds:SetNetworkInterfaces><tds:InterfaceToken>eth0</tds:InterfaceToken><tds:NetworkInterface><tt:IPv4>"
           "<tt:Enabled>true</tt:Enabled><tt:Manual><tt:Address>" + address + "</tt:Address><tt:PrefixLength>" +
           std::to_string(prefix) + "</tt:PrefixLength></tt:Manual><tt:DHCP>false</tt:DHCP></tt:IPv4>"
           "</tds:NetworkInterface></tds:SetNetworkInterfaces>";
}

std::string set_time(const std::string& type, const std::string& tz, const std::string& utc = "") {
    return "<tds:SetSystemDateAndTime><tds:DateTimeType>" + type + "</tds:DateTimeType><tds:DaylightSavings>false"
           "</tds:DaylightSavings><tds:TimeZone><tt:TZ>" + tz + "</tt:TZ></tds:TimeZone>" + utc +
           "</tds:SetSystemDateAndTime>";
}

std::string set_password(const std::string& user, const std::string& password) {
    return "<tds:SetUser><tds:User><tt:Username>" + user + "</tt:Username><tt:Password>" + password +
           "</tt:Password><tt:UserLevel>Administrator</tt:UserLevel></tds:User></tds:SetUser>";
}

void expect_fault(const Answer& answer, unsigned status, const std::string& subcode) {
    EXPECT_EQ(answer.http.status, status);
    ASSERT_TRUE(answer.parsed) << answer.http.body;
    EXPECT_TRUE(answer.envelope.is_fault);
    EXPECT_EQ(answer.envelope.fault_subcode, subcode) << answer.envelope.fault_reason;
}

nlohmann::json record(OnvifCamera& camera) { return camera.to_json(); }

}  // namespace

TEST(OnvifService, ClockIsReadWithoutLoginAndRunsOnTheCamerasOffset) {
    auto camera = onvif_camera("clock_offset=7200");
    Answer answer = call(*camera, soap("<tds:GetSystemDateAndTime/>"));
    ASSERT_EQ(answer.http.status, 200u);
    const TiXmlElement* utc = onvif::descendant(answer.body(), "UTCDateTime");
    long hour = std::stol(onvif::path_text(utc, {"Time", "Hour"}));
    std::time_t host = static_cast<std::time_t>(rt_calendar_ms() / 1000);
    std::tm t{};
    gmtime_r(&host, &t);
    EXPECT_EQ(hour, (t.tm_hour + 2) % 24);
    EXPECT_EQ(onvif::path_text(onvif::descendant(answer.body(), "TimeZone"), {"TZ"}), "UTC0");
    EXPECT_EQ(record(*camera)["operations"]["GetSystemDateAndTime"], 1);
}

TEST(OnvifService, PreAuthOperationsNeedNoLoginAndIgnoreABadOne) {
    auto camera = onvif_camera();
    for (const char* body : {"<tds:GetCapabilities/>", "<tds:GetServices><tds:IncludeCapability>false"
                             "</tds:IncludeCapability></tds:GetServices>", "<tds:GetServiceCapabilities/>",
                             "<tds:GetHostname/>"}) {
        EXPECT_EQ(call(*camera, soap(body)).http.status, 200u) << body;
        EXPECT_EQ(call(*camera, soap(body, token("wrong"))).http.status, 200u) << body;
    }
    EXPECT_EQ(record(*camera)["logins"]["refused"], 0);
}

TEST(OnvifService, TokenLoginIsCheckedAgainstTheCamerasClock) {
    auto camera = onvif_camera("clock_offset=7200");
    // The host's own time is two hours off the camera's: refused.
    expect_fault(call(*camera, soap(kInfo, token("secret", 0))), 400, "NotAuthorized");
    Answer ok = call_as_admin(*camera, kInfo);
    ASSERT_EQ(ok.http.status, 200u) << ok.http.body;
    EXPECT_EQ(ok.text({"FirmwareVersion"}), "1.0.0");
    EXPECT_EQ(ok.text({"Model"}), "SIMCAM-O1");
    EXPECT_EQ(ok.text({"SerialNumber"}), "SIM020F00000001");
    expect_fault(call_as_admin(*camera, kInfo, "wrong"), 400, "NotAuthorized");
    expect_fault(call(*camera, soap(kInfo)), 400, "NotAuthorized");
    nlohmann::json logins = record(*camera)["logins"];
    EXPECT_EQ(logins["token"], 1);
    EXPECT_EQ(logins["refused"], 2);
    EXPECT_EQ(record(*camera)["clear_text_logins"], 0);
}

TEST(OnvifService, ReplayedAndClearTextTokensAreRefusedAndCounted) {
    auto camera = onvif_camera();
    std::string header = token();
    EXPECT_EQ(call(*camera, soap(kInfo, header)).http.status, 200u);
    expect_fault(call(*camera, soap(kInfo, header)), 400, "NotAuthorized");

    std::string clear = "<wsse:Security><wsse:UsernameToken><wsse:Username>admin</wsse:Username>"
                        "<wsse:Password>secret</wsse:Password></wsse:UsernameToken></wsse:Security>";
    expect_fault(call(*camera, soap(kInfo, clear)), 400, "NotAuthorized");
    EXPECT_EQ(record(*camera)["clear_text_logins"], 1);
}

TEST(OnvifService, ReusedNoncesPassOnlyWhereAllowedAndNeverAsTheSameToken) {
    // One nonce under two Created times, each with its own valid digest.
    auto made = [](std::int64_t ms) {
        std::string created = onvif::xs_datetime_utc(ms);
        return "<wsse:Security><wsse:UsernameToken><wsse:Username>admin</wsse:Username><wsse:Password Type=\"x#"
               "PasswordDigest\">" + onvif::password_digest("same-nonce", created, "secret") +
               "</wsse:Password><wsse:Nonce>" + onvif::base64_encode("same-nonce") + "</wsse:Nonce><wsu:Created>" +
               created + "</wsu:Created></wsse:UsernameToken></wsse:Security>";
    };
    std::int64_t now = rt_calendar_ms();
    auto strict = onvif_camera();
    EXPECT_EQ(call(*strict, soap(kInfo, made(now))).http.status, 200u);
    expect_fault(call(*strict, soap(kInfo, made(now + 1000))), 400, "NotAuthorized");

    auto lenient = onvif_camera("reused_nonces=allow");
    EXPECT_EQ(call(*lenient, soap(kInfo, made(now))).http.status, 200u);
    EXPECT_EQ(call(*lenient, soap(kInfo, made(now + 1000))).http.status, 200u);
    expect_fault(call(*lenient, soap(kInfo, made(now + 1000))), 400, "NotAuthorized");
}

TEST(OnvifService, TokensOutsideTheWindowAreRefused) {
    auto camera = onvif_camera("token_window=60");
    expect_fault(call(*camera, soap(kInfo, token("secret", -120000))), 400, "NotAuthorized");
    expect_fault(call(*camera, soap(kInfo, token("secret", 120000))), 400, "NotAuthorized");
    EXPECT_EQ(call(*camera, soap(kInfo, token("secret", 30000))).http.status, 200u);
}

TEST(OnvifService, DigestOnlyCameraChallengesEveryRequestWithoutAValidDigest) {
    auto camera = onvif_camera("login=digest");
    for (const std::string& body : {std::string("<tds:GetSystemDateAndTime/>"), std::string(kInfo)}) {
        ServiceAnswer refused = call(*camera, soap(body, token())).http;
        EXPECT_EQ(refused.status, 401u);
        EXPECT_TRUE(refused.digest_challenge);
    }
    EXPECT_TRUE(call(*camera, soap(kInfo), HttpLogin::digest_stale).http.stale);
    EXPECT_EQ(call(*camera, soap(kInfo), HttpLogin::digest_ok).http.status, 200u);
    EXPECT_TRUE(refuse_before_body(LoginMode::digest, HttpLogin::none));
    EXPECT_FALSE(refuse_before_body(LoginMode::both, HttpLogin::none));
}

TEST(OnvifService, CameraTakingBothLoginsAsksForDigestWhenNoneCame) {
    auto camera = onvif_camera("login=both");
    ServiceAnswer bare = call(*camera, soap(kInfo)).http;
    EXPECT_EQ(bare.status, 401u);
    EXPECT_TRUE(bare.digest_challenge);
    EXPECT_EQ(call(*camera, soap("<tds:GetSystemDateAndTime/>")).http.status, 200u);
    EXPECT_EQ(call_as_admin(*camera, kInfo).http.status, 200u);
    EXPECT_EQ(call(*camera, soap(kInfo), HttpLogin::digest_ok).http.status, 200u);
    EXPECT_EQ(call(*camera, soap(kInfo), HttpLogin::digest_refused).http.status, 401u);
}

TEST(OnvifService, BadRequestsGetFaultsNotAnswers) {
    auto camera = onvif_camera();
    expect_fault(call_as_admin(*camera, "<tds:CreateUsers/>"), 500, "ActionNotSupported");
    expect_fault(call(*camera, "<s:Envelope><s:Body><tds:GetDeviceInformation>"), 400, "WellFormed");
    expect_fault(call(*camera, "not xml at all"), 400, "WellFormed");
    expect_fault(call(*camera, soap("")), 400, "InvalidArgs");
    expect_fault(call(*camera, std::string(onvif::kMaxEnvelopeBytes + 1, ' ')), 400, "WellFormed");
}

TEST(OnvifService, NetworkSettingsMoveTheCamera) {
    auto camera = onvif_camera();
    Answer moved = call_as_admin(*camera, set_interface("127.0.0.21", 16));
    ASSERT_EQ(moved.http.status, 200u) << moved.http.body;
    EXPECT_EQ(moved.text({"RebootNeeded"}), "false");
    EXPECT_EQ(camera->identity().ip, "127.0.0.21");
    EXPECT_EQ(camera->identity().mask, "255.255.0.0");
    EXPECT_EQ(camera->device_xaddr(), "http://127.0.0.21:8080/onvif/device_service");

    for (const std::string& bad : {std::string("127.0.300.1"), std::string("224.0.0.1"), std::string("10.1.2.0")})
        expect_fault(call_as_admin(*camera, set_interface(bad, 24)), 400, "InvalidIPv4Address");
    EXPECT_EQ(camera->identity().ip, "127.0.0.21");

    std::string dhcp = "<tds:SetNetworkInterfaces><tds:InterfaceToken>eth0</tds:InterfaceToken><tds:NetworkInterface>"
                       "<tt:IPv4><tt:DHCP>true</tt:DHCP></tt:IPv4></tds:NetworkInterface></tds:SetNetworkInterfaces>";
    ASSERT_EQ(call_as_admin(*camera, dhcp).http.status, 200u);
    Answer shown = call_as_admin(*camera, "<tds:GetNetworkInterfaces/>");
    const TiXmlElement* config = onvif::descendant(shown.body(), "Config");
    EXPECT_EQ(onvif::path_text(config, {"DHCP"}), "true");
    EXPECT_EQ(onvif::path_text(config, {"FromDHCP", "Address"}), "127.0.0.21");
    EXPECT_EQ(onvif::path_text(shown.body(), {"NetworkInterfaces", "Info", "HwAddress"}), "02:0F:00:00:00:01");

    ASSERT_EQ(call_as_admin(*camera, "<tds:SetNetworkDefaultGateway><tds:IPv4Address>127.0.9.1</tds:IPv4Address>"
                                     "</tds:SetNetworkDefaultGateway>").http.status, 200u);
    EXPECT_EQ(camera->identity().gateway, "127.0.9.1");
    expect_fault(call_as_admin(*camera, "<tds:SetNetworkInterfaces><tds:InterfaceToken>eth9</tds:InterfaceToken>"
                                        "</tds:SetNetworkInterfaces>"), 400, "InvalidNetworkInterface");
}

TEST(OnvifService, DateTimeSettingsAreCheckedAndKept) {
    auto camera = onvif_camera();
    ASSERT_EQ(call_as_admin(*camera, set_time("Manual", "CST-8")).http.status, 200u);
    Answer shown = call(*camera, soap("<tds:GetSystemDateAndTime/>"));
    const TiXmlElement* utc = onvif::descendant(shown.body(), "UTCDateTime");
    const TiXmlElement* local = onvif::descendant(shown.body(), "LocalDateTime");
    long utc_hour = std::stol(onvif::path_text(utc, {"Time", "Hour"}));
    EXPECT_EQ(std::stol(onvif::path_text(local, {"Time", "Hour"})), (utc_hour + 8) % 24);

    expect_fault(call_as_admin(*camera, set_time("Manual", "8")), 400, "InvalidTimeZone");
    expect_fault(call_as_admin(*camera, set_time("NTP", "UTC0")), 400, "NtpServerUndefined");
    std::string utc_2030 = "<tds:UTCDateTime><tt:Date><tt:Year>2030</tt:Year><tt:Month>1</tt:Month><tt:Day>2</tt:Day>"
                           "</tt:Date><tt:Time><tt:Hour>3</tt:Hour><tt:Minute>4</tt:Minute><tt:Second>5</tt:Second>"
                           "</tt:Time></tds:UTCDateTime>";
    ASSERT_EQ(call_as_admin(*camera, set_time("Manual", "UTC0", utc_2030)).http.status, 200u);
    EXPECT_NEAR(static_cast<double>(camera->clock_ms()), 1893553445000.0, 5000.0);
    std::string bad_day = utc_2030;
    bad_day.replace(bad_day.find("<tt:Month>1"), 11, "<tt:Month>2");
    bad_day.replace(bad_day.find("<tt:Day>2"), 9, "<tt:Day>31");
    expect_fault(call_as_admin(*camera, set_time("Manual", "UTC0", bad_day)), 400, "InvalidDateTime");

    std::string ntp = "<tds:SetNTP><tds:FromDHCP>false</tds:FromDHCP><tds:NTPManual><tt:Type>DNS</tt:Type>"
                      "<tt:DNSname>pool.ntp.example</tt:DNSname></tds:NTPManual></tds:SetNTP>";
    ASSERT_EQ(call_as_admin(*camera, ntp).http.status, 200u);
    ASSERT_EQ(call_as_admin(*camera, set_time("NTP", "UTC0")).http.status, 200u);
    EXPECT_NEAR(static_cast<double>(camera->clock_ms()), static_cast<double>(rt_calendar_ms()), 5000.0);
    nlohmann::json dump = record(*camera);
    EXPECT_EQ(dump["date_time_type"], "NTP");
    EXPECT_EQ(dump["ntp"]["servers"][0], "pool.ntp.example");
    EXPECT_EQ(call_as_admin(*camera, "<tds:GetNTP/>").text({"NTPInformation", "NTPManual", "DNSname"}),
              "pool.ntp.example");
}

TEST(OnvifService, NewPasswordTakesEffectAndFactoryDefaultBringsTheOldOneBack) {
    auto camera = onvif_camera();
    EXPECT_EQ(call_as_admin(*camera, "<tds:GetUsers/>").text({"User", "Username"}), "admin");
    expect_fault(call_as_admin(*camera, set_password("nobody", "x")), 400, "UsernameMissing");
    expect_fault(call_as_admin(*camera, set_password("admin", "")), 400, "PasswordTooWeak");
    ASSERT_EQ(call_as_admin(*camera, set_password("admin", "n3w")).http.status, 200u);
    expect_fault(call_as_admin(*camera, kInfo, "secret"), 400, "NotAuthorized");
    ASSERT_EQ(call_as_admin(*camera, set_time("Manual", "CST-8"), "n3w").http.status, 200u);

    std::string soft = "<tds:SetSystemFactoryDefault><tds:FactoryDefault>Soft</tds:FactoryDefault>"
                       "</tds:SetSystemFactoryDefault>";
    camera->update_identity([](CameraIdentity& id) { id.ip = "127.0.0.22"; });
    Answer reset = call_as_admin(*camera, soft, "n3w");
    ASSERT_EQ(reset.http.status, 200u);
    EXPECT_FALSE(reset.http.reboot_after);
    EXPECT_EQ(camera->identity().ip, "127.0.0.22");  // Soft keeps the address
    EXPECT_EQ(call_as_admin(*camera, kInfo, "secret").http.status, 200u);
    nlohmann::json dump = record(*camera);
    EXPECT_EQ(dump["time_zone"], "UTC0");
    EXPECT_EQ(dump["factory_resets"]["soft"], 1);

    std::string hard = soft;
    hard.replace(hard.find("Soft"), 4, "Hard");
    Answer hard_reset = call_as_admin(*camera, hard);
    EXPECT_TRUE(hard_reset.http.reboot_after);
    EXPECT_EQ(camera->identity().ip, "127.0.0.20");
}

TEST(OnvifService, FirmwareUpgradeIsAnnouncedOnTheCamerasOwnAddress) {
    auto camera = onvif_camera();
    Answer start = call_as_admin(*camera, "<tds:StartFirmwareUpgrade/>");
    ASSERT_EQ(start.http.status, 200u) << start.http.body;
    std::string uri = start.text({"UploadUri"});
    EXPECT_EQ(uri.rfind("http://127.0.0.20:8080/onvif/firmware/", 0), 0u) << uri;
    EXPECT_EQ(start.text({"UploadDelay"}), "PT0S");
    EXPECT_EQ(start.text({"ExpectedDownTime"}), "PT2S");
    std::string ticket = uri.substr(uri.rfind('/') + 1);
    EXPECT_TRUE(camera->claim_ticket(ticket));
    EXPECT_FALSE(camera->claim_ticket(ticket));  // once only

    auto refusing = onvif_camera("refuse_upload=start");
    expect_fault(call_as_admin(*refusing, "<tds:StartFirmwareUpgrade/>"), 500, "Action");
    EXPECT_EQ(record(*refusing)["upgrade_refusals"].size(), 1u);
}

TEST(OnvifService, CapabilitiesNameTheDeviceServiceAndItsLogins) {
    auto camera = onvif_camera("login=both");
    Answer services = call_as_admin(*camera, "<tds:GetServices><tds:IncludeCapability>true</tds:IncludeCapability>"
                                             "</tds:GetServices>");
    EXPECT_EQ(services.text({"Service", "XAddr"}), camera->device_xaddr());
    const TiXmlElement* security = onvif::descendant(services.body(), "Security");
    EXPECT_EQ(onvif::attribute(security, "HttpDigest"), "true");
    EXPECT_EQ(onvif::attribute(security, "UsernameToken"), "true");
    Answer caps = call_as_admin(*camera, "<tds:GetCapabilities><tds:Category>All</tds:Category></tds:GetCapabilities>");
    EXPECT_EQ(caps.text({"Capabilities", "Device", "XAddr"}), camera->device_xaddr());
    EXPECT_EQ(caps.text({"Capabilities", "Device", "System", "FirmwareUpgrade"}), "true");
    expect_fault(call_as_admin(*onvif_camera("no_ptz"),
                               "<tds:GetCapabilities><tds:Category>PTZ</tds:Category></tds:GetCapabilities>"),
                 500, "NoSuchService");
}

TEST(OnvifService, MalformedAnswersBreakOnlyTheOperationNamed) {
    auto redirecting = onvif_camera("malformed=redirect:GetDeviceInformation");
    ServiceAnswer redirect = call_as_admin(*redirecting, kInfo).http;
    EXPECT_EQ(redirect.status, 307u);
    EXPECT_EQ(redirect.location.rfind("http://127.0.0.1:", 0), 0u);
    EXPECT_EQ(call(*redirecting, soap("<tds:GetSystemDateAndTime/>")).http.status, 200u);

    Answer truncated = call_as_admin(*onvif_camera("malformed=truncated"), kInfo);
    EXPECT_EQ(truncated.http.status, 200u);
    EXPECT_FALSE(truncated.parsed);
    Answer garbage = call(*onvif_camera("malformed=garbage"), soap("<tds:GetSystemDateAndTime/>"));
    EXPECT_FALSE(garbage.parsed);
}

namespace {
std::atomic<std::int64_t> g_longest_sleep{0};
void record_sleep(std::int64_t ms) {
    if (ms > g_longest_sleep.load()) g_longest_sleep.store(ms);
}
}  // namespace

TEST(OnvifService, SlowCameraWaitsThroughTheRuntimesSleep) {
    rt_set_time_speed(100);
    rt_set_sleep_observer(record_sleep);
    auto camera = onvif_camera("slow_ms=1500");
    EXPECT_EQ(call(*camera, soap("<tds:GetSystemDateAndTime/>")).http.status, 200u);
    rt_set_sleep_observer(nullptr);
    rt_set_time_speed(1);
    EXPECT_EQ(g_longest_sleep.load(), 1500);
}

TEST(OnvifService, SettingsTextsAreCheckedAndLaterItemsWin) {
    OnvifCameraSettings s;
    EXPECT_EQ(apply_onvif_settings("login=digest,clock_offset=-3600,malformed=truncated:GetUsers,password=x", s), "");
    EXPECT_EQ(s.login, LoginMode::digest);
    EXPECT_EQ(s.faults.clock_offset_s, -3600);
    EXPECT_EQ(s.faults.malformed_operation, "GetUsers");
    for (const char* bad : {"login=basic", "slow_ms=-1", "clock_offset=2h", "refuse_upload=later", "frobnicate"})
        EXPECT_NE(apply_onvif_settings(bad, s), "") << bad;

    OnvifSideOptions options;
    options.settings_texts["*"] = {"login=both"};
    options.settings_texts["02:0F:00:00:00:02"] = {"login=token", "never_come_back"};
    EXPECT_EQ(options.settings_for("02:0F:00:00:00:01").login, LoginMode::both);
    OnvifCameraSettings second = options.settings_for("02:0F:00:00:00:02");
    EXPECT_EQ(second.login, LoginMode::token);
    EXPECT_TRUE(second.faults.never_come_back);
}
