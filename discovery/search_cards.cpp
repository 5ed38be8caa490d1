#include "discovery/search_cards.h"

#include <algorithm>

#include "discovery/dev_info.h"

int list_search_cards(IUdpTransport& transport, std::size_t limit, std::vector<std::string>* cards) {
    cards->clear();
    std::vector<std::string> found;
    if (transport.list_ipv4_addresses(&found) != 0) return 1;
    for (const std::string& address : found) {
        if (address == "127.0.0.1" || address.size() >= DEV_TEXT_SIZE) continue;
        if (card_listed(*cards, address)) continue;
        cards->push_back(address);
        if (cards->size() == limit) break;
    }
    return 0;
}

bool card_listed(const std::vector<std::string>& cards, const std::string& card) {
    return std::find(cards.begin(), cards.end(), card) != cards.end();
}
