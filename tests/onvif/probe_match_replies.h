#pragma once

// ProbeMatches as cameras of several makes send them: each its own prefixes,
// layout and optional elements. `relates` is the MessageID of the Probe
// answered, `ip` the camera's address.
#include <string>

#include "onvif/soap_xml.h"

namespace replies {

// The MessageID of a Probe as sent ("" when it is none).
inline std::string probe_id(const std::string& probe) {
    onvif::Envelope envelope;
    std::string error;
    if (!onvif::parse_envelope(probe, &envelope, &error)) return {};
    return onvif::path_text(envelope.header, {"MessageID"});
}

// SOAP-ENV / wsdd prefixes, an AppSequence, an IPv6 XAddr beside the IPv4 one.
inline std::string soap_env(const std::string& relates, const std::string& ip,
                            const std::string& endpoint = "urn:uuid:2419d68a-2dd2-21b2-a205-ec0a5cb4e1d7") {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<SOAP-ENV:Envelope xmlns:SOAP-ENV="http://www.w3.org/2003/05/soap-envelope" xmlns:SOAP-ENC="http://www.w3.org/2003/05/soap-encoding" xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:wsdd="http://schemas.xmlsoap.org/ws/2005/04/discovery" xmlns:tdn="http://www.onvif.org/ver10/network/wsdl" xmlns:tds="http://www.onvif.org/ver10/device/wsdl">
<SOAP-ENV:Header>
<wsa:MessageID>uuid:6a0b7d1c-0b8e-4f66-9d2c-8a1f00000001</wsa:MessageID>
<wsa:RelatesTo>)" + relates + R"(</wsa:RelatesTo>
<wsa:To SOAP-ENV:mustUnderstand="true">http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</wsa:To>
<wsa:Action SOAP-ENV:mustUnderstand="true">http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</wsa:Action>
<wsdd:AppSequence InstanceId="1702" MessageNumber="12"></wsdd:AppSequence>
</SOAP-ENV:Header>
<SOAP-ENV:Body>
<wsdd:ProbeMatches>
<wsdd:ProbeMatch>
<wsa:EndpointReference><wsa:Address>)" + endpoint + R"(</wsa:Address></wsa:EndpointReference>
<wsdd:Types>tdn:NetworkVideoTransmitter tds:Device</wsdd:Types>
<wsdd:Scopes>onvif://www.onvif.org/type/video_encoder onvif://www.onvif.org/Profile/Streaming onvif://www.onvif.org/hardware/IPC-B12 onvif://www.onvif.org/name/IPC%20Camera onvif://www.onvif.org/location/country/china</wsdd:Scopes>
<wsdd:XAddrs>http://)" + ip + R"(/onvif/device_service http://[fe80::ee0a:5cff:feb4:e1d7]/onvif/device_service</wsdd:XAddrs>
<wsdd:MetadataVersion>10</wsdd:MetadataVersion>
</wsdd:ProbeMatch>
</wsdd:ProbeMatches>
</SOAP-ENV:Body>
</SOAP-ENV:Envelope>
)";
}

// env / d / a prefixes, lists broken over lines, no Scopes and no
// MetadataVersion, a first XAddr on another host, a port of its own.
inline std::string env_lines(const std::string& relates, const std::string& ip,
                             const std::string& endpoint = "urn:uuid:0ae5e5c0-3e0f-11b2-8000-001a3f8b7c21") {
    return R"(<?xml version="1.0" encoding="utf-8"?>
<env:Envelope xmlns:env="http://www.w3.org/2003/05/soap-envelope"
    xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing"
    xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery"
    xmlns:dn="http://www.onvif.org/ver10/network/wsdl">
  <env:Header>
    <a:MessageID>urn:uuid:9e7b9b40-0000-4000-8000-00000000abcd</a:MessageID>
    <a:RelatesTo>
      )" + relates + R"(
    </a:RelatesTo>
    <a:To>http://schemas.xmlsoap.org/ws/2004/08/addressing/role/anonymous</a:To>
    <a:Action>http://schemas.xmlsoap.org/ws/2005/04/discovery/ProbeMatches</a:Action>
  </env:Header>
  <env:Body>
    <d:ProbeMatches>
      <d:ProbeMatch>
        <a:EndpointReference>
          <a:Address>)" + endpoint + R"(</a:Address>
        </a:EndpointReference>
        <d:Types>dn:NetworkVideoTransmitter</d:Types>
        <d:XAddrs>
          http://10.0.0.99/onvif/device_service
          http://)" + ip + R"(:8080/onvif/device_service
        </d:XAddrs>
      </d:ProbeMatch>
    </d:ProbeMatches>
  </env:Body>
</env:Envelope>
)";
}

