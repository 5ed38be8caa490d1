#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "cli/discover_output.h"
#include "discovery/xml_message.h"
#include "sim/discovery_responder.h"
#include "sim/sim_options.h"
#include "sim/simulator.h"
#include "tests/discovery/fake_network.h"
#include "tests/discovery/reply_text.h"

namespace {

std::string request_datagram(const char* server_ip) {
    DEV_INFO_REQUEST request{};
    dev_copy_text(request.server_ip, DEV_TEXT_SIZE, server_ip);
    request.server_port = 12000;
    request.connection_type = 2;
    char body[SEND_BODY_CAPACITY];
    int size = sizeof body;
    MSG_REQUEST_DEVICE_INFO message;
    message.ToXml(&request, body, &size);
    return make_datagram(CMD_REQUEST_DEVICE_INFO, body);
}

std::string change_datagram(const char* mac, const char* ip, std::int32_t cmd_port) {
    NETWORK_INFO request{};
    dev_copy_text(request.dev_mac, DEV_TEXT_SIZE, mac);
    dev_copy_text(request.new_dev_ip, DEV_TEXT_SIZE, ip);
    dev_copy_text(request.new_dev_submask, DEV_TEXT_SIZE, "255.255.0.0");
    request.new_dev_cmdport = cmd_port;
    char body[SEND_BODY_CAPACITY];
    int size = sizeof body;
    MSG_NETWORK_INFO_REQUEST message;
    message.ToXml(&request, body, &size);
    return make_datagram(CMD_NETWORK_INFO_REQUEST, body);
}

void feed(DiscoveryResponder& responder, const std::string& datagram) {
    char buffer[RECV_BUFFER_SIZE + XML_PAD_BYTES] = {};
    std::memcpy(buffer, datagram.data(), datagram.size());
    responder.handle(buffer, static_cast<long>(datagram.size()), "10.0.0.1");
}

DEV_INFO scan(const std::string& datagram) {
    DEV_INFO d{};
    dev_info_scan(datagram.c_str() + PACKET_HEAD_SIZE, &d);
    return d;
}

}  // namespace

TEST(Simulator, NumbersCamerasFromTheBaseAddressAndPrefix) {
    SimOptions options;
    options.count = 300;
    options.base_ip = "10.0.0.250";
    Simulator simulator(options);
    ASSERT_EQ(300u, simulator.cameras().size());
    CameraIdentity first = simulator.cameras()[0]->identity();
    CameraIdentity last = simulator.cameras()[299]->identity();
    EXPECT_EQ("02:00:00:00:00:01", first.mac);
    EXPECT_EQ("10.0.0.250", first.ip);
    EXPECT_EQ("10.0.0.1", first.gateway);
    EXPECT_EQ("02:00:00:00:01:2C", last.mac);
    EXPECT_EQ("10.0.2.37", last.ip);  // 250 + 299 = 2 * 256 + 37
    EXPECT_EQ("", sim_ip_add("255.255.255.255", 1));
    EXPECT_EQ("", sim_ip_add("nonsense", 0));
}

TEST(Simulator, ConfigFileAddsCamerasAndRejectsBadInput) {
    std::string path = testing::TempDir() + "sim_config.json";
    std::ofstream(path) << R"({"count": 2, "fw_version": "V9", "devices": [
        {"mac": "AA", "ip": "10.1.1.5", "claimed_ip": "10.1.1.6", "cmd_port": 9000}]})";
    SimOptions options;
    ASSERT_EQ("", sim_load_config(path, &options));
    Simulator simulator(options);
    ASSERT_EQ(3u, simulator.cameras().size());
    CameraIdentity extra = simulator.cameras()[2]->identity();
    EXPECT_EQ(9000, extra.cmd_port);
    EXPECT_EQ("V9", extra.version);
    EXPECT_EQ("10.1.1.1", extra.gateway);
    EXPECT_EQ("10.1.1.6", simulator.claimed_ip(extra));
    EXPECT_EQ("V9", simulator.cameras()[0]->identity().version);

    for (const char* bad : {"[1]", "{\"count\": \"x\"}", "{\"devices\": [{\"ip\": \"1.2.3.4\"}]}", "{"}) {
        std::ofstream(path) << bad;
        SimOptions untouched;
        EXPECT_NE("", sim_load_config(path, &untouched)) << bad;
    }
    SimOptions none;
    EXPECT_NE("", sim_load_config(path + ".missing", &none));
}

