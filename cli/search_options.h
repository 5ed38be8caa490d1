#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "discovery/discovery.h"
#include "search/camera_search.h"

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

// Diagnostics to stderr with --verbose, else silenced, so stdout carries
// only the result.
void route_diagnostics(const SearchArgs& args);

// What the searches for both kinds of camera share (discover, batch): the
// protocols to search with, the login that reads the ONVIF cameras'
// identity, the addresses to ask directly.
struct CameraSearchArgs {
    std::string protocol = "all";
    std::string user;
    std::string password;
    std::vector<std::string> addresses;  // each "A", "A,B,..." or "START-END"
};

// --protocol, --address, and with `with_login` --user / --password (a
// command with a login of its own passes false and fills user and password
// itself).
void add_camera_search_options(CLI::App& cmd, CameraSearchArgs& args, bool with_login);

// The combined search set up from both argument sets, and the addresses to
// ask directly. False, with the reason, when --address does not parse.
bool camera_search_options(const SearchArgs& search, const CameraSearchArgs& cameras, CameraSearchOptions* options,
                           std::vector<std::string>* addresses, std::string* error);

// A running discovery engine set up from the arguments (diagnostics routed
// to stderr or silenced, so stdout carries only the result).
class Search {
public:
    explicit Search(const SearchArgs& args);
    ~Search();
    // Listens to the replies of the engine's first sweep (from the card when
    // one was given), returns the list.
    std::vector<DEV_INFO> collect();
    CDiscovery& discovery() { return *m_discovery; }

private:
    const SearchArgs& m_args;
    PosixUdpTransport m_transport;
    std::unique_ptr<CDiscovery> m_discovery;
};

// When a search heard no device, tells on standard error which cards it was
// sent from, why requests could not be sent, and that the replies' port must
// be open in the host's firewall. True when not one request could be sent,
// so the search itself failed (a card that is down, or not this host's).
bool hint_when_nothing_answered(CDiscovery& discovery, std::uint16_t reply_port);

// The same for the combined search: the native search's hints when it ran,
// else those of the WS-Discovery Probes.
bool hint_when_no_camera_answered(CCameraSearch& search, std::uint16_t reply_port);