// No prefixes at all (default namespaces), no Types, an https XAddr before
// the http one, a MetadataVersion that is not a number.
inline std::string unprefixed(const std::string& relates, const std::string& ip,
                              const std::string& endpoint = "urn:uuid:c0ffee00-1234-4abc-8def-0123456789ab") {
    return R"(<Envelope xmlns="http://www.w3.org/2003/05/soap-envelope"><Header><MessageID xmlns="http://schemas.xmlsoap.org/ws/2004/08/addressing">urn:uuid:11111111-2222-4333-8444-555555555555</MessageID><RelatesTo xmlns="http://schemas.xmlsoap.org/ws/2004/08/addressing">)" +
           relates + R"(</RelatesTo></Header><Body><ProbeMatches xmlns="http://schemas.xmlsoap.org/ws/2005/04/discovery"><ProbeMatch><EndpointReference xmlns="http://schemas.xmlsoap.org/ws/2004/08/addressing"><Address>)" +
           endpoint + R"(</Address></EndpointReference><XAddrs>https://)" + ip + R"(/onvif/device_service http://)" +
           ip + R"(/onvif/device_service</XAddrs><MetadataVersion>one</MetadataVersion></ProbeMatch></ProbeMatches></Body></Envelope>)";
}

// s / wsd prefixes, two matches in one reply (a recorder and its encoder),
// the first without an EndpointReference.
inline std::string two_matches(const std::string& relates, const std::string& ip) {
    return R"(<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" xmlns:wsa="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:wsd="http://schemas.xmlsoap.org/ws/2005/04/discovery"><s:Header><wsa:RelatesTo>)" +
           relates + R"(</wsa:RelatesTo></s:Header><s:Body><wsd:ProbeMatches><wsd:ProbeMatch><wsd:Types>dn:NetworkVideoTransmitter</wsd:Types><wsd:XAddrs>http://)" +
           ip + R"(/onvif/device_service</wsd:XAddrs></wsd:ProbeMatch><wsd:ProbeMatch><wsa:EndpointReference><wsa:Address>urn:uuid:aaaaaaaa-bbbb-4ccc-8ddd-eeeeeeeeeeee</wsa:Address></wsa:EndpointReference><wsd:XAddrs>http://)" +
           ip + R"(:8000/onvif/device_service</wsd:XAddrs><wsd:MetadataVersion>3</wsd:MetadataVersion></wsd:ProbeMatch></wsd:ProbeMatches></s:Body></s:Envelope>)";
}

// A minimal match for the engine's tests: endpoint and XAddrs as given.
inline std::string minimal(const std::string& relates, const std::string& endpoint, const std::string& xaddrs,
                           unsigned metadata_version = 1) {
    return R"(<s:Envelope xmlns:s="http://www.w3.org/2003/05/soap-envelope" xmlns:a="http://schemas.xmlsoap.org/ws/2004/08/addressing" xmlns:d="http://schemas.xmlsoap.org/ws/2005/04/discovery"><s:Header><a:RelatesTo>)" +
           relates + R"(</a:RelatesTo></s:Header><s:Body><d:ProbeMatches><d:ProbeMatch><a:EndpointReference><a:Address>)" +
           endpoint + R"(</a:Address></a:EndpointReference><d:XAddrs>)" + xaddrs +
           R"(</d:XAddrs><d:MetadataVersion>)" + std::to_string(metadata_version) +
           R"(</d:MetadataVersion></d:ProbeMatch></d:ProbeMatches></s:Body></s:Envelope>)";
}

}  // namespace replies
