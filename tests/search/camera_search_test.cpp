#include <gtest/gtest.h>

#include <mutex>

#include "discovery/xml_message.h"
#include "runtime/result_codes.h"
#include "search/camera_search.h"
#include "tests/discovery/fake_network.h"
#include "tests/discovery/reply_text.h"
#include "tests/onvif/probe_match_replies.h"
#include "tests/search/fake_device.h"

namespace {

struct Heard {
    FoundCamera camera;
    bool is_new;
};

std::string xaddr_of(const std::string& ip) { return "http://" + ip + "/onvif/device_service"; }

class CameraSearchTest : public testing::Test {
protected:
    void SetUp() override {
        rt_set_time_speed(100);
        network.interfaces = {"192.168.1.20"};
        // The native cameras answer every request, from their own address to
        // the address and port it names.
        network.set_device([this](const FakeNetwork::Datagram& d) {
            DEV_INFO_REQUEST request{};
            int size = sizeof request;
            MSG_REQUEST_DEVICE_INFO message;
            if (message.ToMe(d.bytes.c_str() + PACKET_HEAD_SIZE, &request, &size) != 0) return;
            std::lock_guard<std::mutex> guard(lock);
            for (const auto& [mac, ip] : native_cameras)
                network.deliver(ip, request.server_ip, request.server_port,
                                make_datagram(CMD_DEV_INFO_REPLY, reply_text({{"mac_address", mac}, {"ip_address", ip}})));
        });
        options.native.send_log = options.native.recv_log = "";
        options.identity = [this](const std::string& xaddr) { return cameras.open(xaddr); };
    }
    void TearDown() override {
        if (search) search->Stop();
        rt_set_time_speed(1);
    }

    void start() {
        search = std::make_unique<CCameraSearch>(&network, options);
        search->SetCallback([this](const FoundCamera& camera, bool is_new) {
            std::lock_guard<std::mutex> guard(lock);
            heard.push_back({camera, is_new});
        });
        ASSERT_EQ(RC_OK, search->Start());
    }
    void add_native(const std::string& mac, const std::string& ip) {
        std::lock_guard<std::mutex> guard(lock);
        native_cameras.emplace_back(mac, ip);
    }
    // An ONVIF camera at `ip` with this MAC, answering the `nth` Probe sent.
    void answer_probe(std::size_t nth, const std::string& ip, const std::string& endpoint, const std::string& mac) {
        FakeCamera camera;
        camera.mac = mac;
        camera.address = ip;
        cameras.set(xaddr_of(ip), camera);
        ASSERT_TRUE(wait_for([&] { return probes().size() > nth; }));
        const FakeNetwork::Datagram probe = probes()[nth];
        const std::string id = replies::probe_id(probe.bytes);
        ASSERT_TRUE(network.deliver(ip, probe.from.empty() ? "192.168.1.20" : probe.from, probe.from_port,
                                    replies::minimal(id, endpoint, xaddr_of(ip))));
    }
    std::vector<FakeNetwork::Datagram> sent_to(std::uint16_t port) {
        std::vector<FakeNetwork::Datagram> out;
        for (const FakeNetwork::Datagram& d : network.sent())
            if (d.port == port) out.push_back(d);
        return out;
    }
    std::vector<FakeNetwork::Datagram> probes() { return sent_to(3702); }
    std::vector<Heard> reports() {
        std::lock_guard<std::mutex> guard(lock);
        return heard;
    }
    bool settled_with(std::size_t rows) {
        return wait_for([&] { return search->Settled() && search->cameras().size() == rows; });
    }

    FakeNetwork network;
    FakeCameras cameras;
    CameraSearchOptions options;
    std::unique_ptr<CCameraSearch> search;
    std::mutex lock;
    std::vector<std::pair<std::string, std::string>> native_cameras;
    std::vector<Heard> heard;
};

}  // namespace

