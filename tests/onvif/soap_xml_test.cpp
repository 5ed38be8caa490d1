#include "onvif/soap_xml.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <string>

namespace onvif {
namespace {

std::string nested(const std::string& open, const std::string& close, int levels) {
    std::string out;
    for (int i = 0; i < levels; ++i) out += open;
    for (int i = 0; i < levels; ++i) out += close;
    return out;
}

// The same answer as four makers' cameras write it: only the prefixes differ.
TEST(SoapXml, ReadsTheBodyWhateverThePrefix) {
    for (const char* prefix : {"SOAP-ENV:", "env:", "s:", "soap:", ""}) {
        std::string p = prefix;
        std::string xml = "<?xml version=\"1.0\"?><" + p + "Envelope xmlns" + (p.empty() ? "" : ":" + p.substr(0, p.size() - 1)) +
                          "=\"http://www.w3.org/2003/05/soap-envelope\"><" + p + "Header/><" + p +
                          "Body><tds:GetUsersResponse><tds:User><tt:Username> admin </tt:Username></tds:User>"
                          "</tds:GetUsersResponse></" + p + "Body></" + p + "Envelope>";
        Envelope envelope;
        std::string error;
        ASSERT_TRUE(parse_envelope(xml, &envelope, &error)) << prefix << ": " << error;
        EXPECT_NE(envelope.header, nullptr);
        EXPECT_FALSE(envelope.is_fault);
        EXPECT_EQ(local_name(envelope.body_element->Value()), "GetUsersResponse");
        EXPECT_EQ(path_text(envelope.body_element, {"User", "Username"}), "admin");
    }
}

TEST(SoapXml, ReadsEveryLevelOfANestedFault) {
    std::string xml = build_fault("Receiver", "ter:ActionNotSupported", "Optional Action Not Implemented");
    // ONVIF's specific faults sit one level below the generic one.
    std::size_t at = xml.find("</s:Value></s:Subcode>");
    xml.insert(at + std::string("</s:Value>").size(),
               "<s:Subcode><s:Value>ter:NoSuchService</s:Value></s:Subcode>");
    Envelope envelope;
    ASSERT_TRUE(parse_envelope(xml, &envelope, nullptr));
    ASSERT_TRUE(envelope.is_fault);
    EXPECT_EQ(envelope.fault_code, "Receiver");
    EXPECT_EQ(envelope.fault_subcodes, (std::vector<std::string>{"ActionNotSupported", "NoSuchService"}));
    EXPECT_EQ(envelope.fault_subcode, "NoSuchService");
    EXPECT_EQ(envelope.fault_reason, "Optional Action Not Implemented");
}

TEST(SoapXml, ReadsASoap11Fault) {
    const char* xml =
        "<SOAP-ENV:Envelope xmlns:SOAP-ENV=\"http://schemas.xmlsoap.org/soap/envelope/\"><SOAP-ENV:Body>"
        "<SOAP-ENV:Fault><faultcode>wsse:FailedAuthentication</faultcode>"
        "<faultstring>The security token could not be authenticated</faultstring></SOAP-ENV:Fault>"
        "</SOAP-ENV:Body></SOAP-ENV:Envelope>";
    Envelope envelope;
    ASSERT_TRUE(parse_envelope(xml, &envelope, nullptr));
    ASSERT_TRUE(envelope.is_fault);
    EXPECT_EQ(envelope.fault_code, "FailedAuthentication");
    EXPECT_TRUE(envelope.fault_subcodes.empty());
    EXPECT_EQ(envelope.fault_reason, "The security token could not be authenticated");
}

TEST(SoapXml, RefusesWhatIsNotAnEnvelope) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "answer is not well-formed XML"},
        {"<html><body>login</body></html>", "answer is not a SOAP envelope"},
        {"<s:Envelope xmlns:s=\"x\"><s:Header/></s:Envelope>", "envelope has no Body"},
        {"<s:Envelope><s:Body><a></s:Body></s:Envelope>", "answer is not well-formed XML"},
        {"<!DOCTYPE s [<!ENTITY x \"y\">]><s:Envelope><s:Body>&x;</s:Body></s:Envelope>", "answer has a DOCTYPE"},
        {std::string(kMaxEnvelopeBytes + 1, ' '), "answer too large"},
        {"<s:Envelope><s:Body>" + nested("<a>", "</a>", kMaxXmlDepth) + "</s:Body></s:Envelope>",
         "answer nested too deep"},
    };
    for (const auto& [xml, why] : cases) {
        Envelope envelope;
        std::string error;
        EXPECT_FALSE(parse_envelope(xml, &envelope, &error)) << xml.substr(0, 60);
        EXPECT_EQ(error, why) << xml.substr(0, 60);
    }
}