// A listed camera takes its entry's values, then the command line's, then
// the file's, then the documented defaults, as an upgrade of a fleet from
// such a file needs every camera on the firmware's board.
TEST(Simulator, ListedCamerasTakeTheFileAndCommandLineDefaults) {
    std::string path = testing::TempDir() + "sim_fleet.json";
    std::ofstream(path) << R"({"count": 0, "mask": "255.255.0.0", "gateway": "10.77.0.1", "fw_version": "V2",
        "devices": [{"mac": "02:10:00:00:00:01", "ip": "10.77.1.5"},
                    {"mac": "02:10:00:00:00:02", "ip": "10.77.1.6", "mask": "255.255.255.128", "board_type": 7}]})";
    SimOptions options;
    CLI::App app;
    add_sim_options(app, options);
    ASSERT_NO_THROW(app.parse("--http-port 8080 --fw-version V3 --config " + path, false));
    Simulator simulator(options);
    ASSERT_EQ(2u, simulator.cameras().size());
    CameraIdentity bare = simulator.cameras()[0]->identity();
    EXPECT_EQ(0x20, bare.board_type);
    EXPECT_EQ(1, bare.ipc_type);
    EXPECT_EQ(2, bare.device_type);
    EXPECT_EQ("255.255.0.0", bare.mask);
    EXPECT_EQ("10.77.0.1", bare.gateway);
    EXPECT_EQ("V3", bare.version);  // the command line over the file
    EXPECT_EQ(8080, bare.http_port);
    EXPECT_EQ(8000, bare.cmd_port);
    CameraIdentity own = simulator.cameras()[1]->identity();
    EXPECT_EQ("255.255.255.128", own.mask);
    EXPECT_EQ(7, own.board_type);
    EXPECT_EQ("10.77.0.1", own.gateway);
}

TEST(Responder, EveryOnlineCameraAnswersFromItsOwnAddress) {
    SimOptions options;
    options.count = 3;
    options.base_ip = "10.0.0.10";
    Simulator simulator(options);
    simulator.cameras()[1]->set_online(false);
    FakeNetwork network;
    DiscoveryResponder responder(simulator, &network);
    feed(responder, request_datagram("10.0.0.1"));
    auto sent = network.sent();
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ("10.0.0.10", sent[0].from);
    EXPECT_EQ("10.0.0.12", sent[1].from);
    EXPECT_EQ("10.0.0.1", sent[0].to);
    EXPECT_EQ(12000, sent[0].port);
    EXPECT_STREQ("02:00:00:00:00:03", scan(sent[1].bytes).mac_address);
    EXPECT_EQ(2u, responder.replies_sent());
}

TEST(Responder, ChangeIpReachesOnlyTheNamedCameraAndKeepsValidPorts) {
    SimOptions options;
    options.count = 2;
    Simulator simulator(options);
    FakeNetwork network;
    DiscoveryResponder responder(simulator, &network);
    feed(responder, change_datagram("02:00:00:00:00:02", "10.9.9.9", 0));
    EXPECT_EQ(options.base_ip, simulator.cameras()[0]->identity().ip);
    CameraIdentity changed = simulator.cameras()[1]->identity();
    EXPECT_EQ("10.9.9.9", changed.ip);
    EXPECT_EQ("255.255.0.0", changed.mask);
    EXPECT_EQ(8000, changed.cmd_port);  // 0 would make it unreachable
    feed(responder, change_datagram("02:00:00:00:00:02", "10.9.9.8", 70000));
    EXPECT_EQ(8000, simulator.cameras()[1]->identity().cmd_port);
    // A text that is no address is refused, not taken as the camera's address.
    feed(responder, change_datagram("02:00:00:00:00:02", "10.77.0.mobileport", 8001));
    EXPECT_EQ("10.9.9.8", simulator.cameras()[1]->identity().ip);
    // Truncated or foreign datagrams change nothing.
    std::string cut = change_datagram("02:00:00:00:00:01", "10.1.1.1", 1);
    cut.resize(100);
    feed(responder, cut);
    EXPECT_EQ(options.base_ip, simulator.cameras()[0]->identity().ip);
}

