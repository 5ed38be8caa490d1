#include "onvif/soap_xml.h"

#include <tinyxml.h>

#include <algorithm>

namespace onvif {

namespace {

bool is_xml_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_xml_space(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_xml_space(text.back())) text.remove_suffix(1);
    return text;
}

// Skips to just past `terminator` from `i`; npos when it never comes.
std::size_t skip_past(std::string_view bytes, std::size_t i, std::string_view terminator) {
    std::size_t at = bytes.find(terminator, i);
    return at == std::string_view::npos ? at : at + terminator.size();
}

// True when `tag` (from its '<') is a start or end tag as TinyXML reads
// one: a name starting with a letter, '_' or any byte past ASCII.
bool opens_element(std::string_view tag) {
    std::size_t at = tag.starts_with("</") ? 2 : 1;
    if (at >= tag.size()) return false;
    unsigned char c = static_cast<unsigned char>(tag[at]);
    return c >= 127 || c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Skips a start or end tag from its '<', minding quoted attribute values
// (which may hold '>' and "/>"); sets *self_closing for "<a/>".
std::size_t skip_tag(std::string_view bytes, std::size_t i, bool* self_closing) {
    char quote = 0;
    for (std::size_t j = i + 1; j < bytes.size(); ++j) {
        char c = bytes[j];
        if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            *self_closing = bytes[j - 1] == '/';
            return j + 1;
        }
    }
    return std::string_view::npos;
}

// A fault's QName value without its prefix: "ter:NotAuthorized" -> "NotAuthorized".
std::string value_name(const TiXmlElement* value) { return std::string(local_name(text(value).c_str())); }

void read_fault(Envelope* out) {
    const TiXmlElement* fault = out->body_element;
    const TiXmlElement* code = child(fault, "Code");
    out->fault_code = value_name(child(code, "Value"));
    // ONVIF nests its specific faults below the generic ones
    // ("ter:ActionNotSupported" over "ter:NoSuchService"), so every level
    // counts, not only the deepest.
    for (const TiXmlElement* sub = child(code, "Subcode"); sub != nullptr; sub = child(sub, "Subcode"))
        out->fault_subcodes.push_back(value_name(child(sub, "Value")));
    if (!out->fault_subcodes.empty()) out->fault_subcode = out->fault_subcodes.back();
    out->fault_reason = path_text(fault, {"Reason", "Text"});
    // SOAP 1.1 faults, which some cameras still send.
    if (out->fault_code.empty()) out->fault_code = value_name(child(fault, "faultcode"));
    if (out->fault_reason.empty()) out->fault_reason = text(child(fault, "faultstring"));
}

}  // namespace

Envelope::Envelope() = default;
Envelope::~Envelope() = default;
Envelope::Envelope(Envelope&&) noexcept = default;
Envelope& Envelope::operator=(Envelope&&) noexcept = default;

std::string_view local_name(const char* qualified) {
    if (qualified == nullptr) return {};
    std::string_view name(qualified);
    std::size_t colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

const TiXmlElement* child(const TiXmlElement* parent, std::string_view local) {
    if (parent == nullptr) return nullptr;
    for (const TiXmlElement* e = parent->FirstChildElement(); e != nullptr; e = e->NextSiblingElement())
        if (local_name(e->Value()) == local) return e;
    return nullptr;
}

const TiXmlElement* next_sibling(const TiXmlElement* element) {
    if (element == nullptr) return nullptr;
    std::string_view local = local_name(element->Value());
    for (const TiXmlElement* e = element->NextSiblingElement(); e != nullptr; e = e->NextSiblingElement())
        if (local_name(e->Value()) == local) return e;
    return nullptr;
}

const TiXmlElement* path(const TiXmlElement* parent, std::initializer_list<std::string_view> locals) {
    const TiXmlElement* at = parent;
    for (std::string_view local : locals) at = child(at, local);
    return at;
}

const TiXmlElement* descendant(const TiXmlElement* parent, std::string_view local) {
    if (parent == nullptr) return nullptr;
    for (const TiXmlElement* e = parent->FirstChildElement(); e != nullptr; e = e->NextSiblingElement()) {
        if (local_name(e->Value()) == local) return e;
        // Depth is bounded by parse_envelope, so the recursion is too.
        if (const TiXmlElement* found = descendant(e, local)) return found;
    }
    return nullptr;
}

std::string text(const TiXmlElement* element) {
    if (element == nullptr || element->GetText() == nullptr) return {};
    return std::string(trim(element->GetText()));
}

std::string path_text(const TiXmlElement* parent, std::initializer_list<std::string_view> locals) {
    return text(path(parent, locals));
}

std::string attribute(const TiXmlElement* element, std::string_view local) {
    if (element == nullptr) return {};
    for (const TiXmlAttribute* a = element->FirstAttribute(); a != nullptr; a = a->Next())
        if (local_name(a->Name()) == local) return std::string(trim(a->Value()));
    return {};
}

int scan_depth(std::string_view bytes) {
    int depth = 0;
    int deepest = 0;
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t lt = bytes.find('<', i);
        if (lt == std::string_view::npos) break;
        std::string_view rest = bytes.substr(lt);
        if (rest.starts_with("<!--")) {
            i = skip_past(bytes, lt + 4, "-->");
        } else if (rest.starts_with("<![CDATA[")) {
            i = skip_past(bytes, lt + 9, "]]>");
        } else if (rest.starts_with("<!")) {
            return -1;  // DOCTYPE and its entities: never wanted in SOAP
        } else if (rest.starts_with("<?") || !opens_element(rest)) {
            // TinyXML ends a processing instruction, and any '<' that does
            // not open an element, at the first '>' (quotes or not); ending
            // it there too can only count more depth than it will see.
            i = skip_past(bytes, lt + 1, ">");
        } else {
            bool self_closing = false;
            i = skip_tag(bytes, lt, &self_closing);
            if (rest.starts_with("</")) {
                depth = std::max(0, depth - 1);
            } else if (!self_closing) {
                deepest = std::max(deepest, ++depth);
            } else {
                deepest = std::max(deepest, depth + 1);
            }
        }
        if (i == std::string_view::npos) break;
    }
    return deepest;
}

