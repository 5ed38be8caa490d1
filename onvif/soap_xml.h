#pragma once

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TiXmlDocument;
class TiXmlElement;

// SOAP 1.2 envelopes as ONVIF devices send them, read with TinyXML. Cameras
// use every namespace prefix there is (SOAP-ENV, env, s, soap, none), so
// elements are matched by their local name only, never by prefix.
namespace onvif {

// Bounds on what is parsed at all: a larger or deeper document is refused
// before TinyXML (which recurses per level) ever sees it.
constexpr std::size_t kMaxEnvelopeBytes = 512 * 1024;
constexpr int kMaxXmlDepth = 40;

// "SOAP-ENV:Body" -> "Body"; a name without a prefix is itself.
std::string_view local_name(const char* qualified);

// The first child element of `parent` named `local` (any prefix), or null.
const TiXmlElement* child(const TiXmlElement* parent, std::string_view local);
// The next sibling of `element` with the same local name, or null.
const TiXmlElement* next_sibling(const TiXmlElement* element);
// Follows a path of local names from `parent`: child(child(parent, a), b)...
const TiXmlElement* path(const TiXmlElement* parent, std::initializer_list<std::string_view> locals);
// The first element named `local` anywhere below `parent` (depth first), or null.
const TiXmlElement* descendant(const TiXmlElement* parent, std::string_view local);

// The element's text, trimmed of XML white space; "" for null or no text.
std::string text(const TiXmlElement* element);
// text(path(parent, locals)).
std::string path_text(const TiXmlElement* parent, std::initializer_list<std::string_view> locals);
// An attribute by local name (any prefix), "" when absent.
std::string attribute(const TiXmlElement* element, std::string_view local);

// A parsed envelope. `body_element` is the first element inside Body: the
// response (or request) proper, or the Fault.
struct Envelope {
    std::unique_ptr<TiXmlDocument> document;
    const TiXmlElement* header = nullptr;  // may be null: Header is optional
    const TiXmlElement* body = nullptr;
    const TiXmlElement* body_element = nullptr;
    bool is_fault = false;
    // For a fault: the Code/Value, every Subcode/Value from the outermost
    // in, the deepest of them alone (local names, "ter:NotAuthorized" ->
    // "NotAuthorized") and the first Reason/Text.
    std::string fault_code;
    std::vector<std::string> fault_subcodes;
    std::string fault_subcode;
    std::string fault_reason;

    Envelope();
    ~Envelope();
    Envelope(Envelope&&) noexcept;
    Envelope& operator=(Envelope&&) noexcept;
};

// Parses `bytes` as an envelope. False, with a one-line reason in *error,
// for anything that is not one: too large, too deep, a DOCTYPE, not XML, a
// root that is not Envelope, no Body.
bool parse_envelope(std::string_view bytes, Envelope* out, std::string* error);

// The maximum element depth of `bytes` as a quick scan counts it (tags,
// comments, CDATA, processing instructions and quoted attribute values
// told apart); never lower than the real depth. -1 for a DOCTYPE.
int scan_depth(std::string_view bytes);

// Escapes & < > " ' for text and attribute values.
std::string escape(std::string_view text);

// <qualified>escaped value</qualified>
std::string xml_element(std::string_view qualified, std::string_view value);
// <qualified>inner, already XML</qualified>
std::string xml_wrap(std::string_view qualified, std::string_view inner);

// The namespaces every envelope of ours declares on its root, under the
// prefixes the operations' bodies use.
inline constexpr const char* kNsSoap = "http://www.w3.org/2003/05/soap-envelope";
inline constexpr const char* kNsDevice = "http://www.onvif.org/ver10/device/wsdl";      // tds
inline constexpr const char* kNsMedia = "http://www.onvif.org/ver10/media/wsdl";        // trt
inline constexpr const char* kNsMedia2 = "http://www.onvif.org/ver20/media/wsdl";       // tr2
inline constexpr const char* kNsPtz = "http://www.onvif.org/ver20/ptz/wsdl";            // tptz
inline constexpr const char* kNsImaging = "http://www.onvif.org/ver20/imaging/wsdl";    // timg
inline constexpr const char* kNsSchema = "http://www.onvif.org/ver10/schema";           // tt
inline constexpr const char* kNsError = "http://www.onvif.org/ver10/error";             // ter
inline constexpr const char* kNsWsse =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
inline constexpr const char* kNsWsu =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
inline constexpr const char* kNsAddressing = "http://schemas.xmlsoap.org/ws/2004/08/addressing";  // wsa
inline constexpr const char* kNsDiscovery = "http://schemas.xmlsoap.org/ws/2005/04/discovery";    // d
inline constexpr const char* kNsNetworkVideo = "http://www.onvif.org/ver10/network/wsdl";         // dn

// An envelope of ours: `header_xml` (may be empty) inside s:Header and
// `body_xml` inside s:Body, both already-escaped XML using the prefixes
// s, tds, trt, tr2, tptz, timg, tt, ter, wsse, wsu, wsa, d, dn.
std::string build_envelope(std::string_view header_xml, std::string_view body_xml);

// A SOAP 1.2 fault: code "Sender" or "Receiver", a subcode with its prefix
// ("ter:NotAuthorized"; several, outermost first and space-separated, nest:
// "ter:InvalidArgVal ter:InvalidTimeZone"), a reason text.
std::string build_fault(std::string_view code, std::string_view subcode, std::string_view reason);

}  // namespace onvif