TEST_F(CameraSearchTest, ListsBothKindsOnceEachWithTheOnvifIdentity) {
    add_native("02:77:00:00:00:11", "192.168.1.11");
    start();
    answer_probe(0, "192.168.1.21", "urn:uuid:cam-21", "02-0a-00-00-00-21");
    ASSERT_TRUE(settled_with(2));
    std::vector<FoundCamera> list = search->cameras();
    const FoundCamera& native = list[list[0].protocol == DeviceProtocol::native ? 0 : 1];
    const FoundCamera& onvif = list[list[0].protocol == DeviceProtocol::native ? 1 : 0];
    EXPECT_EQ(DeviceProtocol::native, native.protocol);
    EXPECT_EQ("02:77:00:00:00:11", native.mac);
    EXPECT_EQ(DeviceProtocol::onvif, onvif.protocol);
    EXPECT_EQ("02:0A:00:00:00:21", onvif.mac);
    EXPECT_EQ("V5.7.3 build 240101", onvif.software_ver);
    EXPECT_EQ(xaddr_of("192.168.1.21"), onvif.xaddr);
    EXPECT_EQ(IdentityState::known, onvif.identity);
    EXPECT_EQ("192.168.1.21", search->FindIp("02:0a:00:00:00:21"));
    EXPECT_EQ("192.168.1.11", search->FindIp("02:77:00:00:00:11"));
    EXPECT_FALSE(search->FindIp("02:77:00:00:00:99"));
    ASSERT_EQ(2u, reports().size());
    for (const Heard& h : reports()) EXPECT_TRUE(h.is_new);
}

TEST_F(CameraSearchTest, ACameraAnsweringBothIsOneNativeRowWhicheverComesFirst) {
    add_native("02:77:00:00:00:11", "192.168.1.11");
    start();
    ASSERT_TRUE(settled_with(1));
    // Its ONVIF side after the native reply: not logged in to, not listed again.
    answer_probe(0, "192.168.1.11", "urn:uuid:cam-11", "02:77:00:00:00:11");
    ASSERT_TRUE(wait_for([&] { return search->onvif().endpoints().size() == 1; }));
    ASSERT_TRUE(settled_with(1));
    EXPECT_EQ(0, cameras.count.made.load());

    // Another camera whose ONVIF side is listed first, then its native reply
    // comes: the same row turns native.
    answer_probe(0, "192.168.1.12", "urn:uuid:cam-12", "02:77:00:00:00:12");
    ASSERT_TRUE(settled_with(2));
    add_native("02:77:00:00:00:12", "192.168.1.12");
    ASSERT_EQ(RC_OK, search->ProbeAddresses({"192.168.1.12"}));
    ASSERT_TRUE(wait_for([&] { return reports().size() == 3 && search->Settled(); }));
    std::vector<Heard> got = reports();
    EXPECT_EQ(DeviceProtocol::onvif, got[1].camera.protocol);
    EXPECT_TRUE(got[1].is_new);
    EXPECT_EQ(DeviceProtocol::native, got[2].camera.protocol);
    EXPECT_FALSE(got[2].is_new);
    EXPECT_EQ(got[1].camera.id, got[2].camera.id);
    EXPECT_EQ(got[1].camera.key, got[2].camera.key);
    EXPECT_EQ(2u, search->cameras().size());
}

TEST_F(CameraSearchTest, AReaddressedCameraHeardAtANewXaddrIsReadAgainInItsRow) {
    options.protocols = SearchProtocols::onvif;
    start();
    answer_probe(0, "192.168.1.21", "urn:uuid:cam-21", "02:0A:00:00:00:21");
    ASSERT_TRUE(settled_with(1));
    // Flashed with new firmware and moved: a Probe to its new address.
    FakeCamera flashed;
    flashed.mac = "02:0A:00:00:00:21";
    flashed.firmware = "V6.0.0";
    flashed.address = "172.16.0.21";
    cameras.set(xaddr_of("172.16.0.21"), flashed);
    ASSERT_EQ(RC_OK, search->ProbeAddresses({"172.16.0.21"}));
    ASSERT_EQ(2u, probes().size());
    EXPECT_EQ("172.16.0.21", probes()[1].to);
    const std::string id = replies::probe_id(probes()[1].bytes);
    ASSERT_TRUE(network.deliver("172.16.0.21", "192.168.1.20", probes()[1].from_port,
                                replies::minimal(id, "urn:uuid:cam-21", xaddr_of("172.16.0.21"), 2)));
    ASSERT_TRUE(wait_for([&] { return reports().size() == 2 && search->Settled(); }));
    std::vector<Heard> got = reports();
    EXPECT_FALSE(got[1].is_new);
    EXPECT_EQ(got[0].camera.id, got[1].camera.id);
    EXPECT_EQ("172.16.0.21", got[1].camera.ip);
    EXPECT_EQ("V6.0.0", got[1].camera.software_ver);
    EXPECT_EQ(1u, search->cameras().size());
}

