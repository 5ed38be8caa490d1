#pragma once

#include <cstdint>
#include <cstring>

#include "discovery/dev_info.h"

class TiXmlDocument;

// An XML body of the discovery protocol: <Message Version="1"><Header><NAME
// .../></Header></Message>, every field an attribute of the NAME element.
// One object serves one message: construct, open once (by ToXml or ToMe),
// destroy. Not shared between threads.
class IXmlMessage {
public:
    static constexpr int kNameSize = 64;
    static constexpr int kValueSize = 64;

    virtual ~IXmlMessage();
    IXmlMessage(const IXmlMessage&) = delete;
    IXmlMessage& operator=(const IXmlMessage&) = delete;

    // With length -1 opens the text; always 0.
    virtual int Attach(const char* text, int length);
    // Builds the body of `record` into buffer; *size holds the capacity on
    // entry and the text length (without NUL) on success. 0 or 1.
    virtual int ToXml(const void* record, char* buffer, int* size) = 0;
    // Parses a body into `record`, whose size is *size. 0 or 1.
    virtual int ToMe(const char* text, void* record, int* size) = 0;

    const char* name() const { return m_name; }

protected:
    explicit IXmlMessage(const char* name);

    int open(const char* text);
    int write_version();
    int write_int(const char* message, const char* field, std::int32_t value);
    int write_string(const char* message, const char* field, const char* text, int length);
    int read_int(const char* message, const char* field, std::int32_t* result);
    int read_string(const char* message, const char* field, char* result, int size);
    int export_xmlbuffer(char* buffer, int size);

    // Shared by the three ToXml: opens a fresh document, lets `fill` write
    // the attributes, exports into buffer and sets *size.
    template <class Fill>
    int build(char* buffer, int* size, Fill&& fill) {
        if (buffer == nullptr || size == nullptr) return 1;
        open(nullptr);
        fill();
        if (export_xmlbuffer(buffer, *size) != 0) return 1;
        *size = static_cast<int>(std::strlen(buffer));
        return 0;
    }

private:
    // "Message.Header.<message>" into path; false when there is no document.
    bool element_path(const char* who, const char* message, char* path);

    TiXmlDocument* m_document = nullptr;
    char m_name[kNameSize] = {};
};

class MSG_REQUEST_DEVICE_INFO : public IXmlMessage {
public:
    MSG_REQUEST_DEVICE_INFO() : IXmlMessage("MSG_REQUEST_DEVICE_INFO") {}
    int ToXml(const void* record, char* buffer, int* size) override;  // DEV_INFO_REQUEST
    int ToMe(const char* text, void* record, int* size) override;
};

class MSG_DEV_INFO_REPLY : public IXmlMessage {
public:
    MSG_DEV_INFO_REPLY() : IXmlMessage("MSG_DEV_INFO_REPLY") {}
    int ToXml(const void* record, char* buffer, int* size) override;  // DEV_INFO
    // Scans the text for the fields (not through the XML tree); refuses a
    // reply without MAC, IP, command port, device type or version.
    int ToMe(const char* text, void* record, int* size) override;
};

class MSG_NETWORK_INFO_REQUEST : public IXmlMessage {
public:
    MSG_NETWORK_INFO_REQUEST() : IXmlMessage("MSG_NETWORK_INFO_REQUEST") {}
    int ToXml(const void* record, char* buffer, int* size) override;  // NETWORK_INFO
    int ToMe(const char* text, void* record, int* size) override;
};

// The reply scan on its own (no XML document is built): fills a zeroed
// DEV_INFO from a NUL-terminated body. 0 when every required field was found.
int dev_info_scan(const char* text, DEV_INFO* info);
