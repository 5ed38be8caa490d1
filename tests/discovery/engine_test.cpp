#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/discovery/engine_fixture.h"
#include "tests/runtime/trace_capture.h"

TEST_F(EngineTest, SweepSendsOneRequestPerLocalAddressButNeverLoopback) {
    network.interfaces = {"127.0.0.1", "192.168.1.20", "10.0.0.5", "192.168.1.20"};
    start();
    ASSERT_TRUE(wait_for([&] { return requests_sent(CMD_REQUEST_DEVICE_INFO).size() == 2; }));
    discovery->RefreshDiscovery("10.0.0.5");
    auto sent = requests_sent(CMD_REQUEST_DEVICE_INFO);
    ASSERT_EQ(4u, sent.size());
    for (const auto& d : sent) {
        EXPECT_EQ("255.255.255.255", d.to);
        EXPECT_EQ(13000, d.port);
        EXPECT_EQ(12000, d.from_port);
    }
    // First sweep, no card chosen yet: each request leaves by the card it names.
    EXPECT_EQ("192.168.1.20", sent[0].from);
    EXPECT_EQ("10.0.0.5", sent[1].from);
    EXPECT_NE(std::string::npos, body_of(sent[1].bytes).find("server_ip=\"10.0.0.5\""));
    // From the chosen card: every request leaves by it.
    EXPECT_EQ("10.0.0.5", sent[2].from);
    EXPECT_EQ("10.0.0.5", sent[3].from);
    EXPECT_NE(std::string::npos, body_of(sent[2].bytes).find("server_ip=\"192.168.1.20\" server_port=\"12000\""));
    EXPECT_NE(std::string::npos, body_of(sent[3].bytes).find("server_ip=\"10.0.0.5\""));
    EXPECT_GE(sent[3].at_ms - sent[2].at_ms, 200);
    PACKET_HEAD head;
    std::memcpy(&head, sent[2].bytes.data(), sizeof head);
    each_ntohl(&head);
    EXPECT_EQ(sent[2].bytes.size(), PACKET_HEAD_SIZE + head.body_length);
}

TEST_F(EngineTest, ResultCodesOfTheFacade) {
    CDiscovery stopped(&network, options);
    NETWORK_INFO request{};
    EXPECT_EQ(RC_NOT_STARTED, stopped.StopDiscovery());
    EXPECT_EQ(RC_NOT_STARTED, stopped.RefreshDiscovery(nullptr));
    EXPECT_EQ(RC_NOT_STARTED, stopped.ChangeIp(&request));
    EXPECT_EQ(RC_NOT_STARTED, stopped.ChangeIpPort(&request));
    EXPECT_EQ(RC_INVALID_ARG, stopped.SetDiscoveryCB(nullptr, nullptr));
    EXPECT_EQ(RC_OK, stopped.StartDiscovery(0, 1000));
    EXPECT_EQ(RC_ALREADY_STARTED, stopped.StartDiscovery(0, 1000));
    EXPECT_EQ(RC_FAIL, stopped.ChangeIp(&request));  // MAC not listed
    EXPECT_EQ(RC_OK, stopped.StopDiscovery());
    EXPECT_EQ(RC_OK, stopped.StartDiscovery(0, 1000));  // can start again
    EXPECT_EQ(RC_FAIL, CDiscovery::DiscoveryCbf(nullptr, 1, nullptr));
}

