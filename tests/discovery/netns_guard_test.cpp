// The test harness's network guard: what it refuses, and that every test
// runs under it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "discovery/netns_guard.h"
#include "discovery/udp_transport.h"

namespace {

constexpr const char* kHost = "net:[4026532001]";
constexpr const char* kPrivate = "net:[4026532050]";

std::string own_namespace() {
    char target[64] = {};
    ssize_t n = ::readlink("/proc/self/ns/net", target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

// Sets the guard for one test and puts the harness's value back afterwards.
class GuardValue {
public:
    explicit GuardValue(const std::string& value) {
        if (const char* old = std::getenv(kNetnsGuardVariable)) m_old = old;
        ::setenv(kNetnsGuardVariable, value.c_str(), 1);
    }
    ~GuardValue() {
        if (m_old.empty())
            ::unsetenv(kNetnsGuardVariable);
        else
            ::setenv(kNetnsGuardVariable, m_old.c_str(), 1);
    }

private:
    std::string m_old;
};

}  // namespace

TEST(NetnsGuard, EveryTestRunsUnderIt) {
    const char* guard = std::getenv(kNetnsGuardVariable);
    ASSERT_NE(guard, nullptr) << "ctest and scripts/in-netns.sh set " << kNetnsGuardVariable;
    EXPECT_NE(std::string(guard).find("net:["), std::string::npos) << guard;
    EXPECT_EQ(developer_send_refusal(false), "");  // the harness's namespace is a private one
}

// Benches and test hosts started by hand: the office LAN is never swept.
TEST(NetnsGuard, DeveloperProgramsSendOnlyInAPrivateNamespaceOrFromANamedCard) {
    const char* initial = "net:[4026531833]";  // the kernel's own, the real cards'
    EXPECT_NE(developer_send_refusal_in(false, nullptr, initial, ""), "");      // by hand, no harness
    EXPECT_NE(developer_send_refusal_in(false, nullptr, kHost, kHost), "");     // process 1's namespace
    EXPECT_NE(developer_send_refusal_in(false, nullptr, kPrivate, ""), "");     // nothing tells the outside
    EXPECT_NE(developer_send_refusal_in(false, kHost, kHost, ""), "");          // the harness's outside
    EXPECT_NE(developer_send_refusal_in(false, "1", "", kHost), "");            // own namespace unreadable
    EXPECT_EQ(developer_send_refusal_in(false, kHost, kPrivate, ""), "");       // scripts/in-netns.sh
    EXPECT_EQ(developer_send_refusal_in(false, nullptr, kPrivate, kHost), "");  // unshare -n by hand
    EXPECT_EQ(developer_send_refusal_in(true, nullptr, initial, ""), "");       // a card the user named
}

TEST(NetnsGuard, RefusesUnlessTheNamespaceIsKnownToBePrivate) {
    EXPECT_FALSE(netns_guard_refuses_in(nullptr, kHost, ""));  // programs as users run them
    EXPECT_FALSE(netns_guard_refuses_in("", kHost, ""));
    EXPECT_FALSE(netns_guard_refuses_in(kHost, kPrivate, ""));
    EXPECT_FALSE(netns_guard_refuses_in("1", kPrivate, kHost));
    EXPECT_TRUE(netns_guard_refuses_in(kHost, kHost, ""));
    EXPECT_TRUE(netns_guard_refuses_in((std::string(kPrivate) + " " + kHost).c_str(), kHost, ""));
    EXPECT_TRUE(netns_guard_refuses_in("1", kPrivate, kPrivate));  // process 1's namespace
    EXPECT_TRUE(netns_guard_refuses_in("1", kPrivate, ""));         // cannot tell
    EXPECT_TRUE(netns_guard_refuses_in(kHost, "", ""));             // own namespace unreadable
    EXPECT_TRUE(netns_guard_refuses_in(kHost, "net:[4026531833]", ""));  // the kernel's initial one
}

// With this very namespace named as the machine's own, a datagram to a LAN
// address is refused before it is sent; loopback stays open.
TEST(NetnsGuard, TheTransportRefusesAllButLoopback) {
    GuardValue guard(own_namespace());
    PosixUdpTransport transport;
    std::unique_ptr<IUdpSocket> sender = transport.open_udp();
    ASSERT_EQ(sender->set_broadcast(), 0);
    EXPECT_EQ(sender->send_to("x", 1, "255.255.255.255", 13000), -1);
    EXPECT_EQ(sender->last_error(), EPERM);
    EXPECT_EQ(sender->send_to("x", 1, "198.51.100.1", 13000), -1);
    EXPECT_EQ(sender->last_error(), EPERM);
    EXPECT_EQ(sender->send_to("x", 1, "127.0.0.1", 13000), 1);
}

// Connections (the ONVIF session's) are judged by any socket address:
// IPv6 loopback and IPv4-mapped loopback stay open, all else is refused.
TEST(NetnsGuard, SocketAddressesOfEveryFamily) {
    GuardValue guard(own_namespace());
    auto v4 = [](const char* text) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        ::inet_pton(AF_INET, text, &address.sin_addr);
        return address;
    };
    auto v6 = [](const char* text) {
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        ::inet_pton(AF_INET6, text, &address.sin6_addr);
        return address;
    };
    auto refused = [](const auto& address) { return netns_guard_refuses(reinterpret_cast<const sockaddr*>(&address)); };
    EXPECT_FALSE(refused(v4("127.0.0.2")));
    EXPECT_TRUE(refused(v4("198.51.100.1")));
    EXPECT_FALSE(refused(v6("::1")));
    EXPECT_FALSE(refused(v6("::ffff:127.0.0.1")));
    EXPECT_TRUE(refused(v6("::ffff:198.51.100.1")));
    EXPECT_TRUE(refused(v6("2001:db8::1")));
    EXPECT_TRUE(refused(v6("fe80::1")));
}
