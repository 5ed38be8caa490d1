// The tool's receive path for one datagram: header conversion, size checks,
// command dispatch, the reply scan and the XML parse, then the address
// correction, exactly as the receiver thread runs it.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "discovery/private_discover.h"
#include "discovery/xml_path.h"
#include "runtime/trace.h"

namespace {

class NoNetwork : public IUdpTransport {
public:
    std::unique_ptr<IUdpSocket> open_udp() override { return nullptr; }
    int list_ipv4_addresses(std::vector<std::string>*) override { return 1; }
};

int keep(DEV_INFO* record, int, void*) {
    // Touch every byte so the sanitizer sees a record read past its fields.
    volatile unsigned char sum = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(record);
    for (std::size_t i = 0; i < sizeof *record; ++i) sum = sum + bytes[i];
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static NoNetwork network;
    static private_discover* engine = [] {
        set_trace_sink(trace_null_sink, nullptr);
        xml_set_output(nullptr);
        auto* e = new private_discover(&network, {});
        e->set_discovery_cb(&keep, nullptr);
        return e;
    }();
    char buffer[RECV_BUFFER_SIZE + XML_PAD_BYTES] = {};
    std::size_t used = size < RECV_MAX_FILL ? size : RECV_MAX_FILL;
    std::memcpy(buffer, data, used);
    engine->process_datagram(buffer, static_cast<long>(used), "10.77.0.5");
    return 0;
}
