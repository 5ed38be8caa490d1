// A host on the LAN that is not a good camera: to every device-information
// request it first sends an empty datagram to the reply port (as a port scan
// would), then answers as a camera, late, with whatever bytes it was given
// as its version.
//   stray_host --ip 10.77.0.250 --mac 02:77:00:00:02:50 --delay-ms 1000
// Prints "ready" once it listens; runs until SIGTERM.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "discovery/udp_transport.h"
#include "discovery/xml_path.h"
#include "discovery/xml_message.h"
#include "runtime/rt_time.h"
#include "tests/discovery/reply_text.h"

namespace {

struct Options {
    std::string ip;
    std::string mac;
    std::string version = "V1.0.0";
    int delay_ms = 1000;
    std::uint16_t port = 13000;
};

void send_from(IUdpTransport& transport, const Options& o, const DEV_INFO_REQUEST& request, const std::string& bytes) {
    std::unique_ptr<IUdpSocket> socket = transport.open_udp();
    if (!socket || socket->bind(o.ip.c_str(), 0) != 0 ||
        socket->send_to(bytes.data(), bytes.size(), request.server_ip, static_cast<std::uint16_t>(request.server_port)) < 0)
        std::fprintf(stderr, "stray_host: cannot send to %s\n", request.server_ip);
}

void answer(IUdpTransport& transport, const Options& o, const char* datagram, long received) {
    PACKET_HEAD head;
    if (received < static_cast<long>(sizeof head)) return;
    std::memcpy(&head, datagram, sizeof head);
    each_ntohl(&head);
    if (head.magic != PACKET_MAGIC || head.command != CMD_REQUEST_DEVICE_INFO) return;
    DEV_INFO_REQUEST request{};
    int size = sizeof request;
    MSG_REQUEST_DEVICE_INFO message;
    if (message.ToMe(datagram + PACKET_HEAD_SIZE, &request, &size) != 0) return;
    send_from(transport, o, request, "");
    rt_sleep_ms(o.delay_ms);
    send_from(transport, o, request, reply_datagram(o.mac, o.ip, o.version));
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"stray_host - an empty datagram, then a late camera reply"};
    Options o;
    app.add_option("--ip", o.ip, "own address")->required();
    app.add_option("--mac", o.mac, "MAC of the late reply")->required();
    app.add_option("--version", o.version, "version text of the reply, sent as it is");
    app.add_option("--delay-ms", o.delay_ms, "delay of the reply")->capture_default_str();
    CLI11_PARSE(app, argc, argv);
    std::signal(SIGTERM, [](int) { std::_Exit(0); });
    xml_set_output(nullptr);

    PosixUdpTransport transport;
    std::unique_ptr<IUdpSocket> socket = transport.open_udp();
    if (!socket || socket->set_reuse_address() != 0 || socket->bind(nullptr, o.port) != 0) {
        std::fprintf(stderr, "stray_host: cannot listen on port %u\n", o.port);
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    char datagram[RECV_BUFFER_SIZE + XML_PAD_BYTES];
    char source[UDP_ADDRESS_SIZE];
    for (;;) {
        std::memset(datagram, 0, sizeof datagram);
        long received = socket->receive(datagram, RECV_MAX_FILL, source);
        if (received > 0) answer(transport, o, datagram, received);
    }
}
