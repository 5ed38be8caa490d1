#pragma once

#include <cstddef>
#include <cstdint>

// Wire records of the discovery protocol: a 64-byte header followed by an XML
// body, and the in-memory records that the bodies carry.

constexpr std::uint32_t PACKET_MAGIC = 0xFFFE3412u;

constexpr std::uint32_t CMD_REQUEST_DEVICE_INFO = 0x1001;   // tool -> all devices
constexpr std::uint32_t CMD_DEV_INFO_REPLY = 0x1002;        // device -> tool
constexpr std::uint32_t CMD_NETWORK_INFO_REQUEST = 0x1003;  // tool -> all devices, one MAC acts

// Size of every text field of the records (at most 31 bytes and a NUL).
constexpr std::size_t DEV_TEXT_SIZE = 32;

// The datagram header. The first eight words travel big-endian; the last 32
// bytes are reserved and never converted.
struct PACKET_HEAD {
    std::uint32_t magic;
    std::uint32_t reserved0;
    std::uint32_t command;
    std::uint32_t reserved1[4];
    std::uint32_t body_length;  // bytes of XML that follow the header
    std::uint8_t reserved2[32];
};
static_assert(sizeof(PACKET_HEAD) == 64);
static_assert(offsetof(PACKET_HEAD, body_length) == 28);

// Convert the eight leading words in place (host <-> network order).
void each_htonl(PACKET_HEAD* head);
void each_ntohl(PACKET_HEAD* head);

// One discovered device. The record is compared byte for byte and copied
// whole, so it is laid out without padding and always built zeroed.
struct DEV_INFO {
    std::uint32_t reserved0;
    char mac_address[DEV_TEXT_SIZE];
    char ip_address[DEV_TEXT_SIZE];
    std::uint16_t port;
    std::uint16_t cmd_port;
    std::uint16_t media_port;
    std::uint16_t phone_port;
    char master_ip[DEV_TEXT_SIZE];
    std::int32_t ipc_type;
    std::int32_t board_type;
    std::int32_t device_type;
    std::uint32_t reserved1;
    char subnet_mask[DEV_TEXT_SIZE];
    char gateway[DEV_TEXT_SIZE];
    char software_ver[DEV_TEXT_SIZE];
    std::uint16_t http_port;
    std::uint8_t reserved2[258];  // kept and compared with the record, never filled
};
static_assert(sizeof(DEV_INFO) == 480, "DEV_INFO must have no padding");

// Body of CMD_REQUEST_DEVICE_INFO: where the devices are to reply.
struct DEV_INFO_REQUEST {
    char server_ip[DEV_TEXT_SIZE];
    std::uint16_t server_port;
    std::int32_t connection_type;
};

// Body of CMD_NETWORK_INFO_REQUEST: new IP settings for the device whose MAC
// is dev_mac.
struct NETWORK_INFO {
    char dev_mac[DEV_TEXT_SIZE];
    char new_dev_ip[DEV_TEXT_SIZE];
    char new_dev_submask[DEV_TEXT_SIZE];
    char new_dev_gateway[DEV_TEXT_SIZE];
    std::int32_t new_dev_cmdport;
    std::int32_t new_dev_mediaport;
    std::int32_t new_dev_mobileport;
    std::int32_t new_dev_httpport;
    char server_ip[DEV_TEXT_SIZE];
    std::int32_t server_port;
};

// Datagram sizes: a body is built behind the header in a 1440-byte buffer
// (1376 bytes of room including the NUL); a datagram is received into 2048
// bytes of which at most 2047 are filled, followed by zero padding so that
// the XML parser never reads past the buffer.
constexpr std::size_t PACKET_HEAD_SIZE = sizeof(PACKET_HEAD);
constexpr std::size_t SEND_BUFFER_SIZE = 1440;
constexpr std::size_t SEND_BODY_CAPACITY = SEND_BUFFER_SIZE - PACKET_HEAD_SIZE;
constexpr std::size_t RECV_BUFFER_SIZE = 2048;
constexpr std::size_t RECV_MAX_FILL = RECV_BUFFER_SIZE - 1;
constexpr std::size_t XML_PAD_BYTES = 4;

// Copies text into a fixed field: at most size-1 bytes, cut on a UTF-8
// character boundary, NUL-terminated, the rest of the field zeroed.
void dev_copy_text(char* field, std::size_t size, const char* text);
