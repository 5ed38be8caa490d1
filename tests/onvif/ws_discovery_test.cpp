#include <gtest/gtest.h>

#include <mutex>

#include "onvif/ws_discovery.h"
#include "runtime/result_codes.h"
#include "tests/discovery/fake_network.h"
#include "tests/onvif/probe_match_replies.h"
#include "tests/runtime/trace_capture.h"

using namespace onvif;

namespace {

struct Heard {
    FoundEndpoint endpoint;
    bool is_new;
};

class WsDiscoveryTest : public testing::Test {
protected:
    void SetUp() override {
        network.interfaces = {"192.168.1.20", "10.0.0.1"};
        engine.set_callback([this](const FoundEndpoint& e, bool is_new) {
            std::lock_guard<std::mutex> guard(lock);
            heard.push_back({e, is_new});
        });
        engine.start();
    }

    std::vector<FakeNetwork::Datagram> probes() {
        std::vector<FakeNetwork::Datagram> out;
        for (const FakeNetwork::Datagram& d : network.sent())
            if (d.port == 3702) out.push_back(d);
        return out;
    }
    static std::string message_id(const FakeNetwork::Datagram& probe) { return replies::probe_id(probe.bytes); }
    // A camera at `source` answering `probe` at the port it left from.
    bool answer(const FakeNetwork::Datagram& probe, const std::string& source, const std::string& reply) {
        return network.deliver(source, probe.from.empty() ? "192.168.1.20" : probe.from, probe.from_port, reply);
    }
    std::vector<Heard> reports() {
        std::lock_guard<std::mutex> guard(lock);
        return heard;
    }
    bool wait_reports(std::size_t n) {
        return wait_for([&] { return reports().size() >= n; });
    }

    // Before the engine, so each outlives its threads, which trace and call back.
    TraceCapture trace;
    std::mutex lock;
    std::vector<Heard> heard;
    FakeNetwork network;
    CWsDiscovery engine{&network};
};

}  // namespace

TEST_F(WsDiscoveryTest, ASweepMulticastsOneProbeOutOfEachCardAndTakesTheMatches) {
    ASSERT_EQ(RC_OK, engine.sweep(nullptr));
    std::vector<FakeNetwork::Datagram> sent = probes();
    ASSERT_EQ(2u, sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ("239.255.255.250", sent[i].to);
        EXPECT_EQ(network.interfaces[i], sent[i].from);
        EXPECT_EQ(network.interfaces[i], sent[i].multicast_if);  // out of that card, route or none
        EXPECT_NE(0, sent[i].from_port);
    }
    const std::string id = message_id(sent[0]);
    EXPECT_EQ(id, message_id(sent[1]));
    EXPECT_EQ(2, engine.last_sweep().sent);

    ASSERT_TRUE(answer(sent[0], "192.168.1.64", replies::soap_env(id, "192.168.1.64")));
    ASSERT_TRUE(answer(sent[1], "10.0.0.65", replies::env_lines(id, "10.0.0.65")));
    ASSERT_TRUE(wait_reports(2));
    std::vector<FoundEndpoint> listed = engine.endpoints();
    ASSERT_EQ(2u, listed.size());
    const FoundEndpoint& first = listed[listed[0].address == "192.168.1.64" ? 0 : 1];
    const FoundEndpoint& second = listed[listed[0].address == "192.168.1.64" ? 1 : 0];
    EXPECT_EQ("urn:uuid:2419d68a-2dd2-21b2-a205-ec0a5cb4e1d7", first.endpoint);
    EXPECT_EQ("http://192.168.1.64/onvif/device_service", first.xaddr);
    EXPECT_EQ(80, first.port);
    EXPECT_EQ("http://10.0.0.65:8080/onvif/device_service", second.xaddr);
    EXPECT_EQ(8080, second.port);
    for (const Heard& h : reports()) EXPECT_TRUE(h.is_new);
}

