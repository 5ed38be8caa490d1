#include "discovery/xml_message.h"

#include <tinyxml.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "discovery/xml_path.h"
#include "runtime/trace.h"

IXmlMessage::IXmlMessage(const char* name) { std::snprintf(m_name, sizeof m_name, "%s", name); }

IXmlMessage::~IXmlMessage() {
    if (m_document != nullptr) xml_destroy(m_document);
}

int IXmlMessage::Attach(const char* text, int length) {
    if (length == -1) open(text);
    return 0;
}

int IXmlMessage::open(const char* text) {
    if (m_document != nullptr) xml_destroy(m_document);
    m_document = xml_create(text);
    write_version();
    return 0;
}

int IXmlMessage::write_version() {
    if (m_document == nullptr ||
        xml_file_write_new(m_document, "1", 1, "Message", XML_MODE_ATTRIBUTE, "Version") != 0) {
        TRACE_POS("IXmlMessage::write_version");
        return 1;
    }
    return 0;
}

bool IXmlMessage::element_path(const char* who, const char* message, char* path) {
    if (m_document == nullptr) {
        TRACE_MSG(who, "xml object not opened\n");
        return false;
    }
    std::snprintf(path, kNameSize, "Message.Header.%s", message);
    return true;
}

int IXmlMessage::write_int(const char* message, const char* field, std::int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return write_string(message, field, text, static_cast<int>(std::strlen(text)));
}

int IXmlMessage::write_string(const char* message, const char* field, const char* text, int length) {
    char path[kNameSize];
    if (!element_path("IXmlMessage::write_string", message, path)) return 1;
    if (xml_file_write_new(m_document, text, length, path, XML_MODE_ATTRIBUTE, field) != 0) {
        TRACE_POS("IXmlMessage::write_string");
        return 1;
    }
    return 0;
}

int IXmlMessage::read_int(const char* message, const char* field, std::int32_t* result) {
    char path[kNameSize];
    if (!element_path("IXmlMessage::read_int", message, path)) return 1;
    char text[kValueSize] = {};
    xml_file_read(m_document, text, sizeof text, path, XML_MODE_ATTRIBUTE, field);
    if (text[0] == '\0') {
        *result = 0;
        TRACE_MSG("IXmlMessage::read_int", "filed_name == %s the length is 0 \n", field);
    } else {
        *result = static_cast<std::int32_t>(std::strtol(text, nullptr, 10));
        TRACE_MSG("IXmlMessage::read_int", "filed_name == %s xml transfer %d\n", field, *result);
    }
    return 0;
}

int IXmlMessage::read_string(const char* message, const char* field, char* result, int size) {
    char path[kNameSize];
    if (!element_path("IXmlMessage::read_string", message, path)) return 1;
    xml_file_read(m_document, result, size, path, XML_MODE_ATTRIBUTE, field);
    return 0;
}

int IXmlMessage::export_xmlbuffer(char* buffer, int size) {
    if (m_document == nullptr) {
        TRACE_MSG("IXmlMessage::export_xmlbuffer", "xml object not opened\n");
        return 1;
    }
    if (xml_export_buffer(m_document, buffer, size) != 0) {
        TRACE_POS("IXmlMessage::export_xmlbuffer");
        return 1;
    }
    return 0;
}

// ---- MSG_REQUEST_DEVICE_INFO

int MSG_REQUEST_DEVICE_INFO::ToXml(const void* record, char* buffer, int* size) {
    if (record == nullptr) return 1;
    const auto& r = *static_cast<const DEV_INFO_REQUEST*>(record);
    const char* m = name();
    return build(buffer, size, [&] {
        write_string(m, "server_ip", r.server_ip, static_cast<int>(strnlen(r.server_ip, DEV_TEXT_SIZE)));
        write_int(m, "server_port", r.server_port);
        write_int(m, "connection_type", r.connection_type);
    });
}

int MSG_REQUEST_DEVICE_INFO::ToMe(const char* text, void* record, int* size) {
    open(text);
    if (record == nullptr || size == nullptr || *size < static_cast<int>(sizeof(DEV_INFO_REQUEST))) {
        TRACE_POS("MSG_REQUEST_DEVICE_INFO::ToMe");
        return 1;
    }
    auto& r = *static_cast<DEV_INFO_REQUEST*>(record);
    const char* m = name();
    std::int32_t value = 0;
    read_string(m, "server_ip", r.server_ip, DEV_TEXT_SIZE);
    read_int(m, "server_port", &value);
    r.server_port = static_cast<std::uint16_t>(value);
    read_int(m, "connection_type", &r.connection_type);
    return 0;
}

// ---- MSG_NETWORK_INFO_REQUEST

int MSG_NETWORK_INFO_REQUEST::ToXml(const void* record, char* buffer, int* size) {
    if (record == nullptr) return 1;
    const auto& r = *static_cast<const NETWORK_INFO*>(record);
    const char* m = name();
    auto text = [&](const char* field, const char* value) {
        write_string(m, field, value, static_cast<int>(strnlen(value, DEV_TEXT_SIZE)));
    };
    return build(buffer, size, [&] {
        text("dev_mac", r.dev_mac);
        text("new_dev_ip", r.new_dev_ip);
        text("new_dev_submask", r.new_dev_submask);
        text("new_dev_gateway", r.new_dev_gateway);
        write_int(m, "new_dev_cmdport", r.new_dev_cmdport);
        write_int(m, "new_dev_mediaport", r.new_dev_mediaport);
        write_int(m, "new_dev_mobileport", r.new_dev_mobileport);
        write_int(m, "new_dev_httpport", r.new_dev_httpport);
        text("server_ip", r.server_ip);
        write_int(m, "server_port", r.server_port);
    });
}

