#pragma once

#include <netinet/in.h>

#include <string>
#include <string_view>

// The test harness's network guard. The programs send wherever a user asks;
// the test harness (ctest, scripts/in-netns.sh, scripts/sim-lan.sh, the demo)
// puts TERVANE_NETNS_GUARD into the environment, and then every datagram to
// an address outside 127.0.0.0/8 is refused unless the process runs in a
// network namespace other than the machine's own. The variable lists the
// namespaces the harness started from ("net:[4026531833] ..."); the namespace
// of process 1, where it can be read, counts as the machine's own as well.
// Without the variable nothing is refused.

constexpr const char* kNetnsGuardVariable = "TERVANE_NETNS_GUARD";

// True when a datagram to `destination` must not leave this process.
bool netns_guard_refuses(const in_addr& destination);
// The same for a connection to any socket address: IPv6 is judged by the
// IPv4 address it maps, ::1 is loopback, any other IPv6 address counts as
// outside loopback.
bool netns_guard_refuses(const sockaddr* destination);

// The decision itself: `guard` is the variable's value (null: unset),
// `own` this process' namespace and `machine` process 1's ("" where
// unreadable). Refuses whenever it cannot tell that `own` is private.
bool netns_guard_refuses_in(const char* guard, std::string_view own, std::string_view machine);

// Is `own` known to be a private namespace: neither the kernel's initial
// one, nor process 1's, nor one the variable lists, while some namespace
// outside it is known (process 1's, or one the variable lists)?
bool netns_is_private_in(const char* guard, std::string_view own, std::string_view machine);

// Developer programs (benches, test hosts) that can send broadcasts or
// multicast send only inside a private network namespace, or out of a card
// the user named: a bench started by hand on a developer's machine must not
// sweep the office LAN. "" when this process may send, else the reason to
// print before it exits without sending. Unlike the guard above this needs
// no variable: outside the harness, too, it refuses unless it can tell.
std::string developer_send_refusal(bool card_named);
std::string developer_send_refusal_in(bool card_named, const char* guard, std::string_view own,
                                      std::string_view machine);