// Deep nesting hidden where a naive scan would not count it: TinyXML
// recurses per level, so each of these would exhaust the stack if it got
// through to the parser.
TEST(SoapXml, DepthScanCannotBeHiddenFrom) {
    std::string bomb = nested("<a>", "</a>", 70000);
    const std::string hidden[] = {
        "<?pi ><s:Envelope><s:Body>" + bomb + "?></s:Body></s:Envelope>",
        "< \"><s:Envelope><s:Body>" + bomb + "\"></s:Body></s:Envelope>",
        "<s:Envelope><s:Body><!-- x -->" + bomb + "</s:Body></s:Envelope>",
        "<s:Envelope><s:Body><a b='>'>" + bomb + "</a></s:Body></s:Envelope>",
    };
    for (const std::string& xml : hidden) {
        ASSERT_LE(xml.size(), kMaxEnvelopeBytes);
        EXPECT_GT(scan_depth(xml), kMaxXmlDepth) << xml.substr(0, 30);
        Envelope envelope;
        EXPECT_FALSE(parse_envelope(xml, &envelope, nullptr));
    }
    // What is really inside a comment, CDATA or a quoted value is no depth.
    EXPECT_EQ(scan_depth("<a><!-- <b><c> --><![CDATA[<d><e>]]><f g=\"<h>\"/></a>"), 2);
}

TEST(SoapXml, ANulByteEndsTheDocumentSafely) {
    std::string xml = "<s:Envelope><s:Body><x/></s:Body></s:Envelope>";
    std::string cut = xml.substr(0, 20) + std::string(1, '\0') + xml.substr(20);
    Envelope envelope;
    EXPECT_FALSE(parse_envelope(cut, &envelope, nullptr));
    EXPECT_TRUE(parse_envelope(xml + std::string(1, '\0') + "junk", &envelope, nullptr));
}

// What we write, a camera reads back: escaped text survives the trip.
TEST(SoapXml, BuiltEnvelopesParseBack) {
    std::string awkward = "a<b>&\"c'";
    std::string xml = build_envelope("<wsse:Security/>", "<tds:SetUser><tt:Username>" + escape(awkward) +
                                                              "</tt:Username></tds:SetUser>");
    Envelope envelope;
    ASSERT_TRUE(parse_envelope(xml, &envelope, nullptr));
    EXPECT_NE(child(envelope.header, "Security"), nullptr);
    EXPECT_EQ(path_text(envelope.body_element, {"Username"}), awkward);
    EXPECT_EQ(attribute(envelope.document->RootElement(), "tds"), kNsDevice);
}

TEST(SoapXml, FindsElementsByLocalName) {
    Envelope envelope;
    ASSERT_TRUE(parse_envelope("<e:Envelope><e:Body><r><x:a n:k=\" v \"/><b><a>deep</a></b><a>two</a></r>"
                               "</e:Body></e:Envelope>",
                               &envelope, nullptr));
    const TiXmlElement* first = child(envelope.body_element, "a");
    EXPECT_EQ(attribute(first, "k"), "v");
    EXPECT_EQ(text(next_sibling(first)), "two");
    EXPECT_EQ(next_sibling(next_sibling(first)), nullptr);
    EXPECT_EQ(text(descendant(child(envelope.body_element, "b"), "a")), "deep");
    EXPECT_EQ(path(envelope.body_element, {"b", "missing", "a"}), nullptr);
    EXPECT_EQ(text(nullptr), "");
}

}  // namespace
}  // namespace onvif
