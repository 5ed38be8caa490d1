// The receive path of a WS-Discovery reply: the relation to our Probe, the
// envelope and ProbeMatches parser, the choice of XAddr and the endpoint
// list. The seeds answer the Probe id below, from 192.168.1.64.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "onvif/ws_discovery.h"
#include "runtime/trace.h"

namespace {

class NoSockets : public IUdpTransport {
public:
    std::unique_ptr<IUdpSocket> open_udp() override { return nullptr; }
    int list_ipv4_addresses(std::vector<std::string>* addresses) override {
        addresses->clear();
        return 0;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static NoSockets transport;
    static bool quiet = (set_trace_sink(trace_null_sink, nullptr), true);
    (void)quiet;
    onvif::CWsDiscovery engine(&transport);
    engine.remember_probe("urn:uuid:5f3e1c2a-7b4d-4e8f-9a01-23456789abcd");
    engine.process_datagram(reinterpret_cast<const char*>(data), size, "192.168.1.64");
    return 0;
}
