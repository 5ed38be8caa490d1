// The engine on hosts shaped like real ones: several cards, cards that are
// down, stray datagrams, change-IP requests that cannot leave.
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>

#include <cerrno>

#include "tests/discovery/engine_fixture.h"
#include "tests/runtime/trace_capture.h"

namespace {

std::vector<std::string> table_of(CDiscovery& discovery) {
    std::vector<std::string> table;
    for (int i = 0; i < discovery.engine().address_count(); ++i) table.push_back(discovery.engine().address(i));
    return table;
}

// One entry of a hand-made interface list.
struct Interface {
    const char* name;
    unsigned flags;
    int family;
    const char* address;
};

std::vector<std::string> up_addresses_of(const std::vector<Interface>& interfaces) {
    std::vector<ifaddrs> entries(interfaces.size());
    std::vector<sockaddr_in> addresses(interfaces.size());
    for (std::size_t i = 0; i < interfaces.size(); ++i) {
        addresses[i].sin_family = static_cast<sa_family_t>(interfaces[i].family);
        if (interfaces[i].address) inet_pton(AF_INET, interfaces[i].address, &addresses[i].sin_addr);
        entries[i].ifa_next = i + 1 < interfaces.size() ? &entries[i + 1] : nullptr;
        entries[i].ifa_name = const_cast<char*>(interfaces[i].name);
        entries[i].ifa_flags = interfaces[i].flags;
        entries[i].ifa_addr = interfaces[i].address ? reinterpret_cast<sockaddr*>(&addresses[i]) : nullptr;
    }
    return up_ipv4_addresses(entries.data());
}

std::string change_ip_body_mac(const FakeNetwork::Datagram& d) {
    NETWORK_INFO info{};
    int size = sizeof info;
    MSG_NETWORK_INFO_REQUEST message;
    return message.ToMe(body_of(d.bytes).c_str(), &info, &size) == 0 ? info.dev_mac : "";
}

}  // namespace

TEST(LocalAddresses, OnlyCardsThatAreUpAndNotLoopback) {
    EXPECT_EQ(up_addresses_of({{"lo", IFF_UP | IFF_LOOPBACK, AF_INET, "127.0.0.1"},
                               {"docker0", 0, AF_INET, "172.17.0.1"},
                               {"eth0", IFF_UP | IFF_RUNNING, AF_INET, "192.168.1.20"},
                               {"eth0", IFF_UP | IFF_RUNNING, AF_INET6, "192.168.1.99"},
                               {"tun0", IFF_UP, AF_INET, nullptr},
                               {"eth1", IFF_UP, AF_INET, "10.0.0.5"}}),
              (std::vector<std::string>{"192.168.1.20", "10.0.0.5"}));
}

// Loopback and repeats go first, then the cap: an address listed eleventh
// among them still makes the table.
TEST_F(EngineTest, LoopbackAndRepeatsLeaveRoomForTenCards) {
    network.interfaces = {"127.0.0.1", "10.0.0.1", "10.0.0.1"};
    for (int i = 2; i <= 12; ++i) network.interfaces.push_back("10.0.0." + std::to_string(i));
    start();
    std::vector<std::string> expected;
    for (int i = 1; i <= 10; ++i) expected.push_back("10.0.0." + std::to_string(i));
    EXPECT_EQ(table_of(*discovery), expected);
}

TEST_F(EngineTest, AnEmptyDatagramOrAReceiveErrorDoesNotSilenceTheReceiver) {
    start();
    reply("10.9.9.9", "");
    ASSERT_TRUE(network.fail_receive("192.168.1.20", 12000));
    reply("10.9.9.9", "");
    reply("192.168.1.50", reply_datagram("MAC-1", "192.168.1.50"));
    ASSERT_TRUE(wait_for([&] { return reports.size() == 1; }));
    EXPECT_TRUE(trace.contains("empty datagram from 10.9.9.9 dropped (2 so far)\n"));
    EXPECT_TRUE(trace.contains("recvfrom error\n"));
    EXPECT_TRUE(trace.contains("1 receive errors so far\n"));
    reply("192.168.1.60", reply_datagram("MAC-2", "192.168.1.60"));  // a late reply still counts
    ASSERT_TRUE(wait_for([&] { return reports.size() == 2; }));
}

