#include "cli/search_options.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "discovery/xml_path.h"
#include "search/address_list.h"
#include "search/device_sessions.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

void add_search_options(CLI::App& cmd, SearchArgs& args) {
    cmd.add_option("-c,--card", args.card, "IPv4 address of the network card to search from");
    cmd.add_option("-t,--listen", args.listen_ms, "how long to listen for replies, in ms")
        ->capture_default_str()
        ->check(CLI::Range(0, 3600000));
    cmd.add_flag("--logs", args.logs, "write ./send.txt and ./recv.txt");
    cmd.add_flag("-v,--verbose", args.verbose, "print the trace and the XML messages on stderr");
    cmd.add_option("--interfaces", args.interfaces,
                   "addresses to name as reply addresses instead of the host's own (comma-separated)")
        ->delimiter(',');
    cmd.add_option("--dest", args.endpoints.broadcast_address, "destination of the requests")->capture_default_str();
    cmd.add_option("--local-port", args.endpoints.local_port, "port replies come to")->capture_default_str();
    cmd.add_option("--device-port", args.endpoints.device_port, "port the devices listen on")->capture_default_str();
}

void route_diagnostics(const SearchArgs& args) {
    xml_set_output(args.verbose ? stderr : nullptr);
    if (!args.verbose) set_trace_sink(trace_null_sink, nullptr);
}

namespace {

DiscoveryOptions discovery_options(const SearchArgs& args) {
    DiscoveryOptions options;
    options.endpoints = args.endpoints;
    options.endpoints.card = args.card;
    if (!args.logs) options.send_log = options.recv_log = "";
    return options;
}

SearchProtocols protocols_of(const std::string& name) {
    if (name == "native") return SearchProtocols::native;
    if (name == "onvif") return SearchProtocols::onvif;
    return SearchProtocols::all;
}

}  // namespace

void add_camera_search_options(CLI::App& cmd, CameraSearchArgs& args, bool with_login) {
    cmd.add_option("--protocol", args.protocol, "which cameras to search for: native, onvif or all")
        ->capture_default_str()
        ->check(CLI::IsMember({"native", "onvif", "all"}));
    cmd.add_option("--address", args.addresses,
                   "ask these addresses directly as well (A, A,B,... or START-END; at most 1024)")
        ->option_text("ADDRESSES");
    if (!with_login) return;
    CLI::Option* user = cmd.add_option("--user", args.user, "login to read the ONVIF cameras' identity with");
    cmd.add_option("--password", args.password, "password of --user")->needs(user);
}

bool camera_search_options(const SearchArgs& search, const CameraSearchArgs& cameras, CameraSearchOptions* options,
                           std::vector<std::string>* addresses, std::string* error) {
    options->protocols = protocols_of(cameras.protocol);
    options->native = discovery_options(search);
    if (!cameras.user.empty()) options->identity = onvif_sessions({cameras.user, cameras.password}, search.card);
    addresses->clear();
    std::string joined;
    for (const std::string& item : cameras.addresses) joined += (joined.empty() ? "" : ",") + item;
    return joined.empty() || parse_address_list(joined, addresses, error);
}

Search::Search(const SearchArgs& args) : m_args(args), m_transport(args.interfaces) {
    route_diagnostics(args);
    m_discovery = std::make_unique<CDiscovery>(&m_transport, discovery_options(args));
    m_discovery->StartDiscovery(0, 2147483647);
}

Search::~Search() { m_discovery->StopDiscovery(); }

std::vector<DEV_INFO> Search::collect() {
    rt_sleep_ms(m_args.listen_ms);
    std::vector<DEV_INFO> devices;
    int count = 0;
    m_discovery->GetDeviceList(&devices, &count);
    return devices;
}

namespace {

std::string card_list(private_discover& engine) {
    std::string cards;
    for (int i = 0; i < engine.address_count(); ++i) cards += std::string(i ? ", " : "") + engine.address(i);
    return cards;
}

}  // namespace

bool hint_when_nothing_answered(CDiscovery& discovery, std::uint16_t reply_port) {
    private_discover& engine = discovery.engine();
    SweepReport sweep = engine.last_sweep();
    if (engine.address_count() == 0) {
        std::fprintf(stderr, "tervane-cli: no device answered: no network card with an IPv4 address is up\n");
        return true;
    }
    if (sweep.sent == 0 && sweep.failed > 0) {
        // Nothing left this host: the firewall is not what to look at.
        if (!sweep.card.empty() && sweep.error == ENETDOWN)
            std::fprintf(stderr, "tervane-cli: the search could not be sent: no card with the address %s is up on "
                                 "this host\n", sweep.card.c_str());
        else
            std::fprintf(stderr, "tervane-cli: the search could not be sent: %s\n", std::strerror(sweep.error));
        return true;
    }
    if (sweep.card.empty())
        std::fprintf(stderr, "tervane-cli: no device answered; searched through the cards %s\n", card_list(engine).c_str());
    else
        std::fprintf(stderr, "tervane-cli: no device answered; searched through the card %s\n", sweep.card.c_str());
    if (sweep.failed > 0)
        std::fprintf(stderr, "tervane-cli: %d request(s) could not be sent: %s\n", sweep.failed,
                     std::strerror(sweep.error));
    std::fprintf(stderr,
                 "tervane-cli: replies come back to UDP port %u of this host: a firewall on this host must let "
                 "them in (see \"Finding cameras on your network\" in the user guide)\n",
                 static_cast<unsigned>(reply_port));
    return false;
}

bool hint_when_no_camera_answered(CCameraSearch& search, std::uint16_t reply_port) {
    if (search.native_on()) return hint_when_nothing_answered(search.native(), reply_port);
    SweepReport sweep = search.onvif().last_sweep();
    if (sweep.sent == 0) {
        std::fprintf(stderr, "tervane-cli: the WS-Discovery Probe could not be sent: %s\n",
                     sweep.failed > 0 ? std::strerror(sweep.error) : "no network card with an IPv4 address is up");
        return true;
    }
    std::fprintf(stderr,
                 "tervane-cli: no ONVIF camera answered the Probe sent %s; the answers come back to the port it left "
                 "from: a firewall on this host must let them in\n",
                 sweep.card.empty() ? "out of every card" : ("out of the card " + sweep.card).c_str());
    return false;
}