TEST_F(EngineTest, MergesRepliesByMacAndReportsNewAndChanged) {
    start();
    reply("192.168.1.50", reply_datagram("MAC-1", "192.168.1.50"));
    reply("192.168.1.50", reply_datagram("MAC-1", "192.168.1.50"));
    reply("192.168.1.60", reply_datagram("MAC-2", "192.168.1.60"));
    ASSERT_TRUE(wait_for([&] { return reports.size() == 2; }));
    reply("192.168.1.50", reply_datagram("MAC-1", "192.168.1.50", "V2.0.0"));
    ASSERT_TRUE(wait_for([&] { return reports.size() == 3; }));
    auto got = reports.list();
    EXPECT_EQ(1, got[0].is_new);
    EXPECT_EQ(1, got[1].is_new);
    EXPECT_EQ(0, got[2].is_new);
    EXPECT_STREQ("V2.0.0", got[2].record.software_ver);
    auto list = listed();
    ASSERT_EQ(2u, list.size());
    EXPECT_STREQ("MAC-1", list[0].mac_address);  // replaced in place
    EXPECT_STREQ("V2.0.0", list[0].software_ver);
    EXPECT_NE(std::string::npos, read_file(options.recv_log)
                                     .find("mac = MAC-1, ip = 192.168.1.50, submask = 255.255.255.0, gateway = "
                                           "192.168.1.1, version = V1.0.0, cmd = 8000, media = 8001, http = 80, "
                                           "mobile = 8002\n\n"));
}

TEST_F(EngineTest, ListsTheSourceAddressWhenTheReplyNamesAnother) {
    start();
    reply("192.168.1.51", reply_datagram("MAC-1", "192.168.1.50"));
    ASSERT_TRUE(wait_for([&] { return reports.size() == 1; }));
    EXPECT_STREQ("192.168.1.51", listed()[0].ip_address);
    EXPECT_TRUE(trace.contains("set dev ip = 192.168.1.50 to src ip 192.168.1.51\n"));
}

// Each traced event of a search, on whichever thread: its position line,
// then its message.
TEST_F(EngineTest, EveryTracedEventOfASearchBeginsWithItsPositionLine) {
    network.set_device([&](const FakeNetwork::Datagram& request) {
        DEV_INFO_REQUEST asked{};
        int size = sizeof asked;
        MSG_REQUEST_DEVICE_INFO message;  // as a device reads it
        message.ToMe(body_of(request.bytes).c_str(), &asked, &size);
        network.deliver("192.168.1.51", "192.168.1.20", 12000, reply_datagram("MAC-1", "192.168.1.50"));
    });
    start();
    ASSERT_TRUE(wait_for([&] { return reports.size() == 1; }));
    ASSERT_TRUE(network.fail_receive("192.168.1.20", 12000));
    ASSERT_TRUE(wait_for([&] { return trace.contains("recvfrom error\n"); }));
    ASSERT_EQ(0, discovery->RefreshDiscovery("192.168.1.20"));
    ASSERT_TRUE(wait_for([&] { return reports.size() == 2; }));
    EXPECT_TRUE(trace.contains("bind refresh_ip = 192.168.1.20\n"));
    EXPECT_TRUE(trace.contains("filed_name == server_port xml transfer 12000\n"));
    EXPECT_EQ(trace.messages_without_position(), std::vector<std::string>{});
}

TEST_F(EngineTest, RefreshEmptiesTheListAndDevicesComeBackAsNew) {
    // Every request is answered at once by two devices.
    network.set_device([&](const FakeNetwork::Datagram&) {
        network.deliver("192.168.1.50", "192.168.1.20", 12000, reply_datagram("MAC-1", "192.168.1.50"));
        network.deliver("192.168.1.60", "192.168.1.20", 12000, reply_datagram("MAC-2", "192.168.1.60"));
    });
    start();
    ASSERT_TRUE(wait_for([&] { return reports.size() == 2; }));
    network.set_device(nullptr);
    ASSERT_EQ(0, discovery->RefreshDiscovery("192.168.1.20"));
    EXPECT_TRUE(listed().empty());
    reply("192.168.1.60", reply_datagram("MAC-2", "192.168.1.60"));
    ASSERT_TRUE(wait_for([&] { return reports.size() == 3; }));
    EXPECT_EQ(1, reports.list()[2].is_new);
}

// The sweep's socket holds the local port on the card's address, so replies
// to that address reach it rather than the receive socket; none may be lost.
TEST_F(EngineTest, RepliesThatReachTheSweepSocketAreNotLost) {
    start();
    ASSERT_TRUE(wait_for([&] { return requests_sent(CMD_REQUEST_DEVICE_INFO).size() == 1; }));
    network.set_device([&](const FakeNetwork::Datagram& request) {
        EXPECT_EQ("192.168.1.20", request.from);
        for (int i = 0; i < 20; ++i) {
            std::string ip = "192.168.1." + std::to_string(100 + i);
            network.deliver(ip, "192.168.1.20", 12000, reply_datagram("MAC-" + std::to_string(i), ip));
        }
    });
    discovery->RefreshDiscovery("192.168.1.20");
    ASSERT_TRUE(wait_for([&] { return reports.size() == 20; }));
}