TEST_F(WsDiscoveryTest, AChosenCardSendsAloneAndACardThatIsDownSendsNothing) {
    ASSERT_EQ(RC_OK, engine.sweep("10.0.0.1"));
    ASSERT_EQ(1u, probes().size());
    EXPECT_EQ("10.0.0.1", probes()[0].from);
    // Kept for the next sweep that names none.
    ASSERT_EQ(RC_OK, engine.sweep(nullptr));
    EXPECT_EQ("10.0.0.1", probes()[1].from);

    EXPECT_EQ(RC_FAIL, engine.sweep("10.0.0.9"));
    EXPECT_EQ(2u, probes().size());
    SweepReport report = engine.last_sweep();
    EXPECT_EQ("10.0.0.9", report.card);
    EXPECT_EQ(ENETDOWN, report.error);

    ASSERT_EQ(RC_OK, engine.sweep(""));  // every card again
    EXPECT_EQ(4u, probes().size());
}

TEST_F(WsDiscoveryTest, AUnicastProbeGoesToEachAddressAndItsRepliesAreTaken) {
    ASSERT_EQ(RC_OK, engine.probe_addresses({"172.16.5.10", "172.16.5.11"}));
    std::vector<FakeNetwork::Datagram> sent = probes();
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ("172.16.5.10", sent[0].to);
    EXPECT_EQ("172.16.5.11", sent[1].to);
    EXPECT_EQ(sent[0].from_port, sent[1].from_port);  // one socket, one Probe
    const std::string id = message_id(sent[0]);
    ASSERT_TRUE(answer(sent[1], "172.16.5.11", replies::unprefixed(id, "172.16.5.11")));
    ASSERT_TRUE(wait_reports(1));
    // The https address listed first is not followed: the session speaks http.
    EXPECT_EQ("http://172.16.5.11/onvif/device_service", reports()[0].endpoint.xaddr);
}

TEST_F(WsDiscoveryTest, RepliesToNoProbeOfOursAndAddressesOnOtherHostsAreLeftOut) {
    ASSERT_EQ(RC_OK, engine.sweep(nullptr));
    const FakeNetwork::Datagram probe = probes()[0];
    const std::string id = message_id(probe);
    answer(probe, "192.168.1.64", replies::soap_env("urn:uuid:00000000-0000-4000-8000-000000000000", "192.168.1.64"));
    // Our id in the reply, but not as what it answers.
    std::string misplaced = replies::soap_env("urn:uuid:00000000-0000-4000-8000-000000000000", "192.168.1.64");
    misplaced.replace(misplaced.find("uuid:6a0b7d1c-0b8e-4f66-9d2c-8a1f00000001"), 41, id);
    answer(probe, "192.168.1.64", misplaced);
    // Every XAddr names another host than the one that answered.
    answer(probe, "192.168.1.99", replies::soap_env(id, "192.168.1.64"));
    answer(probe, "192.168.1.99", std::string(CWsDiscovery::kMaxDatagramBytes + 1, ' '));
    ASSERT_TRUE(wait_for([&] { return trace.contains("datagram of more than 32768 bytes from 192.168.1.99 dropped"); }));
    EXPECT_TRUE(reports().empty());
    EXPECT_TRUE(engine.endpoints().empty());
    EXPECT_TRUE(trace.contains("datagram from 192.168.1.64 answers no Probe of ours, dropped (1 so far)"));
    EXPECT_TRUE(trace.contains("reply from 192.168.1.64 dropped: unknown RelatesTo"));
    EXPECT_TRUE(trace.contains("endpoint urn:uuid:2419d68a-2dd2-21b2-a205-ec0a5cb4e1d7 from 192.168.1.99 names no "
                               "XAddr on that address, left out"));
}

