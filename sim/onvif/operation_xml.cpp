#include "sim/onvif/operation_xml.h"

#include <charconv>
#include <cmath>

bool sim_soap::read_bool(const TiXmlElement* element, bool* out) {
    std::string value = onvif::text(element);
    if (value == "true" || value == "1")
        *out = true;
    else if (value == "false" || value == "0")
        *out = false;
    else
        return false;
    return true;
}

bool sim_soap::read_number(const std::string& text, double* out) {
    double value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return false;
    *out = value;
    return true;
}