TEST_F(EngineTest, ChangeIpPortCopiesFromTheListChangeIpKeepsMaskAndGateway) {
    start();
    DEV_INFO device = test_device("MAC-1", "192.168.1.50");
    char body[SEND_BODY_CAPACITY];
    int size = sizeof body;
    MSG_DEV_INFO_REPLY message;
    ASSERT_EQ(0, message.ToXml(&device, body, &size));
    reply("192.168.1.50", make_datagram(CMD_DEV_INFO_REPLY, body));
    ASSERT_TRUE(wait_for([&] { return reports.size() == 1; }));

    NETWORK_INFO request{};
    std::strcpy(request.dev_mac, "MAC-1");
    std::strcpy(request.new_dev_ip, "192.168.1.77");
    ASSERT_EQ(0, discovery->ChangeIpPort(&request));
    std::strcpy(request.new_dev_submask, "255.0.0.0");
    std::strcpy(request.new_dev_gateway, "10.0.0.1");
    ASSERT_EQ(0, discovery->ChangeIp(&request));

    auto sent = requests_sent(CMD_NETWORK_INFO_REQUEST);
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ("255.255.255.255", sent[0].to);
    NETWORK_INFO first{}, second{};
    int n = sizeof first;
    MSG_NETWORK_INFO_REQUEST a, b;
    ASSERT_EQ(0, a.ToMe(body_of(sent[0].bytes).c_str(), &first, &n));
    ASSERT_EQ(0, b.ToMe(body_of(sent[1].bytes).c_str(), &second, &n));
    EXPECT_STREQ("192.168.1.77", first.new_dev_ip);
    EXPECT_STREQ("255.255.255.0", first.new_dev_submask);
    EXPECT_STREQ("192.168.1.1", first.new_dev_gateway);
    EXPECT_EQ(8000, first.new_dev_cmdport);
    EXPECT_EQ(8001, first.new_dev_mediaport);
    EXPECT_EQ(8002, first.new_dev_mobileport);
    EXPECT_EQ(80, first.new_dev_httpport);
    EXPECT_STREQ("", first.server_ip);
    EXPECT_STREQ("255.0.0.0", second.new_dev_submask);
    EXPECT_STREQ("10.0.0.1", second.new_dev_gateway);
    EXPECT_NE(std::string::npos, read_file(options.send_log)
                                     .find("mac = MAC-1, ip = 192.168.1.77, submask = 255.255.255.0, gateway = "
                                           "192.168.1.1, cmd = 8000, media = 8001, http = 80, mobile = 8002\n\n"));
}

TEST_F(EngineTest, DropsShortForeignAndBadDatagramsWithTheirTrace) {
    start();
    std::string body = reply_text({{"mac_address", "MAC-1"}});
    reply("1.2.3.4", make_datagram(CMD_DEV_INFO_REPLY, body, 200, 100));
    reply("1.2.3.4", make_datagram(CMD_NETWORK_INFO_REQUEST, body));
    std::string bad_magic = make_datagram(CMD_DEV_INFO_REPLY, body);
    bad_magic[0] = 0;
    reply("1.2.3.4", bad_magic);
    // Longer than it claims: used, after its trace.
    std::string compact =
        "<M mac_address=\"MAC-2\" ip_address=\"1.2.3.4\" cmd_port=\"1\" device_type=\"2\" software_ver=\"v\" />";
    compact.resize(200, ' ');
    reply("1.2.3.4", make_datagram(CMD_DEV_INFO_REPLY, compact, 200, 300));
    ASSERT_TRUE(wait_for([&] { return reports.size() == 1; }));
    EXPECT_STREQ("MAC-2", reports.list()[0].record.mac_address);
    EXPECT_TRUE(trace.contains("recv bad packet, recv = 300 "));
    EXPECT_TRUE(trace.contains("received data size is not enough, bytes = 100 should recevied 264\n"));
    EXPECT_TRUE(trace.contains("Unhandled command id [4099]\n"));
    EXPECT_TRUE(trace.contains("magic number error please check [0xfe3412]\n"));
}