TEST_F(WsDiscoveryTest, AnEndpointIsListedOnceAndReportedAgainWhenItsAddressChanges) {
    ASSERT_EQ(RC_OK, engine.sweep("192.168.1.20"));
    const FakeNetwork::Datagram probe = probes()[0];
    const std::string id = message_id(probe);
    const std::string camera = "urn:uuid:11112222-3333-4444-8555-666677778888";
    answer(probe, "192.168.1.64", replies::minimal(id, camera, "http://192.168.1.64/onvif/device_service"));
    answer(probe, "192.168.1.64", replies::minimal(id, camera, "http://192.168.1.64/onvif/device_service"));
    ASSERT_TRUE(wait_reports(1));
    // Flashed and readdressed: a later sweep hears it at its new address.
    ASSERT_EQ(RC_OK, engine.sweep(nullptr));
    const FakeNetwork::Datagram later = probes()[1];
    answer(later, "192.168.1.80", replies::minimal(message_id(later), camera, "http://192.168.1.80/onvif/device_service"));
    ASSERT_TRUE(wait_reports(2));
    answer(later, "192.168.1.80", replies::minimal(message_id(later), camera, "http://192.168.1.80/onvif/device_service", 2));
    ASSERT_TRUE(wait_reports(3));
    std::vector<Heard> got = reports();
    ASSERT_EQ(3u, got.size());
    EXPECT_TRUE(got[0].is_new);
    EXPECT_FALSE(got[1].is_new);
    EXPECT_EQ("192.168.1.80", got[1].endpoint.address);
    EXPECT_EQ(2u, got[2].endpoint.metadata_version);
    ASSERT_EQ(1u, engine.endpoints().size());

    engine.clear();
    EXPECT_TRUE(engine.endpoints().empty());
    answer(later, "192.168.1.80", replies::minimal(message_id(later), camera, "http://192.168.1.80/onvif/device_service", 2));
    ASSERT_TRUE(wait_reports(4));
    EXPECT_TRUE(reports()[3].is_new);
}

TEST_F(WsDiscoveryTest, AFloodOfInventedEndpointsIsCappedPerHostAndInAll) {
    const std::string id = "urn:uuid:f100d000-0000-4000-8000-000000000000";
    engine.remember_probe(id);
    auto reply = [&](int n, const std::string& source) {
        std::string text = replies::minimal(id, "urn:uuid:flood-" + std::to_string(n), "http://" + source + "/");
        engine.process_datagram(text.data(), text.size(), source.c_str());
    };
    for (int n = 0; n < 20; ++n) reply(n, "192.168.1.200");
    EXPECT_EQ(CWsDiscovery::kMaxEndpointsPerAddress, engine.endpoints().size());

    engine.clear();
    const int hosts = static_cast<int>(CWsDiscovery::kMaxEndpoints / CWsDiscovery::kMaxEndpointsPerAddress) + 2;
    int n = 0;
    for (int host = 0; host < hosts; ++host)
        for (std::size_t k = 0; k < CWsDiscovery::kMaxEndpointsPerAddress; ++k)
            reply(n++, "10." + std::to_string(host / 250) + "." + std::to_string(host % 250) + ".1");
    EXPECT_EQ(CWsDiscovery::kMaxEndpoints, engine.endpoints().size());
    EXPECT_EQ(CWsDiscovery::kMaxEndpointsPerAddress + CWsDiscovery::kMaxEndpoints, reports().size());
    // Listed endpoints are still followed.
    std::string moved = replies::minimal(id, "urn:uuid:flood-0", "http://10.0.0.1:81/");
    engine.process_datagram(moved.data(), moved.size(), "10.0.0.1");
    EXPECT_EQ(81, reports().back().endpoint.port);
}

TEST(WsDiscoveryOwnSockets, AnEngineWithoutATransportMakesItsOwn) {
    CWsDiscovery engine;  // nothing is sent before a sweep
    EXPECT_TRUE(engine.endpoints().empty());
    EXPECT_EQ(RC_NOT_STARTED, engine.sweep(nullptr));
}

TEST_F(WsDiscoveryTest, RepliesAreTakenOnlyWhileStarted) {
    ASSERT_EQ(RC_OK, engine.sweep(nullptr));
    const FakeNetwork::Datagram probe = probes()[0];
    engine.stop();
    EXPECT_FALSE(answer(probe, "192.168.1.64", replies::soap_env(message_id(probe), "192.168.1.64")));
    EXPECT_EQ(RC_NOT_STARTED, engine.sweep(nullptr));
    EXPECT_EQ(RC_NOT_STARTED, engine.probe_addresses({"192.168.1.64"}));
    EXPECT_EQ(2u, probes().size());
    engine.start();
    ASSERT_EQ(RC_OK, engine.sweep(nullptr));
    EXPECT_EQ(4u, probes().size());
}
