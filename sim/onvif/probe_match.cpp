#include "sim/onvif/probe_match.h"

#include <tinyxml.h>

#include <cstdio>
#include <sstream>

#include "onvif/soap_xml.h"
#include "onvif/username_token.h"

namespace {

constexpr const char* kProbeAction = "http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe";
constexpr const char* kMatchesAction = "http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches";
constexpr const char* kAnonymous = "http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous";
constexpr const char* kRuleRfc2396 = "http://schemas.xmlsoap.org/ws/2005/04/discovery/rfc2396";
constexpr const char* kRuleRfc3986 = "http://schemas.xmlsoap.org/ws/2005/04/discovery/rfc3986";
constexpr const char* kRuleStrcmp = "http://schemas.xmlsoap.org/ws/2005/04/discovery/strcmp0";

// The namespace a prefix stands for at `element`, looking up its ancestors.
std::string namespace_of(const TiXmlElement* element, const std::string& prefix) {
    std::string attribute = prefix.empty() ? "xmlns" : "xmlns:" + prefix;
    for (const TiXmlNode* node = element; node != nullptr; node = node->Parent()) {
        const TiXmlElement* e = node->ToElement();
        if (e == nullptr) break;
        if (const char* uri = e->Attribute(attribute.c_str())) return uri;
    }
    return "";
}

std::vector<std::string> words(const std::string& list) {
    std::istringstream in(list);
    std::vector<std::string> out;
    for (std::string word; in >> word;) out.push_back(word);
    return out;
}

bool is_our_type(const std::pair<std::string, std::string>& type) {
    const auto& [uri, local] = type;
    // A prefix the probe forgot to declare is matched by the local name alone.
    bool video = local == "NetworkVideoTransmitter" && (uri.empty() || uri == onvif::kNsNetworkVideo);
    bool device = local == "Device" && (uri.empty() || uri == onvif::kNsDevice);
    return video || device;
}

// RFC 2396/3986 matching as WS-Discovery defines it: the probe's scope is the
// camera's, or a prefix of it ending at a path segment.
bool uri_scope_matches(const std::string& wanted, const std::string& have) {
    if (have.size() < wanted.size() || have.compare(0, wanted.size(), wanted) != 0) return false;
    return have.size() == wanted.size() || wanted.back() == '/' || have[wanted.size()] == '/';
}

bool scope_matches(const std::string& rule, const std::string& wanted, const std::vector<std::string>& have) {
    for (const std::string& scope : have) {
        if (rule == kRuleStrcmp ? scope == wanted : uri_scope_matches(wanted, scope)) return true;
    }
    return false;
}

std::string uuid_urn() {
    std::string b = onvif::random_bytes(16);
    auto byte = [&](int i) { return static_cast<unsigned>(static_cast<unsigned char>(b[i])); };
    char text[64];
    std::snprintf(text, sizeof text, "urn:uuid:%02x%02x%02x%02x-%02x%02x-4%01x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  byte(0), byte(1), byte(2), byte(3), byte(4), byte(5), byte(6) & 0x0F, byte(7),
                  (byte(8) & 0x3F) | 0x80, byte(9), byte(10), byte(11), byte(12), byte(13), byte(14), byte(15));
    return text;
}

}  // namespace

std::optional<Probe> read_probe(std::string_view datagram) {
    onvif::Envelope envelope;
    if (!onvif::parse_envelope(datagram, &envelope, nullptr) || envelope.body_element == nullptr) return std::nullopt;
    if (onvif::local_name(envelope.body_element->Value()) != "Probe") return std::nullopt;
    if (onvif::path_text(envelope.header, {"Action"}) != kProbeAction) return std::nullopt;
    Probe probe;
    probe.message_id = onvif::path_text(envelope.header, {"MessageID"});
    if (probe.message_id.empty()) return std::nullopt;
    const TiXmlElement* types = onvif::child(envelope.body_element, "Types");
    for (const std::string& qname : words(onvif::text(types))) {
        std::size_t colon = qname.find(':');
        std::string prefix = colon == std::string::npos ? "" : qname.substr(0, colon);
        probe.types.emplace_back(namespace_of(types, prefix), qname.substr(colon + 1));
    }
    const TiXmlElement* scopes = onvif::child(envelope.body_element, "Scopes");
    probe.scopes = words(onvif::text(scopes));
    probe.match_by = onvif::attribute(scopes, "MatchBy");
    return probe;
}

bool probe_matches(const Probe& probe, const std::vector<std::string>& scopes) {
    for (const auto& type : probe.types)
        if (!is_our_type(type)) return false;
    const std::string& rule = probe.match_by;
    if (!rule.empty() && rule != kRuleRfc2396 && rule != kRuleRfc3986 && rule != kRuleStrcmp) return false;
    for (const std::string& wanted : probe.scopes)
        if (!scope_matches(rule, wanted, scopes)) return false;
    return true;
}

std::string probe_matches_message(const Probe& probe, OnvifCamera& camera) {
    using onvif::escape;
    std::string header = "<wsa:MessageID>" + uuid_urn() + "</wsa:MessageID><wsa:RelatesTo>" +
                         escape(probe.message_id) + "</wsa:RelatesTo><wsa:To>" + kAnonymous +
                         "</wsa:To><wsa:Action>" + kMatchesAction + "</wsa:Action><d:AppSequence InstanceId=\"" +
                         std::to_string(camera.instance_id()) + "\" MessageNumber=\"" +
                         std::to_string(camera.next_message_number()) + "\"/>";
    std::string scopes;
    for (const std::string& scope : camera.scopes()) scopes += (scopes.empty() ? "" : " ") + escape(scope);
    std::string body = "<d:ProbeMatches><d:ProbeMatch><wsa:EndpointReference><wsa:Address>" + camera.endpoint() +
                       "</wsa:Address></wsa:EndpointReference><d:Types>dn:NetworkVideoTransmitter tds:Device</d:Types>"
                       "<d:Scopes>" + scopes + "</d:Scopes><d:XAddrs>" + escape(camera.device_xaddr()) +
                       "</d:XAddrs><d:MetadataVersion>1</d:MetadataVersion></d:ProbeMatch></d:ProbeMatches>";
    return onvif::build_envelope(header, body);
}

std::vector<ProbeReply> answer_probe(const std::vector<std::shared_ptr<OnvifCamera>>& cameras,
                                     std::string_view datagram, const std::string& destination) {
    std::vector<ProbeReply> replies;
    std::optional<Probe> probe = read_probe(datagram);
    if (!probe) return replies;
    bool to_group = destination == kWsdGroup;
    for (const auto& camera : cameras) {
        CameraIdentity id = camera->identity();
        if (!camera->online() || (!to_group && id.ip != destination)) continue;
        if (probe_matches(*probe, camera->scopes())) replies.push_back({id.ip, probe_matches_message(*probe, *camera)});
    }
    return replies;
}