// Whatever length the header claims, the receive path reads only what was
// received (this test is meant for the sanitizer build).
TEST(ReceivePath, AnyClaimedLengthStaysInsideTheBuffer) {
    FakeNetwork network;
    private_discover engine(&network, {});
    for (std::uint32_t claimed : {0u, 1u, 2047u, 2048u, 0xFFFFFFFFu, 0x7FFFFFFFu}) {
        for (std::size_t total : {std::size_t{0}, std::size_t{10}, std::size_t{63}, std::size_t{64}, RECV_MAX_FILL}) {
            std::string bytes = make_datagram(CMD_DEV_INFO_REPLY, std::string(RECV_MAX_FILL, 'x'), claimed, total);
            char buffer[RECV_BUFFER_SIZE + XML_PAD_BYTES] = {};
            std::memcpy(buffer, bytes.data(), bytes.size());
            EXPECT_EQ(0, engine.process_datagram(buffer, static_cast<long>(bytes.size()), "1.2.3.4"));
        }
    }
}

TEST_F(EngineTest, StopCutsTheSweepShortAndNoCallbackFollows) {
    network.interfaces = {"10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5"};
    rt_set_time_speed(1);  // a sweep of 5 addresses takes a real second
    start();
    std::atomic<int> stop_flag{0};
    std::thread flood([&] {
        for (int i = 0; !stop_flag.load(); ++i)
            network.deliver("10.0.0.9", "", 12000, reply_datagram("MAC-" + std::to_string(i % 50), "10.0.0.9"));
    });
    ASSERT_TRUE(wait_for([&] { return reports.size() > 0; }));
    ASSERT_EQ(0, discovery->StopDiscovery());
    std::size_t at_stop = reports.size();
    EXPECT_LT(requests_sent(CMD_REQUEST_DEVICE_INFO).size(), 5u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    stop_flag.store(1);
    flood.join();
    EXPECT_EQ(at_stop, reports.size());
    EXPECT_TRUE(listed().empty());
}

TEST_F(EngineTest, AutomaticSweepsAreAtLeastASecondApart) {
    network.interfaces = {"10.0.0.1"};
    start(500);
    ASSERT_TRUE(wait_for([&] { return requests_sent(CMD_REQUEST_DEVICE_INFO).size() >= 2; }));
    auto sent = requests_sent(CMD_REQUEST_DEVICE_INFO);
    // One request, its 200 ms pause, then the interval.
    EXPECT_GE(sent[1].at_ms - sent[0].at_ms, 1200 - 20);
}

TEST_F(EngineTest, StartEmptiesTheLogFiles) {
    { std::ofstream(options.recv_log) << "old"; }
    start();
    EXPECT_EQ("", read_file(options.recv_log));
}

namespace {

// A user callback that can be held shut, so that the merge thread stops
// taking replies while a test floods the queue.
class Gate {
public:
    static int callback(DEV_INFO* record, int is_new, void* self) {
        auto* gate = static_cast<Gate*>(self);
        std::unique_lock<std::mutex> guard(gate->m_lock);
        ++gate->m_waiting;
        gate->m_opened.wait(guard, [&] { return gate->m_open; });
        --gate->m_waiting;
        guard.unlock();
        return Reports::callback(record, is_new, &gate->reports);
    }
    void set_open(bool open) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_open = open;
        m_opened.notify_all();
    }
    bool merge_thread_held() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_waiting > 0;
    }
    Reports reports;

private:
    std::mutex m_lock;
    std::condition_variable m_opened;
    bool m_open = true;
    int m_waiting = 0;
};

DEV_INFO numbered_device(int n) {
    return test_device(("FLOOD-" + std::to_string(n)).c_str(), "10.9.0.1");
}

}  // namespace