bool parse_envelope(std::string_view bytes, Envelope* out, std::string* error) {
    auto fail = [error](const char* why) {
        if (error != nullptr) *error = why;
        return false;
    };
    *out = Envelope{};
    if (bytes.size() > kMaxEnvelopeBytes) return fail("answer too large");
    int depth = scan_depth(bytes);
    if (depth < 0) return fail("answer has a DOCTYPE");
    if (depth > kMaxXmlDepth) return fail("answer nested too deep");
    // TinyXML wants a NUL-terminated text; a NUL inside ends it early, which
    // can only make the document fail to parse. It also compares a few bytes
    // past an '&' (entity names) or a UTF-8 lead byte without looking for the
    // end, so the copy carries zeros enough for the longest entity behind it.
    std::string copy(bytes);
    copy.append(8, '\0');
    out->document = std::make_unique<TiXmlDocument>();
    out->document->Parse(copy.c_str(), nullptr, TIXML_ENCODING_UTF8);
    if (out->document->Error()) return fail("answer is not well-formed XML");
    const TiXmlElement* root = out->document->RootElement();
    if (root == nullptr || local_name(root->Value()) != "Envelope") return fail("answer is not a SOAP envelope");
    out->header = child(root, "Header");
    out->body = child(root, "Body");
    if (out->body == nullptr) return fail("envelope has no Body");
    out->body_element = out->body->FirstChildElement();
    out->is_fault = out->body_element != nullptr && local_name(out->body_element->Value()) == "Fault";
    if (out->is_fault) read_fault(out);
    return true;
}

std::string escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string xml_element(std::string_view qualified, std::string_view value) {
    return xml_wrap(qualified, escape(value));
}

std::string xml_wrap(std::string_view qualified, std::string_view inner) {
    std::string out = "<";
    out.append(qualified).append(">").append(inner).append("</").append(qualified).append(">");
    return out;
}

std::string build_envelope(std::string_view header_xml, std::string_view body_xml) {
    std::string out;
    out.reserve(1024 + header_xml.size() + body_xml.size());
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<s:Envelope";
    const std::pair<const char*, const char*> prefixes[] = {
        {"s", kNsSoap},         {"tds", kNsDevice},   {"trt", kNsMedia},   {"tr2", kNsMedia2}, {"tptz", kNsPtz},
        {"timg", kNsImaging},   {"tt", kNsSchema},    {"ter", kNsError},   {"wsse", kNsWsse},
        {"wsu", kNsWsu},        {"wsa", kNsAddressing}, {"d", kNsDiscovery}, {"dn", kNsNetworkVideo},
    };
    for (const auto& [prefix, uri] : prefixes) {
        out += " xmlns:";
        out += prefix;
        out += "=\"";
        out += uri;
        out += '"';
    }
    out += '>';
    if (!header_xml.empty()) {
        out += "<s:Header>";
        out += header_xml;
        out += "</s:Header>";
    }
    out += "<s:Body>";
    out += body_xml;
    out += "</s:Body></s:Envelope>\n";
    return out;
}

std::string build_fault(std::string_view code, std::string_view subcode, std::string_view reason) {
    std::string body = "<s:Fault><s:Code><s:Value>s:" + escape(code) + "</s:Value>";
    // Each further subcode nests inside the one before it.
    int depth = 0;
    for (std::size_t at = 0; at < subcode.size();) {
        std::size_t end = std::min(subcode.find(' ', at), subcode.size());
        if (end > at) {
            body += "<s:Subcode><s:Value>" + escape(subcode.substr(at, end - at)) + "</s:Value>";
            ++depth;
        }
        at = end + 1;
    }
    for (; depth > 0; --depth) body += "</s:Subcode>";
    body += "</s:Code><s:Reason><s:Text xml:lang=\"en\">" + escape(reason) + "</s:Text></s:Reason></s:Fault>";
    return build_envelope({}, body);
}

}  // namespace onvif
