// The engine over real sockets against the simulator's responder, on
// loopback addresses and ports of its own (never a broadcast).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>
#include <set>
#include <string>

#include "discovery/discovery.h"
#include "runtime/rt_time.h"
#include "sim/discovery_responder.h"
#include "sim/simulator.h"
#include "tests/discovery/fake_network.h"

namespace {

std::uint16_t free_udp_port() {
    int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    ::close(fd);
    return ntohs(sa.sin_port);
}

class Seen {
public:
    static int callback(DEV_INFO* record, int is_new, void* self) {
        auto* seen = static_cast<Seen*>(self);
        std::lock_guard<std::mutex> guard(seen->lock);
        if (is_new) seen->new_count++;
        seen->ips.insert(record->ip_address);
        return 0;
    }
    int count() {
        std::lock_guard<std::mutex> guard(lock);
        return new_count;
    }
    bool has_ip(const std::string& ip) {
        std::lock_guard<std::mutex> guard(lock);
        return ips.count(ip) > 0;
    }
    std::mutex lock;
    int new_count = 0;
    std::set<std::string> ips;
};

class LoopbackTest : public testing::Test {
protected:
    void SetUp() override {
        rt_set_time_speed(10);
        sim_options.count = 30;
        sim_options.base_ip = "127.0.0.10";
        sim_options.discovery_address = "127.0.0.1";
        sim_options.discovery_port = free_udp_port();
        options.endpoints.broadcast_address = "127.0.0.1";
        options.endpoints.device_port = sim_options.discovery_port;
        options.endpoints.local_port = free_udp_port();
        options.send_log = options.recv_log = "";
    }
    void TearDown() override { rt_set_time_speed(1); }

    SimOptions sim_options;
    DiscoveryOptions options;
    PosixUdpTransport tool_side{{"127.0.0.2"}};
    PosixUdpTransport sim_side;
    Seen seen;
};

}  // namespace

// The sweep binds the local port on the card's address, which Linux prefers
// to the receive socket's wildcard bind for replies to that address: all 30
// answers arrive during the sweep's pause and each device is listed once.
TEST_F(LoopbackTest, EveryDeviceIsListedOnceWhenRepliesReachTheSweepSocket) {
    Simulator simulator(sim_options);
    DiscoveryResponder responder(simulator, &sim_side);
    ASSERT_EQ("", responder.start());
    CDiscovery discovery(&tool_side, options);
    discovery.SetDiscoveryCB(&Seen::callback, &seen);
    ASSERT_EQ(0, discovery.StartDiscovery(0, 2147483647));
    ASSERT_TRUE(wait_for([&] { return seen.count() == 30; }));
    ASSERT_EQ(0, discovery.RefreshDiscovery("127.0.0.2"));
    ASSERT_TRUE(wait_for([&] { return seen.count() == 60; }));
    std::vector<DEV_INFO> list;
    int count = 0;
    discovery.GetDeviceList(&list, &count);
    EXPECT_EQ(30, count);
}

TEST_F(LoopbackTest, ChangedDeviceAnswersFromItsNewAddress) {
    sim_options.count = 2;
    Simulator simulator(sim_options);
    DiscoveryResponder responder(simulator, &sim_side);
    ASSERT_EQ("", responder.start());
    CDiscovery discovery(&tool_side, options);
    discovery.SetDiscoveryCB(&Seen::callback, &seen);
    ASSERT_EQ(0, discovery.StartDiscovery(0, 2147483647));
    ASSERT_TRUE(wait_for([&] { return seen.count() == 2; }));
    NETWORK_INFO request{};
    dev_copy_text(request.dev_mac, DEV_TEXT_SIZE, simulator.cameras()[1]->identity().mac.c_str());
    dev_copy_text(request.new_dev_ip, DEV_TEXT_SIZE, "127.0.0.99");
    ASSERT_EQ(0, discovery.ChangeIpPort(&request));
    ASSERT_TRUE(wait_for([&] { return simulator.cameras()[1]->identity().ip == "127.0.0.99"; }));
    discovery.RefreshDiscovery("127.0.0.2");
    ASSERT_TRUE(wait_for([&] { return seen.has_ip("127.0.0.99"); }));
}
