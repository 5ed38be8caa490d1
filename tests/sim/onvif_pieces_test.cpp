// The pieces of the simulator's ONVIF side that stand on their own: the
// POSIX TZ reader, the firmware upload's checks and version rule, the
// WS-Discovery matching, and the configuration of a mixed LAN.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <vector>

#include "client/firmware_format.h"
#include "sim/onvif/firmware_upload.h"
#include "sim/onvif/onvif_side.h"
#include "sim/onvif/posix_tz.h"
#include "sim/onvif/probe_match.h"
#include "sim/simulator.h"
#include "tests/sim/onvif_fixture.h"

namespace {

std::string temp_path(const std::string& name) {
    return "/tmp/tervane_onvif_pieces_" + std::to_string(getpid()) + "_" + name;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

FirmwareUpload::Outcome upload(const std::string& bytes, std::size_t piece = 1000) {
    FirmwareUpload up;
    for (std::size_t at = 0; at < bytes.size(); at += piece)
        EXPECT_TRUE(up.add(bytes.data() + at, std::min(piece, bytes.size() - at)));
    return up.finish();
}

std::string native_file(const std::string& version, bool corrupt = false) {
    std::string path = temp_path("fw.update");
    kaltro::FirmwareHeader header;
    kaltro::parse_version(version, header.version);
    header.board_type = 0x20;
    header.image_size = 5000;
    EXPECT_TRUE(kaltro::write_firmware_file(path, header, 3));
    std::string bytes = read_file(path);
    std::remove(path.c_str());
    if (corrupt) bytes[3000] ^= 0x40;
    return bytes;
}

std::string probe(const std::string& body_inside, const std::string& message_id = "urn:uuid:probe-1") {
    return "<e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\" "
           "xmlns:w=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
           "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\" "
           "xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\"><e:Header><w:MessageID>" + message_id +
           "</w:MessageID><w:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</w:To>"
           "<w:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</w:Action></e:Header><e:Body><d:Probe>" +
           body_inside + "</d:Probe></e:Body></e:Envelope>";
}

}  // namespace

TEST(PosixTz, ReadsTheStandardOffsetAndRefusesWhatIsNotPosix) {
    EXPECT_EQ(posix_tz_utc_offset_s("UTC0"), 0);
    EXPECT_EQ(posix_tz_utc_offset_s("CST-8"), 8 * 3600);
    EXPECT_EQ(posix_tz_utc_offset_s("EST5EDT,M3.2.0,M11.1.0"), -5 * 3600);
    EXPECT_EQ(posix_tz_utc_offset_s("<+0330>-3:30"), 3 * 3600 + 1800);
    EXPECT_EQ(posix_tz_utc_offset_s("CET-1CEST,M3.5.0/2,M10.5.0/3"), 3600);
    EXPECT_EQ(posix_tz_utc_offset_s("GMT+0IST-1,J60/2,300"), 0);
    for (const char* bad : {"", "8", "UT0", "CST", "CST-25", "CST-8:60", "EST5EDT,M13.1.0,M11.1.0",
                            "EST5EDT,M3.2.0", "UTC0 ", "<+03>", "CST-8x"})
        EXPECT_FALSE(posix_tz_utc_offset_s(bad)) << bad;
}

TEST(FirmwareUpload, NativeFilesInstallTheirVersionAndOthersOneMadeFromTheirHash) {
    FirmwareUpload::Outcome native = upload(native_file("2.3.4"));
    EXPECT_EQ(native.http_status, 200u) << native.reason;
    EXPECT_TRUE(native.native_format);
    EXPECT_EQ(native.version, "2.3.4");
    EXPECT_EQ(native.bytes, kaltro::kFirmwareHeaderSize + 5000);

    FirmwareUpload::Outcome corrupt = upload(native_file("2.3.4", true));
    EXPECT_EQ(corrupt.http_status, 415u);
    EXPECT_EQ(corrupt.reason, "image check sum mismatch");
    std::string cut = native_file("2.3.4");
    cut.resize(cut.size() - 1);
    EXPECT_EQ(upload(cut).http_status, 415u);
    EXPECT_EQ(upload(native_file("2.3.4").substr(0, 100)).http_status, 415u);

    // "abc": its SHA-256 is ba7816bf...
    FirmwareUpload::Outcome other = upload("abc", 1);
    EXPECT_EQ(other.http_status, 200u);
    EXPECT_FALSE(other.native_format);
    EXPECT_EQ(other.sha256_hex, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(other.version, "fw-ba7816bf");
    EXPECT_EQ(upload("").http_status, 415u);
}

TEST(ProbeMatch, MatchesVideoTransmittersAndTheirScopes) {
    std::vector<std::string> scopes = {"onvif://www.onvif.org/type/video_encoder",
                                       "onvif://www.onvif.org/location/city/lab"};
    auto matches = [&](const std::string& inside) {
        std::optional<Probe> p = read_probe(probe(inside));
        return p && probe_matches(*p, scopes);
    };
    EXPECT_TRUE(matches(""));
    EXPECT_TRUE(matches("<d:Types>dn:NetworkVideoTransmitter</d:Types>"));
    EXPECT_TRUE(matches("<d:Types xmlns:x=\"http://www.onvif.org/ver10/device/wsdl\">x:Device</d:Types>"));
    EXPECT_FALSE(matches("<d:Types xmlns:p=\"http://example.com/printers\">p:NetworkVideoTransmitter</d:Types>"));
    EXPECT_FALSE(matches("<d:Types>dn:NetworkVideoTransmitter dn:Printer</d:Types>"));
    EXPECT_TRUE(matches("<d:Scopes>onvif://www.onvif.org/location/city</d:Scopes>"));
    EXPECT_FALSE(matches("<d:Scopes>onvif://www.onvif.org/location/ci</d:Scopes>"));
    EXPECT_FALSE(matches("<d:Scopes MatchBy=\"http://schemas.xmlsoap.org/ws/2005/04/discovery/strcmp0\">"
                         "onvif://www.onvif.org/location/city</d:Scopes>"));
    EXPECT_FALSE(matches("<d:Scopes MatchBy=\"urn:unknown\">onvif://www.onvif.org</d:Scopes>"));

    EXPECT_FALSE(read_probe(probe("", "")));  // nothing to relate an answer to
    std::string hello = probe("");
    hello.replace(hello.find("discovery/Probe<"), 16, "discovery/Hello<");
    EXPECT_FALSE(read_probe(hello));
    EXPECT_FALSE(read_probe("<?xml version=\"1.0\"?><nope/>"));
}

TEST(ProbeMatch, EachOnlineCameraAnswersFromItsOwnAddress) {
    std::vector<std::shared_ptr<OnvifCamera>> cameras = {onvif_camera("", "127.0.0.20"), onvif_camera("", "127.0.0.21")};
    std::string datagram = probe("<d:Types>dn:NetworkVideoTransmitter</d:Types>");

    std::vector<ProbeReply> all = answer_probe(cameras, datagram, kWsdGroup);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].from_ip, "127.0.0.20");
    onvif::Envelope match;
    ASSERT_TRUE(onvif::parse_envelope(all[0].bytes, &match, nullptr));
    EXPECT_EQ(onvif::path_text(match.header, {"RelatesTo"}), "urn:uuid:probe-1");
    EXPECT_EQ(onvif::path_text(match.header, {"Action"}),
              "http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches");
    const TiXmlElement* pm = onvif::child(match.body_element, "ProbeMatch");
    EXPECT_EQ(onvif::path_text(pm, {"EndpointReference", "Address"}), cameras[0]->endpoint());
    EXPECT_EQ(onvif::path_text(pm, {"XAddrs"}), "http://127.0.0.20:8080/onvif/device_service");
    EXPECT_NE(onvif::path_text(pm, {"Scopes"}).find("onvif://www.onvif.org/name/SIMCAM-000001"), std::string::npos);
    EXPECT_NE(onvif::path_text(pm, {"Scopes"}).find("onvif://www.onvif.org/hardware/SIMCAM-O1"), std::string::npos);

