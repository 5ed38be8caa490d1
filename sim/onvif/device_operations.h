#pragma once

// The device service's operations, one function each: the request element
// in, the response element (XML under the prefixes of onvif::build_envelope)
// or a SOAP fault out. Later services (media, PTZ, imaging) add tables of
// their own beside this one.

#include <string>
#include <string_view>

#include "sim/onvif/onvif_camera.h"

class TiXmlElement;

struct SoapFault {
    std::string code;      // "Sender" or "Receiver"; "" : no fault
    std::string subcodes;  // "ter:InvalidArgVal ter:InvalidTimeZone", outermost first
    std::string reason;
};

struct OperationResult {
    std::string body;
    SoapFault fault;
    bool reboot_after = false;  // the camera reboots once the answer is out
};

using Operation = OperationResult (*)(OnvifCamera& camera, const TiXmlElement* request);

struct OperationEntry {
    const char* name;
    Operation run;
    bool pre_auth;  // answered without a login (ONVIF's PRE_AUTH access class)
};

// The operation of that local name, or null.
const OperationEntry* find_device_operation(std::string_view name);
