#pragma once

// Which protocol a camera is reached by: the native one (discovery reply and
// the client library) or ONVIF (WS-Discovery and the device service).
enum class DeviceProtocol { native, onvif };

const char* protocol_name(DeviceProtocol protocol);  // "native", "onvif"