// With no card chosen each card's requests go out of its own socket, and the
// replies to that card, which Linux hands to that socket, are all listed.
TEST_F(EngineTest, EachCardHearsItsOwnRepliesAndEveryReceivingSocketAsksForTheLargeBuffer) {
    network.interfaces = {"192.168.1.20", "10.0.0.5"};
    std::atomic<int> answered{0};
    network.set_device([&](const FakeNetwork::Datagram& request) {
        int card = answered.fetch_add(1);
        for (int i = 0; i < 50; ++i) {
            std::string ip = (card == 0 ? "192.168.1." : "10.0.0.") + std::to_string(100 + i);
            std::string mac = "MAC-" + std::to_string(card) + "-" + std::to_string(i);
            EXPECT_TRUE(network.deliver(ip, request.from, 12000, reply_datagram(mac, ip)));
        }
    });
    start();
    ASSERT_TRUE(wait_for([&] { return reports.size() == 100; }));
    std::vector<std::string> bound;
    for (const FakeNetwork::Bind& bind : network.binds()) {
        if (bind.port != 12000) continue;
        bound.push_back(bind.address);
        EXPECT_EQ(bind.receive_buffer, 0x100000) << "socket on " << bind.address;
    }
    EXPECT_EQ(bound, (std::vector<std::string>{"", "192.168.1.20", "10.0.0.5"}));
}

TEST_F(EngineTest, ASweepFromACardThatIsNotUpSendsNothingAndSaysWhy) {
    start();
    ASSERT_TRUE(wait_for([&] { return discovery->engine().last_sweep().sent == 1; }));  // the first sweep
    discovery->RefreshDiscovery("10.9.9.9");
    EXPECT_EQ(requests_sent(CMD_REQUEST_DEVICE_INFO).size(), 1u);
    SweepReport sweep = discovery->engine().last_sweep();
    EXPECT_EQ(sweep.card, "10.9.9.9");
    EXPECT_EQ(sweep.sent, 0);
    EXPECT_EQ(sweep.failed, 1);
    EXPECT_EQ(sweep.error, ENETDOWN);
}

class ChangeIpTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        network.interfaces = {"192.168.1.20", "10.0.0.5"};
    }
    // Lists the device to move, after any refresh (which empties the list).
    void list_device() {
        network.deliver("192.168.1.50", "192.168.1.20", 12000, reply_datagram("MAC-1", "192.168.1.50"));
        ASSERT_TRUE(wait_for([&] { return !listed().empty(); }));
    }
    int change() {
        NETWORK_INFO request{};
        std::strcpy(request.dev_mac, "MAC-1");
        std::strcpy(request.new_dev_ip, "10.0.0.50");
        return discovery->ChangeIpPort(&request);
    }
    std::vector<std::string> sent_from() {
        std::vector<std::string> from;
        for (const auto& d : requests_sent(CMD_NETWORK_INFO_REQUEST)) {
            EXPECT_EQ(change_ip_body_mac(d), "MAC-1");
            EXPECT_EQ(d.to, "255.255.255.255");
            from.push_back(d.from);
        }
        return from;
    }
};

TEST_F(ChangeIpTest, LeavesByEveryCardWhenNoneIsChosenThenByTheChosenOne) {
    start();
    list_device();
    EXPECT_EQ(change(), RC_OK);
    EXPECT_EQ(sent_from(), (std::vector<std::string>{"192.168.1.20", "10.0.0.5"}));
    discovery->RefreshDiscovery("10.0.0.5");
    list_device();
    EXPECT_EQ(change(), RC_OK);
    EXPECT_EQ(sent_from(), (std::vector<std::string>{"192.168.1.20", "10.0.0.5", "10.0.0.5"}));
}

TEST_F(ChangeIpTest, FailsWhenNoRequestCouldLeave) {
    start();
    list_device();
    network.refuse_sends_from("192.168.1.20");
    EXPECT_EQ(change(), RC_OK);  // one card is enough
    network.refuse_sends_from("10.0.0.5");
    EXPECT_EQ(change(), RC_FAIL);
    EXPECT_EQ(discovery->engine().last_change_ip_error(), ENETUNREACH);
}

TEST_F(ChangeIpTest, FailsThroughAChosenCardThatIsNoLongerUp) {
    start();
    discovery->RefreshDiscovery("192.168.1.20");
    list_device();
    network.interfaces = {"10.0.0.5"};  // the chosen card went down
    EXPECT_EQ(change(), RC_FAIL);
    EXPECT_EQ(discovery->engine().last_change_ip_error(), ENETDOWN);
    EXPECT_TRUE(sent_from().empty());
    network.interfaces.clear();
    discovery->RefreshDiscovery("");  // back to every card: none is up
    list_device();
    EXPECT_EQ(change(), RC_FAIL);
}
