#include "ui/network_cards.h"

#include <algorithm>

namespace ui {

std::vector<std::string> network_card_addresses(const std::vector<std::string>& host_addresses) {
    std::vector<std::string> cards;
    for (const std::string& address : host_addresses) {
        const bool loopback = address.rfind("127.", 0) == 0;
        if (!loopback && std::find(cards.begin(), cards.end(), address) == cards.end()) cards.push_back(address);
    }
    return cards;
}

}  // namespace ui
