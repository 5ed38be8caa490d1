#!/usr/bin/env python3
"""A hostile host for bench/hostile_lan_bench.sh: sends discovery replies
for MACS invented MACs, round and round, to the tool's reply port (12000) at
TOOL until SIGTERM, then prints "sent N". Run only inside a private network
namespace (the bench's LAN)."""
import signal, socket, struct, sys
tool, macs = sys.argv[1], int(sys.argv[2])
def datagram(n):
    mac = "02:66:%02x:%02x:%02x:%02x" % (n >> 24 & 255, n >> 16 & 255, n >> 8 & 255, n & 255)
    body = ('<?xml version="1.0" ?>\n<Message Version="1">\n    <Header>\n        <MSG_DEV_INFO_REPLY'
            ' mac_address="%s" ip_address="10.77.0.199" cmd_port="8000" media_port="8001" http_port="80"'
            ' phone_port="8002" ipc_type="3" board_type="32" device_type="2" subnet_mask="255.255.255.0"'
            ' gateway="10.77.0.1" software_ver="V6.6.6" />\n    </Header>\n</Message>\n' % mac).encode()
    head = struct.pack(">8I", 0xFFFE3412, 0, 0x1002, 0, 0, 0, 0, len(body)) + bytes(32)
    return head + body
packets = [datagram(n) for n in range(macs)]
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sent = 0
def done(*_):
    print("sent", sent, flush=True)
    sys.exit(0)
signal.signal(signal.SIGTERM, done)
print("ready", flush=True)
while True:
    for p in packets:
        try:
            s.sendto(p, (tool, 12000))
            sent += 1
        except OSError:
            pass
