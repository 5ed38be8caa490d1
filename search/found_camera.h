#pragma once

#include <cstdint>
#include <string>

#include "discovery/dev_info.h"

// One camera of the combined search, whichever protocol found it: the
// native search (the device's own discovery reply) or WS-Discovery (an ONVIF
// camera, its identity read by logging in).

enum class DeviceProtocol { native, onvif };

// How far an ONVIF camera's identity got. Native cameras are `native`.
enum class IdentityState {
    native,     // not an ONVIF record
    known,      // logged in: MAC, firmware version, model read
    not_asked,  // no login was given to read it with
    refused,    // the login was refused
    failed,     // no answer, or an answer without what was asked
    timed_out,  // not settled within the camera's time budget
};

const char* protocol_name(DeviceProtocol protocol);   // "native", "onvif"
const char* identity_name(IdentityState identity);   // "native", "known", "not_asked", ...

struct FoundCamera {
    // The row: the same for the record's whole life, also when an ONVIF
    // record turns native or its key changes. New after a refresh.
    std::uint64_t id = 0;
    DeviceProtocol protocol = DeviceProtocol::native;
    // What the record is found by: the MAC ("AA:BB:CC:DD:EE:FF" where it is
    // one), or for an ONVIF camera whose identity is not known its endpoint.
    std::string key;
    std::string mac;
    std::string ip;
    std::uint16_t port = 0;  // native: the command port; ONVIF: the XAddr's port
    std::string software_ver;
    std::int32_t board_type = 0;
    std::int32_t device_type = 0;
    std::string subnet_mask;
    std::string gateway;
    DEV_INFO native{};  // native: the record as the native search lists it; zero for ONVIF

    // ONVIF only.
    std::string endpoint;  // "urn:uuid:..."
    std::string xaddr;     // the device service
    std::string manufacturer;
    std::string model;
    std::string serial_number;
    bool dhcp = false;
    IdentityState identity = IdentityState::native;
    std::string identity_error;  // why it is not known, one line
};

// A native device's record as a row (id 0, keyed by its MAC).
FoundCamera found_native(const DEV_INFO& record);
