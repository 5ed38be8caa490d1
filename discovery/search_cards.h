#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "discovery/udp_transport.h"

// The cards a search sends from: the IPv4 addresses of the host's cards that
// are up (the transport leaves out loopback and cards that are down),
// 127.0.0.1, repeats and addresses too long for a record left out, then at
// most `limit`, so that a few container or VPN interfaces listed first never
// crowd out the LAN card. Both searches (native and WS-Discovery) take their
// cards from here. 1 when the transport could not list the cards.
int list_search_cards(IUdpTransport& transport, std::size_t limit, std::vector<std::string>* cards);

// True when `card` is one of `cards`.
bool card_listed(const std::vector<std::string>& cards, const std::string& card);
