#pragma once

// What each ONVIF camera of the simulator is told to be, and the faults it is
// told to show, per camera, from the command line and the configuration file.
// Every setting and fault is one key=value item of the same small language, so
// the command line (--onvif-fault MAC@items), the file's "onvif_faults" map and
// a device entry's own keys all say the same things the same way.

#include <CLI/CLI.hpp>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "sim/rtsp/rtsp_fault.h"

enum class LoginMode { token, digest, both };
const char* login_mode_name(LoginMode mode);

// A broken answer instead of the real one.
enum class MalformedAnswer { none, garbage, truncated, redirect };

struct OnvifFaults {
    bool refuse_start = false;        // StartFirmwareUpgrade answers a fault
    bool refuse_post = false;         // the firmware POST answers 500
    bool never_come_back = false;     // stays offline after the flash
    std::int64_t clock_offset_s = 0;  // the camera's clock runs this far ahead of the host's
    std::int64_t slow_ms = 0;         // every answer waits this long first (runtime time)
    MalformedAnswer malformed = MalformedAnswer::none;
    std::string malformed_operation;  // only this operation's answers break ("" : every answer)
    std::string password;             // every account takes this password instead ("" : off)
};

// What the camera's PTZ node offers for zoom.
enum class ZoomSpaces { absolute, relative, none };

// The camera's services beyond the device service, and its stream.
struct OnvifMediaSettings {
    bool media2 = true;   // the media service 2.0 besides 1.0
    bool ptz = true;      // a PTZ service and node
    ZoomSpaces zoom = ZoomSpaces::absolute;
    bool imaging = true;  // an imaging service (the IR-cut filter)
    bool h265 = false;    // the stream is H.265 rather than H.264
    int width = 640;
    int height = 360;
    RtspFault rtsp_fault;  // what the stream does to each client after a while
};

struct OnvifCameraSettings {
    LoginMode login = LoginMode::token;
    std::string manufacturer = "Tervane Sim";
    std::string model = "SIMCAM-O1";
    std::string name;  // "" : made from the MAC
    std::string location = "bench";
    std::int64_t token_window_s = 300;  // how far a token's Created may be from the camera's clock
    bool allow_reused_nonces = false;   // a nonce may come again with a new Created
    OnvifMediaSettings media;
    OnvifFaults faults;
};

// Applies "key=value,key=value" to `settings`. Keys: login=token|digest|both,
// digest_only, manufacturer=, model=, name=, location=, token_window=S,
// reused_nonces=refuse|allow,
// refuse_upload=start|post, never_come_back, clock_offset=S, slow_ms=MS,
// malformed=garbage|truncated|redirect[:Operation], password=TEXT,
// no_media2, no_ptz, zoom=absolute|relative|none, no_imaging, codec=h264|h265,
// video=WxH, rtsp_fault=none|stall=MS|end=MS|garbage=MS.
// Returns "" or an error text.
std::string apply_onvif_settings(const std::string& text, OnvifCameraSettings& settings);

struct OnvifSideOptions {
    std::uint16_t wsd_port = 3702;  // 0: any free port (tests)
    // Answers to a multicast Probe wait up to this long, at random
    // (WS-Discovery's APP_MAX_DELAY); 0: at once.
    std::int64_t wsd_max_delay_ms = 500;
    OnvifCameraSettings defaults;
    // key=value texts by MAC ("*" = every ONVIF camera), applied in order:
    // defaults, then "*", then the camera's own; later items win.
    std::map<std::string, std::vector<std::string>> settings_texts;
    // Taken from the device side: the same accounts and reboot time as the
    // native cameras, so one login and one budget fit a mixed LAN.
    std::map<std::string, std::string> accounts{{"Admin", "tovik"}};
    std::int64_t down_ms = 30000;
    // The cameras' RTSP streams: on each camera's own address at this port
    // (0: a free one each, for tests); off, no stream is served.
    bool rtsp = true;
    std::uint16_t rtsp_port = 554;

    OnvifCameraSettings settings_for(const std::string& mac) const;
};

// Registers --wsd-port, --wsd-max-delay-ms, --onvif-login, --onvif-model, --onvif-fault,
// --rtsp-port and --no-rtsp.
void add_onvif_options(CLI::App& app, OnvifSideOptions& options);

// Reads the ONVIF keys of an ipcsim configuration file: "wsd_port", "wsd_max_delay_ms",
// "onvif_login", "onvif_model", "onvif_faults": {MAC: "items"}, and in each
// "devices" entry "login", "manufacturer", "model", "name", "location" and
// "onvif_faults". The command line (per `app`) wins. "" or an error text.
std::string load_onvif_config(const std::string& path, const CLI::App& app, OnvifSideOptions& options);