int MSG_NETWORK_INFO_REQUEST::ToMe(const char* text, void* record, int* size) {
    open(text);
    if (record == nullptr || size == nullptr || *size < static_cast<int>(sizeof(NETWORK_INFO))) {
        TRACE_POS("MSG_NETWORK_INFO_REQUEST::ToMe");
        return 1;
    }
    auto& r = *static_cast<NETWORK_INFO*>(record);
    const char* m = name();
    read_string(m, "dev_mac", r.dev_mac, DEV_TEXT_SIZE);
    read_string(m, "new_dev_ip", r.new_dev_ip, DEV_TEXT_SIZE);
    read_string(m, "new_dev_submask", r.new_dev_submask, DEV_TEXT_SIZE);
    read_string(m, "new_dev_gateway", r.new_dev_gateway, DEV_TEXT_SIZE);
    read_int(m, "new_dev_cmdport", &r.new_dev_cmdport);
    read_int(m, "new_dev_mediaport", &r.new_dev_mediaport);
    read_int(m, "new_dev_mobileport", &r.new_dev_mobileport);
    read_int(m, "new_dev_httpport", &r.new_dev_httpport);
    read_string(m, "server_ip", r.server_ip, DEV_TEXT_SIZE);
    read_int(m, "server_port", &r.server_port);
    return 0;
}

// ---- MSG_DEV_INFO_REPLY

int MSG_DEV_INFO_REPLY::ToXml(const void* record, char* buffer, int* size) {
    if (record == nullptr) return 1;
    const auto& r = *static_cast<const DEV_INFO*>(record);
    const char* m = name();
    auto text = [&](const char* field, const char* value) {
        write_string(m, field, value, static_cast<int>(strnlen(value, DEV_TEXT_SIZE)));
    };
    return build(buffer, size, [&] {
        text("mac_address", r.mac_address);
        text("ip_address", r.ip_address);
        text("master_ip", r.master_ip);
        write_int(m, "port", r.port);
        write_int(m, "cmd_port", r.cmd_port);
        write_int(m, "media_port", r.media_port);
        write_int(m, "http_port", r.http_port);
        write_int(m, "phone_port", r.phone_port);
        write_int(m, "ipc_type", r.ipc_type);
        write_int(m, "board_type", r.board_type);
        write_int(m, "device_type", r.device_type);
        text("subnet_mask", r.subnet_mask);
        text("gateway", r.gateway);
        text("software_ver", r.software_ver);
    });
}

int MSG_DEV_INFO_REPLY::ToMe(const char* text, void* record, int* size) {
    open(text);
    if (text == nullptr || record == nullptr || size == nullptr || *size < static_cast<int>(sizeof(DEV_INFO))) {
        TRACE_POS("MSG_DEV_INFO_REPLY::ToMe");
        return 1;
    }
    return dev_info_scan(text, static_cast<DEV_INFO*>(record));
}

namespace {

// The value of the first `name="..."` in text (the first quote after the
// first occurrence of the name); empty when there is no closing quote or the
// value would not fit a 32-byte field.
void scan_text(const char* text, const char* name, char field[DEV_TEXT_SIZE]) {
    std::memset(field, 0, DEV_TEXT_SIZE);
    const char* at = std::strstr(text, name);
    if (at == nullptr) return;
    const char* open = std::strchr(at, '"');
    if (open == nullptr) return;
    const char* close = std::strchr(open + 1, '"');
    if (close == nullptr || close - open - 1 >= static_cast<long>(DEV_TEXT_SIZE)) return;
    std::memcpy(field, open + 1, static_cast<std::size_t>(close - open - 1));
}

// The leading decimal number behind the first quote after the name, read
// like atoi (no overflow trap: strtol clamps, the cast wraps); 0 when absent.
std::int32_t scan_number(const char* text, const char* name) {
    const char* at = std::strstr(text, name);
    if (at == nullptr) return 0;
    const char* open = std::strchr(at, '"');
    if (open == nullptr) return 0;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(std::strtol(open + 1, nullptr, 10)));
}

}  // namespace

int dev_info_scan(const char* text, DEV_INFO* r) {
    scan_text(text, "mac_address", r->mac_address);
    if (r->mac_address[0] == '\0') return 1;
    scan_text(text, "ip_address", r->ip_address);
    if (r->ip_address[0] == '\0') return 1;
    r->cmd_port = static_cast<std::uint16_t>(scan_number(text, "cmd_port"));
    if (r->cmd_port == 0) return 1;
    r->media_port = static_cast<std::uint16_t>(scan_number(text, "media_port"));
    r->http_port = static_cast<std::uint16_t>(scan_number(text, "http_port"));
    r->phone_port = static_cast<std::uint16_t>(scan_number(text, "phone_port"));
    r->ipc_type = scan_number(text, "ipc_type");
    r->board_type = scan_number(text, "board_type");
    r->device_type = scan_number(text, "device_type");
    if (r->device_type == 0) return 1;
    scan_text(text, "subnet_mask", r->subnet_mask);
    scan_text(text, "gateway", r->gateway);
    scan_text(text, "software_ver", r->software_ver);
    if (r->software_ver[0] == '\0') {
        TRACE_POS("MSG_DEV_INFO_REPLY::ToMe");
        return 1;
    }
    return 0;
}