    std::vector<ProbeReply> one = answer_probe(cameras, datagram, "127.0.0.21");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].from_ip, "127.0.0.21");
    EXPECT_TRUE(answer_probe(cameras, datagram, "127.0.0.99").empty());

    cameras[0]->reboot();
    EXPECT_EQ(answer_probe(cameras, datagram, kWsdGroup).size(), 1u);
    // The endpoint is the camera's for good; the message numbers go on.
    EXPECT_EQ(cameras[1]->endpoint(), onvif_camera("", "127.0.0.30")->endpoint());
}

TEST(OnvifConfig, MixedLanFromTheCommandLineAndTheFile) {
    std::string path = temp_path("cameras.json");
    std::ofstream(path) << R"({"count": 2, "base_ip": "10.77.0.11", "onvif": 3, "onvif_login": "both",
        "onvif_faults": {"*": "location=hall", "02:0F:00:00:00:02": "clock_offset=7200"},
        "devices": [{"mac": "02:88:00:00:00:01", "ip": "10.77.0.50", "protocol": "both", "model": "DUAL-1",
                     "onvif_faults": "login=digest"},
                    {"mac": "02:88:00:00:00:02", "ip": "10.77.0.51"}]})";
    SimOptions sim;
    ASSERT_EQ(sim_load_config(path, &sim), "");
    Simulator simulator(sim);
    std::vector<std::string> seen;
    for (const auto& camera : simulator.cameras()) {
        CameraIdentity id = camera->identity();
        seen.push_back(id.mac + " " + id.ip + " " + camera_protocol_name(id.protocol));
    }
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "02:00:00:00:00:01 10.77.0.11 native", "02:00:00:00:00:02 10.77.0.12 native",
                        "02:0F:00:00:00:01 10.77.0.13 onvif", "02:0F:00:00:00:02 10.77.0.14 onvif",
                        "02:0F:00:00:00:03 10.77.0.15 onvif", "02:88:00:00:00:01 10.77.0.50 both",
                        "02:88:00:00:00:02 10.77.0.51 native"}));

    CLI::App app;
    OnvifSideOptions options;
    add_onvif_options(app, options);
    const char* argv[] = {"ipcsim", "--onvif-fault", "02:0F:00:00:00:02@clock_offset=-60"};
    app.parse(3, const_cast<char**>(argv));
    ASSERT_EQ(load_onvif_config(path, app, options), "");
    OnvifSide side(simulator, options);
    ASSERT_EQ(side.cameras().size(), 4u);
    EXPECT_EQ(side.find("02:0F:00:00:00:01")->settings().login, LoginMode::both);
    EXPECT_EQ(side.find("02:0F:00:00:00:01")->settings().location, "hall");
    EXPECT_EQ(side.find("02:0F:00:00:00:02")->settings().faults.clock_offset_s, -60);  // the command line wins
    EXPECT_EQ(side.find("02:88:00:00:00:01")->settings().login, LoginMode::digest);
    EXPECT_EQ(side.find("02:88:00:00:00:01")->settings().model, "DUAL-1");

    std::ofstream(path) << R"({"devices": [{"mac": "02:88:00:00:00:01", "ip": "10.77.0.50", "protocol": "onvfi"}]})";
    EXPECT_NE(sim_load_config(path, &sim), "");
    std::ofstream(path) << R"({"onvif_faults": {"*": "slow_ms=soon"}})";
    EXPECT_NE(load_onvif_config(path, app, options), "");
    std::remove(path.c_str());
}