// A host inventing MACs fills the queue while the merge thread is busy: the
// listed device's next reply must still get through.
TEST_F(EngineTest, AFloodOfNewMacsNeverCrowdsOutAListedDevice) {
    Gate gate;
    start();
    ASSERT_EQ(0, discovery->SetDiscoveryCB(&Gate::callback, &gate));
    DEV_INFO real = test_device("REAL-1", "192.168.1.50");
    ASSERT_EQ(0, CDiscovery::DiscoveryCbf(&real, 1, discovery.get()));
    ASSERT_TRUE(wait_for([&] { return gate.reports.size() == 1; }));

    gate.set_open(false);
    DEV_INFO first = numbered_device(0);
    ASSERT_EQ(0, CDiscovery::DiscoveryCbf(&first, 1, discovery.get()));
    ASSERT_TRUE(wait_for([&] { return gate.merge_thread_held(); }));
    for (int n = 1; n <= static_cast<int>(CDiscovery::kMaxPending); ++n) {
        DEV_INFO fake = numbered_device(n);
        ASSERT_EQ(0, CDiscovery::DiscoveryCbf(&fake, 1, discovery.get())) << n;
    }
    DEV_INFO one_too_many = numbered_device(-1);
    EXPECT_EQ(RC_FAIL, CDiscovery::DiscoveryCbf(&one_too_many, 1, discovery.get()));
    EXPECT_TRUE(trace.contains("pending queue full, replies of new devices dropped\n"));

    DEV_INFO upgraded = test_device("REAL-1", "192.168.1.50", "V2.0.0");
    EXPECT_EQ(0, CDiscovery::DiscoveryCbf(&upgraded, 1, discovery.get()));
    gate.set_open(true);
    // REAL-1, the 4095 FLOOD-n that fit in the list, REAL-1 again.
    ASSERT_TRUE(wait_for([&] { return gate.reports.size() == CDiscovery::kMaxDevices + 1; }, 30000));
    auto list = listed();
    ASSERT_FALSE(list.empty());
    EXPECT_STREQ("V2.0.0", list[0].software_ver);
}

// Past the cap new MACs are left out (traced, then counted when the list is
// emptied) while the listed devices keep being updated.
TEST_F(EngineTest, TheListStopsAtItsCapAndListedDevicesStillChange) {
    start();
    const int beyond = 10;
    for (int n = 0; n < static_cast<int>(CDiscovery::kMaxDevices) + beyond; ++n) {
        DEV_INFO fake = numbered_device(n);
        ASSERT_EQ(0, CDiscovery::DiscoveryCbf(&fake, 1, discovery.get()));
    }
    // Merged first: a change queued while device 0's first reply still
    // waits takes that reply's place, and is reported as new, not changed.
    ASSERT_TRUE(wait_for([&] { return reports.size() == CDiscovery::kMaxDevices; }, 30000));
    DEV_INFO changed = numbered_device(0);
    dev_copy_text(changed.software_ver, DEV_TEXT_SIZE, "V2.0.0");
    ASSERT_EQ(0, CDiscovery::DiscoveryCbf(&changed, 1, discovery.get()));
    ASSERT_TRUE(wait_for([&] { return reports.size() == CDiscovery::kMaxDevices + 1; }, 30000));
    EXPECT_EQ(0, reports.list().back().is_new);
    auto list = listed();
    ASSERT_EQ(CDiscovery::kMaxDevices, list.size());
    EXPECT_STREQ("V2.0.0", list[0].software_ver);
    EXPECT_STREQ("FLOOD-4095", list.back().mac_address);
    EXPECT_TRUE(trace.contains("device list full (4096 devices), mac = FLOOD-4096 and later new devices left out\n"));

    ASSERT_EQ(0, discovery->RefreshDiscovery(nullptr));
    EXPECT_TRUE(trace.contains("10 replies of devices past the list's cap were left out\n"));
    DEV_INFO after = numbered_device(5000);
    ASSERT_EQ(0, CDiscovery::DiscoveryCbf(&after, 1, discovery.get()));
    ASSERT_TRUE(wait_for([&] { return listed().size() == 1; }));
}
