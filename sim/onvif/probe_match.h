#pragma once

// The cameras' side of WS-Discovery (2005/04): a Probe read from a datagram,
// matched against each camera's types and scopes, and the ProbeMatches each
// matching camera sends back. No sockets here (wsd_responder.h has them).

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/onvif/onvif_camera.h"

// The IPv4 multicast group of WS-Discovery.
inline constexpr const char* kWsdGroup = "239.255.255.250";

struct Probe {
    std::string message_id;
    // Every type the probe names, as namespace URI + local name (the URI is
    // "" where the prefix is not declared); empty: any type.
    std::vector<std::pair<std::string, std::string>> types;
    std::vector<std::string> scopes;
    std::string match_by;  // "" : the default rule
};

// The Probe in `datagram`, or nothing for anything else (other messages,
// malformed XML, no MessageID to answer to).
std::optional<Probe> read_probe(std::string_view datagram);

// True when a camera of these scopes is what the probe looks for: it
// implements every type named (an ONVIF video transmitter and device) and has
// a scope matching each one named.
bool probe_matches(const Probe& probe, const std::vector<std::string>& scopes);

// The ProbeMatches envelope `camera` sends in answer to `probe`.
std::string probe_matches_message(const Probe& probe, OnvifCamera& camera);

struct ProbeReply {
    std::string from_ip;  // the camera's own address, which the answer is sent from
    std::string bytes;
};

// What the cameras answer to one datagram sent to `destination`: to the
// group every online camera that matches, to a camera's own address that
// camera alone (if it matches).
std::vector<ProbeReply> answer_probe(const std::vector<std::shared_ptr<OnvifCamera>>& cameras,
                                     std::string_view datagram, const std::string& destination);
