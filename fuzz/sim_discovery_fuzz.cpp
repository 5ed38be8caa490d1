// The simulator's side of discovery: requests and change-IP requests as the
// responder parses them (through the XML tree, unlike the tool's reply scan).
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "discovery/dev_info.h"
#include "discovery/xml_path.h"
#include "runtime/trace.h"
#include "sim/discovery_responder.h"

namespace {

// Sockets that go nowhere: replies are built and dropped.
class NullSocket : public IUdpSocket {
public:
    int set_reuse_address() override { return 0; }
    int set_receive_buffer(int) override { return 0; }
    int set_broadcast() override { return 0; }
    int bind(const char*, std::uint16_t) override { return 0; }
    long send_to(const void*, std::size_t length, const char*, std::uint16_t) override {
        return static_cast<long>(length);
    }
    long receive(void*, std::size_t, char*) override { return 0; }
    int stop_arrivals() override { return 0; }
    void shutdown() override {}
    int last_error() const override { return 0; }
};

class NullNetwork : public IUdpTransport {
public:
    std::unique_ptr<IUdpSocket> open_udp() override { return std::make_unique<NullSocket>(); }
    int list_ipv4_addresses(std::vector<std::string>*) override { return 1; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static NullNetwork network;
    static Simulator* simulator = [] {
        set_trace_sink(trace_null_sink, nullptr);
        xml_set_output(nullptr);
        SimOptions options;
        options.count = 2;
        options.mac_prefix = "02:00:00";
        return new Simulator(options);
    }();
    static DiscoveryResponder responder(*simulator, &network);
    char buffer[RECV_BUFFER_SIZE + XML_PAD_BYTES] = {};
    std::size_t used = size < RECV_MAX_FILL ? size : RECV_MAX_FILL;
    std::memcpy(buffer, data, used);
    responder.handle(buffer, static_cast<long>(used), "10.77.0.1");
    return 0;
}
