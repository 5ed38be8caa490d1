#include <gtest/gtest.h>
#include <tinyxml.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "discovery/dev_info.h"
#include "discovery/xml_message.h"
#include "discovery/xml_path.h"
#include "tests/discovery/reply_text.h"

namespace {

// Captures what the XML layer prints while alive.
class XmlOutput {
public:
    XmlOutput() : m_file(std::tmpfile()) { xml_set_output(m_file); }
    ~XmlOutput() {
        xml_set_output(nullptr);
        std::fclose(m_file);
    }
    std::string text() {
        std::fflush(m_file);
        std::rewind(m_file);
        std::string out;
        char chunk[512];
        while (std::size_t n = std::fread(chunk, 1, sizeof chunk, m_file)) out.append(chunk, n);
        return out;
    }

private:
    std::FILE* m_file;
};

int scan(const std::string& body, DEV_INFO* info) {
    std::memset(info, 0, sizeof *info);
    int size = sizeof *info;
    MSG_DEV_INFO_REPLY message;
    return message.ToMe(body.c_str(), info, &size);
}

}  // namespace

TEST(PacketHead, WordsTravelBigEndianAndTheTailIsUntouched) {
    PACKET_HEAD head{};
    head.magic = PACKET_MAGIC;
    head.command = CMD_DEV_INFO_REPLY;
    head.body_length = 0x01020304;
    head.reserved2[0] = 0xAB;
    each_htonl(&head);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&head);
    EXPECT_EQ(0xFF, bytes[0]);
    EXPECT_EQ(0xFE, bytes[1]);
    EXPECT_EQ(0x34, bytes[2]);
    EXPECT_EQ(0x12, bytes[3]);
    EXPECT_EQ(0x10, bytes[10]);
    EXPECT_EQ(0x02, bytes[11]);
    EXPECT_EQ(0x01, bytes[28]);
    EXPECT_EQ(0x04, bytes[31]);
    EXPECT_EQ(0xAB, bytes[32]);
    each_ntohl(&head);
    EXPECT_EQ(PACKET_MAGIC, head.magic);
    EXPECT_EQ(0x01020304u, head.body_length);
    EXPECT_EQ(0xAB, head.reserved2[0]);
}

TEST(RequestBody, IsExactlyTheSixLines) {
    DEV_INFO_REQUEST request{};
    std::strcpy(request.server_ip, "192.168.1.20");
    request.server_port = 12000;
    request.connection_type = 2;
    char body[SEND_BODY_CAPACITY];
    int size = sizeof body;
    MSG_REQUEST_DEVICE_INFO message;
    ASSERT_EQ(0, message.ToXml(&request, body, &size));
    const std::string expected =
        "<?xml version=\"1.0\" ?>\n"
        "<Message Version=\"1\">\n"
        "    <Header>\n"
        "        <MSG_REQUEST_DEVICE_INFO server_ip=\"192.168.1.20\" server_port=\"12000\" connection_type=\"2\" />\n"
        "    </Header>\n"
        "</Message>\n";
    EXPECT_EQ(expected, std::string(body));
    EXPECT_EQ(static_cast<int>(expected.size()), size);
}

TEST(NetworkInfoRequest, RoundTripsEveryField) {
    NETWORK_INFO sent{};
    std::strcpy(sent.dev_mac, "00:11:22:33:44:55");
    std::strcpy(sent.new_dev_ip, "10.0.0.9");
    std::strcpy(sent.new_dev_submask, "255.255.0.0");
    std::strcpy(sent.new_dev_gateway, "10.0.0.1");
    sent.new_dev_cmdport = 8000;
    sent.new_dev_mediaport = 8001;
    sent.new_dev_mobileport = 8002;
    sent.new_dev_httpport = 80;
    char body[SEND_BODY_CAPACITY];
    int size = sizeof body;
    MSG_NETWORK_INFO_REQUEST out;
    ASSERT_EQ(0, out.ToXml(&sent, body, &size));
    NETWORK_INFO got{};
    int got_size = sizeof got;
    MSG_NETWORK_INFO_REQUEST in;
    ASSERT_EQ(0, in.ToMe(body, &got, &got_size));
    EXPECT_EQ(0, std::memcmp(&sent, &got, sizeof sent));
    int small = sizeof got - 1;
    MSG_NETWORK_INFO_REQUEST refused;
    EXPECT_EQ(1, refused.ToMe(body, &got, &small));
}

