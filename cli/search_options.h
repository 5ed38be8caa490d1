#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "discovery/discovery.h"

// What every subcommand that searches the network shares: the card to search
// from, how long to listen, the endpoints (for loopback runs) and the
// diagnostics switches.
struct SearchArgs {
    std::string card;
    std::int64_t listen_ms = 3000;
    bool verbose = false;
    bool logs = false;
    std::vector<std::string> interfaces;
    DiscoveryEndpoints endpoints;
};

void add_search_options(CLI::App& cmd, SearchArgs& args);

// A running discovery engine set up from the arguments (diagnostics routed
// to stderr or silenced, so stdout carries only the result).
class Search {
public:
    explicit Search(const SearchArgs& args);
    ~Search();
    // Sweeps (from the card when one was given), listens, returns the list.
    std::vector<DEV_INFO> collect();
    CDiscovery& discovery() { return *m_discovery; }

private:
    const SearchArgs& m_args;
    PosixUdpTransport m_transport;
    std::unique_ptr<CDiscovery> m_discovery;
};

// Tells the user why a search on a real LAN found nothing.
void warn_if_broadcast_refused(const SearchArgs& args);