TEST_F(CameraSearchTest, LaterSweepsKeepTheListAndIdentifyACameraAtANewXaddrAgain) {
    options.sweep_interval_ms = 10000;
    add_native("02:77:00:00:00:11", "192.168.1.11");
    start();
    answer_probe(0, "192.168.1.21", "urn:uuid:cam-21", "02:0A:00:00:00:21");
    ASSERT_TRUE(settled_with(2));
    // The periodic sweeps go on (both kinds) and the list stays.
    ASSERT_TRUE(wait_for([&] { return probes().size() >= 3 && sent_to(13000).size() >= 3; }));
    EXPECT_EQ(2u, search->cameras().size());
    EXPECT_EQ(2u, reports().size());
    // Readdressed: a later Probe hears it at its new XAddr.
    const std::size_t later = probes().size() - 1;
    answer_probe(later, "192.168.1.22", "urn:uuid:cam-21", "02:0A:00:00:00:21");
    ASSERT_TRUE(wait_for([&] { return reports().size() == 3 && search->Settled(); }));
    EXPECT_FALSE(reports()[2].is_new);
    EXPECT_EQ("192.168.1.22", reports()[2].camera.ip);
    EXPECT_EQ(2u, search->cameras().size());
    // A sweep asked for by hand does the same.
    const std::size_t before = probes().size();
    ASSERT_EQ(RC_OK, search->Sweep(nullptr));
    EXPECT_GT(probes().size(), before);
    EXPECT_EQ(2u, search->cameras().size());
}

TEST_F(CameraSearchTest, TheProtocolChoiceSelectsTheSearchesAndAddressesAreAskedByBoth) {
    options.protocols = SearchProtocols::native;
    start();
    ASSERT_EQ(RC_OK, search->ProbeAddresses({"172.16.0.5", "172.16.0.6"}));
    ASSERT_TRUE(wait_for([&] { return sent_to(13000).size() == 3; }));
    EXPECT_TRUE(probes().empty());
    for (const FakeNetwork::Datagram& d : sent_to(13000)) {
        EXPECT_EQ("192.168.1.20", d.from);
        EXPECT_TRUE(d.to == "255.255.255.255" || d.to == "172.16.0.5" || d.to == "172.16.0.6") << d.to;
    }
    search->Stop();

    options.protocols = SearchProtocols::onvif;
    network.set_device(nullptr);
    start();
    ASSERT_EQ(1u, probes().size());
    EXPECT_EQ(3u, sent_to(13000).size());
    search->Stop();

    options.protocols = SearchProtocols::all;
    start();
    ASSERT_EQ(RC_OK, search->ProbeAddresses({"172.16.0.7"}));
    EXPECT_EQ("172.16.0.7", probes().back().to);
    EXPECT_EQ("172.16.0.7", sent_to(13000).back().to);
}

TEST_F(CameraSearchTest, WithoutALoginOnvifCamerasAreListedByEndpoint) {
    options.identity = nullptr;
    options.protocols = SearchProtocols::onvif;
    start();
    answer_probe(0, "192.168.1.21", "urn:uuid:cam-21", "02:0A:00:00:00:21");
    ASSERT_TRUE(settled_with(1));
    FoundCamera camera = search->cameras()[0];
    EXPECT_EQ("urn:uuid:cam-21", camera.key);
    EXPECT_EQ(IdentityState::not_asked, camera.identity);
    EXPECT_EQ("192.168.1.21", camera.ip);
    EXPECT_TRUE(camera.mac.empty());
}

TEST_F(CameraSearchTest, ARefreshListsEveryCameraAnewAndAStopEndsTheCallbacks) {
    add_native("02:77:00:00:00:11", "192.168.1.11");
    start();
    answer_probe(0, "192.168.1.21", "urn:uuid:cam-21", "02:0A:00:00:00:21");
    ASSERT_TRUE(settled_with(2));
    const std::uint64_t before = std::max(reports()[0].camera.id, reports()[1].camera.id);
    ASSERT_EQ(RC_OK, search->Refresh(nullptr));
    answer_probe(1, "192.168.1.21", "urn:uuid:cam-21", "02:0A:00:00:00:21");
    ASSERT_TRUE(settled_with(2));
    std::vector<Heard> got = reports();
    ASSERT_EQ(4u, got.size());
    EXPECT_TRUE(got[2].is_new && got[3].is_new);
    EXPECT_GT(got[2].camera.id, before);
    EXPECT_GT(got[3].camera.id, before);

    ASSERT_EQ(RC_OK, search->Stop());
    EXPECT_EQ(RC_NOT_STARTED, search->Stop());
    EXPECT_EQ(RC_NOT_STARTED, search->Refresh(nullptr));
    EXPECT_TRUE(search->cameras().empty());
    EXPECT_EQ(4u, reports().size());
}
