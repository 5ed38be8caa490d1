// A WS-Discovery client for the system tests: sends one Probe for ONVIF
// video transmitters (to the multicast group or to one address) and prints
// every ProbeMatches that comes back within the listening time, one line
// each: "<source address> <endpoint> <XAddrs> <RelatesTo matches: yes|no>".
//   wsd_probe --bind 10.77.0.1 [--to 239.255.255.250] [--port 3702] [--listen-ms 1500]
// It sends through the discovery transport, so the harness's network guard
// keeps it inside the test's namespaces.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "discovery/udp_transport.h"
#include "onvif/soap_xml.h"
#include "runtime/rt_time.h"

namespace {

constexpr const char* kMessageId = "urn:uuid:5e1f0000-0000-4000-8000-00000000abcd";

std::string probe_text(const std::string& types) {
    std::string header = std::string("<wsa:MessageID>") + kMessageId +
                         "</wsa:MessageID><wsa:To>urn:schemas-xmlsoap-org:ws:2005:04:discovery</wsa:To>"
                         "<wsa:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</wsa:Action>";
    std::string body = "<d:Probe>" + (types.empty() ? "" : "<d:Types>" + types + "</d:Types>") + "</d:Probe>";
    return onvif::build_envelope(header, body);
}

void print_match(const std::string& source, const std::string& bytes) {
    onvif::Envelope envelope;
    if (!onvif::parse_envelope(bytes, &envelope, nullptr)) {
        std::printf("%s unreadable\n", source.c_str());
        return;
    }
    const TiXmlElement* match = onvif::child(envelope.body_element, "ProbeMatch");
    std::printf("%s %s %s %s\n", source.c_str(), onvif::path_text(match, {"EndpointReference", "Address"}).c_str(),
                onvif::path_text(match, {"XAddrs"}).c_str(),
                onvif::path_text(envelope.header, {"RelatesTo"}) == kMessageId ? "yes" : "no");
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"wsd_probe - one WS-Discovery Probe, the matches printed"};
    std::string bind_ip, to = "239.255.255.250", types = "dn:NetworkVideoTransmitter";
    std::uint16_t port = 3702;
    int listen_ms = 1500;
    app.add_option("--bind", bind_ip, "own address")->required();
    app.add_option("--to", to, "the group or one camera's address");
    app.add_option("--port", port, "WS-Discovery port");
    app.add_option("--types", types, "Types of the Probe (\"\" for none)");
    app.add_option("--listen-ms", listen_ms, "how long to collect answers");
    CLI11_PARSE(app, argc, argv);

    PosixUdpTransport transport;
    std::unique_ptr<IUdpSocket> socket = transport.open_udp();
    std::string probe = probe_text(types);
    if (!socket || socket->bind(bind_ip.c_str(), 0) != 0 || socket->send_to(probe.data(), probe.size(), to.c_str(), port) < 0) {
        std::fprintf(stderr, "wsd_probe: cannot send to %s:%u\n", to.c_str(), port);
        return 1;
    }
    // The receive blocks: a second thread of nothing but a timer shuts it.
    std::thread timer([&] {
        rt_sleep_ms(listen_ms);
        socket->shutdown();
    });
    std::string buffer(65536, '\0');
    char source[UDP_ADDRESS_SIZE];
    for (;;) {
        long got = socket->receive(buffer.data(), buffer.size(), source);
        if (got <= 0) break;
        print_match(source, buffer.substr(0, static_cast<std::size_t>(got)));
    }
    timer.join();
    return 0;
}
