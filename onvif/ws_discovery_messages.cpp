#include "onvif/ws_discovery_messages.h"

#include <tinyxml.h>

#include <charconv>
#include <cstdio>

#include "onvif/soap_xml.h"
#include "onvif/username_token.h"

namespace onvif {

namespace {

bool is_list_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// xs:unsignedInt; a camera that sends anything else is taken as version 0.
std::uint32_t read_unsigned(const std::string& text) {
    std::uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

ProbeMatch read_match(const TiXmlElement* match) {
    ProbeMatch out;
    out.endpoint = path_text(match, {"EndpointReference", "Address"});
    if (out.endpoint.size() > kMaxEndpointChars) out.endpoint.clear();
    out.types = split_list(path_text(match, {"Types"}), kMaxListItems, kMaxUriChars);
    out.scopes = split_list(path_text(match, {"Scopes"}), kMaxListItems, kMaxUriChars);
    out.xaddrs = split_list(path_text(match, {"XAddrs"}), kMaxXAddrs, kMaxUriChars);
    out.metadata_version = read_unsigned(path_text(match, {"MetadataVersion"}));
    return out;
}

}  // namespace

std::string new_message_id() {
    std::string bytes = random_bytes(16);
    bytes.resize(16, '\0');
    auto byte = [&](std::size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(bytes[i])); };
    bytes[6] = static_cast<char>((byte(6) & 0x0F) | 0x40);  // version 4: random
    bytes[8] = static_cast<char>((byte(8) & 0x3F) | 0x80);  // the RFC 4122 variant
    std::string id = "urn:uuid:";
    for (std::size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) id += '-';
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", byte(i));
        id += hex;
    }
    return id;
}

std::string build_probe(std::string_view message_id) {
    std::string header = "<wsa:MessageID>" + escape(message_id) + "</wsa:MessageID><wsa:To>" + kWsDiscoveryTo +
                         "</wsa:To><wsa:Action>" + kProbeAction + "</wsa:Action>";
    std::string body = std::string("<d:Probe><d:Types>") + kProbeType + "</d:Types></d:Probe>";
    return build_envelope(header, body);
}

bool parse_probe_matches(std::string_view bytes, ProbeMatches* out, std::string* error) {
    auto fail = [error](const char* why) {
        if (error != nullptr) *error = why;
        return false;
    };
    *out = ProbeMatches{};
    Envelope envelope;
    if (!parse_envelope(bytes, &envelope, error)) return false;
    if (envelope.is_fault) return fail("a fault, not a ProbeMatches");
    if (envelope.body_element == nullptr || local_name(envelope.body_element->Value()) != "ProbeMatches")
        return fail("not a ProbeMatches");
    out->relates_to = path_text(envelope.header, {"RelatesTo"});
    out->message_id = path_text(envelope.header, {"MessageID"});
    if (out->relates_to.empty()) return fail("ProbeMatches without RelatesTo");
    for (const TiXmlElement* m = child(envelope.body_element, "ProbeMatch"); m != nullptr; m = next_sibling(m)) {
        ProbeMatch match = read_match(m);
        if (match.endpoint.empty() || out->matches.size() == kMaxProbeMatches)
            out->left_out++;
        else
            out->matches.push_back(std::move(match));
    }
    return true;
}

std::vector<std::string> split_list(std::string_view text, std::size_t limit, std::size_t max_chars) {
    std::vector<std::string> items;
    std::size_t i = 0;
    while (i < text.size() && items.size() < limit) {
        while (i < text.size() && is_list_space(text[i])) ++i;
        std::size_t start = i;
        while (i < text.size() && !is_list_space(text[i])) ++i;
        if (i > start && i - start <= max_chars) items.emplace_back(text.substr(start, i - start));
    }
    return items;
}

}  // namespace onvif