TEST(DiscoverOutput, TableHasTheListColumnsAndJsonEveryField) {
    std::vector<FoundCamera> devices{found_native(test_device("AA:BB", "10.0.0.5")),
                                     found_native(test_device("CC\xFF", "10.0.0.6"))};
    std::string table = devices_table(devices);
    EXPECT_EQ(0u, table.find("Index  MAC"));
    EXPECT_NE(std::string::npos, table.find("01     AA:BB"));
    EXPECT_NE(std::string::npos, table.find("native    0x20\n"));
    std::string json = devices_json(devices);
    EXPECT_NE(std::string::npos, json.find("\"protocol\": \"native\""));
    for (const char* field : {"mac_address", "ip_address", "port", "cmd_port", "media_port", "phone_port",
                              "master_ip", "ipc_type", "board_type", "device_type", "subnet_mask", "gateway",
                              "software_ver", "http_port"})
        EXPECT_NE(std::string::npos, json.find(std::string("\"") + field + "\":")) << field;
    EXPECT_NE(std::string::npos, json.find("CC\xEF\xBF\xBD"));  // invalid byte replaced, not thrown
    EXPECT_EQ("[]\n", devices_json({}));
}

TEST(DiscoverOutput, OnvifCamerasShowTheirProtocolModelAndWhyAnIdentityIsMissing) {
    FoundCamera known;
    known.protocol = DeviceProtocol::onvif;
    known.identity = IdentityState::known;
    known.mac = "02:0F:00:00:00:01";
    known.ip = "10.0.0.14";
    known.port = 8080;
    known.software_ver = "V5.7.3 build 240101";
    known.model = "NVT\x1b[2J-210";
    known.endpoint = "urn:uuid:a";
    known.xaddr = "http://10.0.0.14:8080/onvif/device_service";
    FoundCamera refused = known;
    refused.identity = IdentityState::refused;
    refused.identity_error = "GetDeviceInformation: HTTP 401";
    refused.mac = refused.software_ver = refused.model = "";
    refused.endpoint = "urn:uuid:b";
    std::vector<FoundCamera> cameras{found_native(test_device("AA:BB", "10.0.0.5")), known, refused};

    std::string table = devices_table(cameras);
    EXPECT_NE(std::string::npos, table.find("Version                          Protocol  BID\n"));
    EXPECT_NE(std::string::npos, table.find("02     02:0F:00:00:00:01                10.0.0.14        8080   "
                                            "V5.7.3 build 240101              onvif     NVT\\x1b[2J-210\n"));
    EXPECT_NE(std::string::npos, table.find("03     urn:uuid:b"));
    EXPECT_NE(std::string::npos, table.find("(login refused)"));

    nlohmann::json json = nlohmann::json::parse(devices_json(cameras));
    EXPECT_EQ("native", json[0]["protocol"]);
    EXPECT_EQ("onvif", json[1]["protocol"]);
    for (const char* field : {"mac_address", "ip_address", "software_ver", "endpoint", "xaddr", "manufacturer", "model"})
        EXPECT_TRUE(json[1].contains(field)) << field;
    EXPECT_EQ(8080, json[1]["port"]);
    EXPECT_FALSE(json[1].contains("identity_error"));
    EXPECT_EQ("refused", json[2]["identity"]);
    EXPECT_EQ("GetDeviceInformation: HTTP 401", json[2]["identity_error"]);
    EXPECT_EQ("", json[2]["mac_address"]);
}
