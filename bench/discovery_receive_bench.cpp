// Replies handled per second through the tool's receive path: header checks,
// reply scan and XML parse on the receiving thread, then the merge into the
// device list on the merge thread; 100 distinct devices, diagnostics off.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "discovery/discovery.h"
#include "discovery/xml_message.h"
#include "discovery/xml_path.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace {

class NoNetwork : public IUdpTransport {
public:
    std::unique_ptr<IUdpSocket> open_udp() override { return nullptr; }
    int list_ipv4_addresses(std::vector<std::string>*) override { return 1; }
};

std::string reply_datagram(int n) {
    DEV_INFO d{};
    std::string mac = "02:00:00:00:00:" + std::to_string(n);
    std::string ip = "10.77.0." + std::to_string(11 + n);
    dev_copy_text(d.mac_address, DEV_TEXT_SIZE, mac.c_str());
    dev_copy_text(d.ip_address, DEV_TEXT_SIZE, ip.c_str());
    dev_copy_text(d.subnet_mask, DEV_TEXT_SIZE, "255.255.255.0");
    dev_copy_text(d.gateway, DEV_TEXT_SIZE, "10.77.0.1");
    dev_copy_text(d.software_ver, DEV_TEXT_SIZE, "V1.0.0");
    d.cmd_port = 8000;
    d.device_type = 2;
    char body[SEND_BODY_CAPACITY];
    int size = sizeof body;
    MSG_DEV_INFO_REPLY message;
    message.ToXml(&d, body, &size);
    PACKET_HEAD head{};
    head.magic = PACKET_MAGIC;
    head.command = CMD_DEV_INFO_REPLY;
    head.body_length = static_cast<std::uint32_t>(size);
    each_htonl(&head);
    return std::string(reinterpret_cast<const char*>(&head), sizeof head) + std::string(body, size);
}

int listed(CDiscovery& discovery) {
    std::vector<DEV_INFO> list;
    int count = 0;
    discovery.GetDeviceList(&list, &count);
    return count;
}

void BM_ReceivePath(benchmark::State& state) {
    set_trace_sink(trace_null_sink, nullptr);
    xml_set_output(nullptr);
    std::vector<std::string> datagrams;
    for (int n = 0; n < 100; ++n) datagrams.push_back(reply_datagram(n));
    NoNetwork network;
    DiscoveryOptions options;
    options.send_log = options.recv_log = "";
    CDiscovery discovery(&network, options);
    discovery.StartDiscovery(0, 2147483647);
    char buffer[RECV_BUFFER_SIZE + XML_PAD_BYTES];
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& d = datagrams[i++ % datagrams.size()];
        std::memset(buffer, 0, sizeof buffer);
        std::memcpy(buffer, d.data(), d.size());
        discovery.engine().process_datagram(buffer, static_cast<long>(d.size()), "10.77.0.11");
    }
    // The merge thread catches up before the clock stops counting items.
    const int expected = state.iterations() < 100 ? static_cast<int>(state.iterations()) : 100;
    while (listed(discovery) < expected) rt_sleep_ms(1);
    state.SetItemsProcessed(state.iterations());
    discovery.StopDiscovery();
}
BENCHMARK(BM_ReceivePath)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