TEST(ReplyScan, ReadsWhatToXmlWrote) {
    DEV_INFO device = test_device("AA:BB:CC:00:00:01", "192.168.1.50");
    char body[SEND_BODY_CAPACITY];
    int size = sizeof body;
    MSG_DEV_INFO_REPLY out;
    ASSERT_EQ(0, out.ToXml(&device, body, &size));
    DEV_INFO got;
    ASSERT_EQ(0, scan(body, &got));
    // port and master_ip are written but not scanned.
    device.port = 0;
    std::memset(device.master_ip, 0, sizeof device.master_ip);
    EXPECT_EQ(0, std::memcmp(&device, &got, sizeof got));
}

TEST(ReplyScan, RefusesWhatLacksARequiredValue) {
    DEV_INFO got;
    EXPECT_EQ(1, scan(reply_text({{"mac_address", std::string(32, 'A')}}), &got));
    EXPECT_EQ('\0', got.mac_address[0]);
    EXPECT_EQ(0, scan(reply_text({{"mac_address", std::string(31, 'A')}}), &got));
    EXPECT_EQ(1, scan(reply_text({{"ip_address", ""}}), &got));
    EXPECT_EQ(1, scan(reply_text({{"cmd_port", "0"}}), &got));
    EXPECT_EQ(1, scan(reply_text({{"cmd_port", "65536"}}), &got));
    EXPECT_EQ(1, scan(reply_text({{"device_type", std::nullopt}}), &got));
    EXPECT_EQ(1, scan(reply_text({{"software_ver", ""}}), &got));
    std::string single = reply_text({});
    for (char& c : single)
        if (c == '"') c = '\'';
    EXPECT_EQ(1, scan(single, &got));
    EXPECT_EQ(1, scan("", &got));
    EXPECT_EQ(1, scan("mac_address=\"unterminated", &got));
}

TEST(ReplyScan, ReadsNumbersLikeAtoiAndAcceptsMissingGateway) {
    DEV_INFO got;
    ASSERT_EQ(0, scan(reply_text({{"cmd_port", "8000abc"}, {"gateway", std::nullopt}}), &got));
    EXPECT_EQ(8000, got.cmd_port);
    EXPECT_STREQ("", got.gateway);
    ASSERT_EQ(0, scan(reply_text({{"board_type", "-5"}, {"ipc_type", "99999999999999999999"}}), &got));
    EXPECT_EQ(-5, got.board_type);
    EXPECT_EQ(0, scan(reply_text({{"media_port", "x"}}), &got));
    EXPECT_EQ(0, got.media_port);
}

TEST(ReplyScan, RefusesATooSmallRecord) {
    DEV_INFO got{};
    int size = sizeof got - 1;
    MSG_DEV_INFO_REPLY message;
    EXPECT_EQ(1, message.ToMe(reply_text({}).c_str(), &got, &size));
}

TEST(XmlPath, NineLevelsWorkTenFailWithTheMessage) {
    XmlOutput output;
    TiXmlDocument* doc = xml_create(nullptr);
    const char* nine = "a.b.c.d.e.f.g.h.i";
    EXPECT_EQ(0, xml_file_write_new(doc, "v", 1, nine, XML_MODE_ATTRIBUTE, "x"));
    char value[8];
    EXPECT_EQ(0, xml_file_read(doc, value, sizeof value, nine, XML_MODE_ATTRIBUTE, "x"));
    EXPECT_STREQ("v", value);
    EXPECT_EQ(-1, xml_file_write_new(doc, "v", 1, "a.b.c.d.e.f.g.h.i.j", XML_MODE_ATTRIBUTE, "x"));
    EXPECT_EQ(-1, xml_file_read(doc, value, sizeof value, "a.b.c.d.e.f.g.h.i.j", XML_MODE_ATTRIBUTE, "x"));
    std::string printed = output.text();
    EXPECT_NE(std::string::npos, printed.find("xml_file_write_new: node level too deep, path = a.b.c.d.e.f.g.h.i.j\n"));
    EXPECT_NE(std::string::npos, printed.find("xml_file_read: node level too deep"));
    xml_destroy(doc);
}

