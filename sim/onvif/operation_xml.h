#pragma once

// What every service's operations of a simulated ONVIF camera build their
// answers with: elements of the response, the answer, the SOAP faults, and
// the few readers of request values they share.

#include <string>
#include <string_view>

#include "onvif/soap_xml.h"
#include "sim/onvif/device_operations.h"

class TiXmlElement;

namespace sim_soap {

// <name>text</name>, the text escaped.
inline std::string el(std::string_view name, std::string_view value) {
    return onvif::xml_element(name, value);
}
inline std::string flag(std::string_view name, bool value) { return el(name, value ? "true" : "false"); }
inline std::string num(std::string_view name, long long value) { return el(name, std::to_string(value)); }
// <name>inner</name>, the inner XML as it is.
inline std::string wrap(std::string_view name, std::string_view inner) {
    return onvif::xml_wrap(name, inner);
}

inline OperationResult answer(std::string body) { return {std::move(body), {}, false}; }
inline OperationResult sender_fault(std::string subcodes, std::string reason) {
    return {"", {"Sender", std::move(subcodes), std::move(reason)}, false};
}
inline OperationResult receiver_fault(std::string subcodes, std::string reason) {
    return {"", {"Receiver", std::move(subcodes), std::move(reason)}, false};
}
inline OperationResult invalid_value(const std::string& subcode, std::string reason) {
    return sender_fault("ter:InvalidArgVal ter:" + subcode, std::move(reason));
}

// The entry of that name in a service's table, or null.
template <std::size_t N>
const OperationEntry* find_in(const OperationEntry (&table)[N], std::string_view name) {
    for (const OperationEntry& entry : table)
        if (name == entry.name) return &entry;
    return nullptr;
}

// xs:boolean into *out; false when the element holds none.
bool read_bool(const TiXmlElement* element, bool* out);
// A finite xs:float into *out; false for anything else.
bool read_number(const std::string& text, double* out);

}  // namespace sim_soap