TEST(XmlPath, RewritingAnAttributeKeepsItsPlace) {
    TiXmlDocument* doc = xml_create(nullptr);
    xml_file_write_new(doc, "1", 1, "M.H", XML_MODE_ATTRIBUTE, "first");
    xml_file_write_new(doc, "2", 1, "M.H", XML_MODE_ATTRIBUTE, "second");
    xml_file_write_new(doc, "3", 1, "M.H", XML_MODE_ATTRIBUTE, "first");
    char text[256];
    ASSERT_EQ(0, xml_export_buffer(doc, text, sizeof text));
    EXPECT_NE(std::string::npos, std::string(text).find("<H first=\"3\" second=\"2\" />"));
    xml_destroy(doc);
}

TEST(XmlPath, MissingElementOrAttributeLeavesTheResult) {
    TiXmlDocument* doc = xml_create("<a><b x=\"1\">text</b></a>");
    char value[8] = "keep";
    EXPECT_EQ(-1, xml_file_read(doc, value, sizeof value, "a.c", XML_MODE_ATTRIBUTE, "x"));
    EXPECT_EQ(-1, xml_file_read(doc, value, sizeof value, "a.b", XML_MODE_ATTRIBUTE, "y"));
    EXPECT_STREQ("keep", value);
    EXPECT_EQ(0, xml_file_read(doc, value, 3, "a.b", XML_MODE_TEXT, nullptr));
    EXPECT_STREQ("te", value);
    EXPECT_EQ(-1, xml_file_read(nullptr, value, sizeof value, "a", XML_MODE_TEXT, nullptr));
    EXPECT_EQ(-1, xml_destroy(nullptr));
    xml_destroy(doc);
}

// A body of 1375 characters fits the 1376 bytes of room; 1376 does not.
TEST(XmlExport, RefusesTextThatLeavesNoRoomForTheNul) {
    auto document_of_length = [](std::size_t length) {
        TiXmlDocument* doc = xml_create(nullptr);
        xml_file_write_new(doc, "", 0, "M", XML_MODE_ATTRIBUTE, "v");
        char probe[SEND_BODY_CAPACITY];
        xml_export_buffer(doc, probe, sizeof probe);
        std::string pad(length - std::strlen(probe), 'x');
        xml_file_write_new(doc, pad.c_str(), 0, "M", XML_MODE_ATTRIBUTE, "v");
        return doc;
    };
    char body[SEND_BODY_CAPACITY];
    std::memset(body, '#', sizeof body);
    TiXmlDocument* fits = document_of_length(1375);
    EXPECT_EQ(0, xml_export_buffer(fits, body, sizeof body));
    EXPECT_EQ(1375u, std::strlen(body));
    TiXmlDocument* too_long = document_of_length(1376);
    std::memset(body, '#', sizeof body);
    EXPECT_EQ(-1, xml_export_buffer(too_long, body, sizeof body));
    EXPECT_EQ('#', body[0]);
    xml_destroy(fits);
    xml_destroy(too_long);
}

TEST(XmlCreate, SurvivesTextWithoutARootOrWithATrailingLeadByte) {
    for (const char* text : {"<?xml ", "<!-- c -->", "", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>\xD0"}) {
        TiXmlDocument* doc = xml_create(text);
        char value[8] = {};
        EXPECT_EQ(-1, xml_file_read(doc, value, sizeof value, "Message.Header", XML_MODE_ATTRIBUTE, "x"));
        xml_destroy(doc);
    }
}

TEST(DevCopyText, CutsOnACharacterBoundary) {
    char field[5];
    dev_copy_text(field, sizeof field, "ab\xC3\xA9z");  // "abéz": é would straddle byte 4
    EXPECT_STREQ("ab\xC3\xA9", field);
    dev_copy_text(field, sizeof field, "abc\xC3\xA9");
    EXPECT_STREQ("abc", field);
}
