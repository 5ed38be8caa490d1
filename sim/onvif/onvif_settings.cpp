#include "sim/onvif/onvif_settings.h"

#include <fstream>
#include <nlohmann/json.hpp>

#include "sim/fault_items.h"

namespace {

bool parse_login_mode(const std::string& text, LoginMode* out) {
    for (LoginMode mode : {LoginMode::token, LoginMode::digest, LoginMode::both}) {
        if (text == login_mode_name(mode)) {
            *out = mode;
            return true;
        }
    }
    return false;
}

bool parse_number(const std::string& text, std::int64_t* out) {
    try {
        std::size_t used = 0;
        long long value = std::stoll(text, &used, 10);
        if (used != text.size()) return false;
        *out = value;
        return true;
    } catch (...) {
        return false;
    }
}

bool parse_malformed(const std::string& value, OnvifFaults& faults) {
    std::size_t colon = value.find(':');
    std::string kind = value.substr(0, colon);
    faults.malformed_operation = colon == std::string::npos ? "" : value.substr(colon + 1);
    if (kind == "garbage") faults.malformed = MalformedAnswer::garbage;
    else if (kind == "truncated") faults.malformed = MalformedAnswer::truncated;
    else if (kind == "redirect") faults.malformed = MalformedAnswer::redirect;
    else return false;
    return true;
}

// `yes` or `no` into *out.
bool parse_choice(const std::string& value, const char* yes, const char* no, bool* out) {
    if (value != yes && value != no) return false;
    *out = value == yes;
    return true;
}

bool parse_refusal(const std::string& value, OnvifFaults& faults) {
    if (value == "start") faults.refuse_start = true;
    else if (value == "post") faults.refuse_post = true;
    else return false;
    return true;
}

bool parse_zoom(const std::string& value, ZoomSpaces* out) {
    const std::pair<const char*, ZoomSpaces> kinds[] = {
        {"absolute", ZoomSpaces::absolute}, {"relative", ZoomSpaces::relative}, {"none", ZoomSpaces::none}};
    for (const auto& [name, kind] : kinds)
        if (value == name) {
            *out = kind;
            return true;
        }
    return false;
}

// "1920x1080": what the stream's server takes (width a multiple of 8, height even).
bool parse_video_size(const std::string& value, OnvifMediaSettings& m) {
    std::size_t x = value.find('x');
    std::int64_t width = 0, height = 0;
    if (x == std::string::npos || !parse_number(value.substr(0, x), &width) ||
        !parse_number(value.substr(x + 1), &height))
        return false;
    if (width < 128 || width > 4096 || width % 8 != 0 || height < 64 || height > 4096 || height % 2 != 0) return false;
    m.width = static_cast<int>(width);
    m.height = static_cast<int>(height);
    return true;
}

// The services and stream items; false when `key` is not one of them.
bool apply_media_item(const std::string& key, const std::string& value, OnvifMediaSettings& m, bool* ok) {
    if (key == "no_media2" && value.empty()) m.media2 = false;
    else if (key == "no_ptz" && value.empty()) m.ptz = false;
    else if (key == "no_imaging" && value.empty()) m.imaging = false;
    else if (key == "zoom") *ok = parse_zoom(value, &m.zoom);
    else if (key == "codec") *ok = parse_choice(value, "h265", "h264", &m.h265);
    else if (key == "video") *ok = parse_video_size(value, m);
    else if (key == "rtsp_fault") *ok = parse_rtsp_fault(value, &m.rtsp_fault);
    else return false;
    return true;
}

// One key=value item; "" or an error text.
std::string apply_item(const std::string& key, const std::string& value, OnvifCameraSettings& s) {
    OnvifFaults& f = s.faults;
    bool ok = true;
    if (key == "login") ok = parse_login_mode(value, &s.login);
    else if (key == "digest_only" && value.empty()) s.login = LoginMode::digest;
    else if (key == "manufacturer") s.manufacturer = value;
    else if (key == "model") s.model = value;
    else if (key == "name") s.name = value;
    else if (key == "location") s.location = value;
    else if (key == "token_window") ok = parse_number(value, &s.token_window_s) && s.token_window_s > 0;
    else if (key == "reused_nonces") ok = parse_choice(value, "allow", "refuse", &s.allow_reused_nonces);
    else if (key == "refuse_upload") ok = parse_refusal(value, f);
    else if (key == "never_come_back" && value.empty()) f.never_come_back = true;
    else if (key == "clock_offset") ok = parse_number(value, &f.clock_offset_s);
    else if (key == "slow_ms") ok = parse_number(value, &f.slow_ms) && f.slow_ms >= 0;
    else if (key == "malformed") ok = parse_malformed(value, f);
    else if (key == "password") ok = !(f.password = value).empty();
    else if (!apply_media_item(key, value, s.media, &ok)) return "unknown ONVIF setting '" + key + "'";
    return ok ? "" : "ONVIF setting '" + key + "=" + value + "' has a bad value";
}

std::string device_entry_items(const nlohmann::json& entry) {
    std::string items;
    for (const char* key : {"login", "manufacturer", "model", "name", "location"})
        if (entry.contains(key)) items += std::string(key) + "=" + entry.at(key).get<std::string>() + ",";
    if (entry.contains("onvif_faults")) items += entry.at("onvif_faults").get<std::string>();
    return items;
}

}  // namespace

const char* login_mode_name(LoginMode mode) {
    switch (mode) {
    case LoginMode::digest: return "digest";
    case LoginMode::both: return "both";
    default: return "token";
    }
}

std::string apply_onvif_settings(const std::string& text, OnvifCameraSettings& settings) {
    return for_each_item(text, [&settings](const std::string& key, const std::string& value) {
        return apply_item(key, value, settings);
    });
}

OnvifCameraSettings OnvifSideOptions::settings_for(const std::string& mac) const {
    OnvifCameraSettings settings = defaults;
    for (const std::string& key : {std::string("*"), mac}) {
        auto it = settings_texts.find(key);
        if (it == settings_texts.end()) continue;
        // Checked when they were read, so they apply cleanly here.
        for (const std::string& text : it->second) apply_onvif_settings(text, settings);
    }
    return settings;
}

void add_onvif_options(CLI::App& app, OnvifSideOptions& o) {
    app.add_option("--wsd-port", o.wsd_port, "WS-Discovery port of the ONVIF cameras");
    app.add_option("--wsd-max-delay-ms", o.wsd_max_delay_ms,
                   "longest random wait before answering a multicast Probe (0: at once)")
        ->check(CLI::Range(0, 60000));
    app.add_option_function<std::string>(
           "--onvif-login",
           [&o](const std::string& mode) {
               if (!apply_onvif_settings("login=" + mode, o.defaults).empty())
                   throw CLI::ValidationError("--onvif-login", "must be token, digest or both");
           },
           "login the ONVIF cameras take: token (WS-UsernameToken digest), digest (HTTP digest only) or both")
        ->type_name("MODE");
    app.add_option("--onvif-model", o.defaults.model, "model the ONVIF cameras report");
    app.add_option("--rtsp-port", o.rtsp_port, "RTSP port of the ONVIF cameras' streams, on each camera's address");
    app.add_flag_callback("--no-rtsp", [&o] { o.rtsp = false; }, "serve no RTSP stream for the ONVIF cameras");
    app.add_option_function<std::vector<std::string>>(
           "--onvif-fault",
           [&o](const std::vector<std::string>& texts) {
               for (const std::string& text : texts) {
                   std::string mac, items;
                   if (!split_camera_items(text, &mac, &items))
                       throw CLI::ValidationError("--onvif-fault", "needs MAC@key=value,...");
                   OnvifCameraSettings check;
                   std::string error = apply_onvif_settings(items, check);
                   if (!error.empty()) throw CLI::ValidationError("--onvif-fault", error);
                   o.settings_texts[mac].push_back(items);
               }
           },
           "ONVIF camera settings and faults MAC@key=value,... (MAC * = every ONVIF camera); keys: login, "
           "digest_only, model, name, location, manufacturer, token_window, reused_nonces=refuse|allow, "
           "refuse_upload=start|post, "
           "never_come_back, clock_offset, slow_ms, malformed=garbage|truncated|redirect[:Operation], password, "
           "no_media2, no_ptz, zoom=absolute|relative|none, no_imaging, codec=h264|h265, video=WxH, "
           "rtsp_fault=none|stall=MS|end=MS|garbage=MS")
        ->type_name("MAC@ITEMS");
}

std::string load_onvif_config(const std::string& path, const CLI::App& app, OnvifSideOptions& o) {
    std::ifstream in(path);
    if (!in) return "cannot open " + path;
    // The file's items go before the command line's, which then win.
    std::map<std::string, std::vector<std::string>> from_file;
    try {
        nlohmann::json j = nlohmann::json::parse(in);
        if (j.contains("wsd_port") && app.count("--wsd-port") == 0) o.wsd_port = j.at("wsd_port").get<std::uint16_t>();
        if (j.contains("wsd_max_delay_ms") && app.count("--wsd-max-delay-ms") == 0)
            o.wsd_max_delay_ms = j.at("wsd_max_delay_ms").get<std::int64_t>();
        if (j.contains("onvif_login") && app.count("--onvif-login") == 0 &&
            !apply_onvif_settings("login=" + j.at("onvif_login").get<std::string>(), o.defaults).empty())
            return path + ": \"onvif_login\" must be token, digest or both";
        if (j.contains("onvif_model") && app.count("--onvif-model") == 0)
            o.defaults.model = j.at("onvif_model").get<std::string>();
        if (j.contains("onvif_faults"))
            for (const auto& [mac, text] : j.at("onvif_faults").items()) from_file[mac].push_back(text.get<std::string>());
        if (j.contains("devices"))
            for (const nlohmann::json& entry : j.at("devices"))
                if (entry.contains("mac")) from_file[entry.at("mac").get<std::string>()].push_back(device_entry_items(entry));
    } catch (const nlohmann::json::exception& e) {
        return path + ": " + e.what();
    }
    for (auto& [mac, texts] : from_file) {
        for (const std::string& text : texts) {
            OnvifCameraSettings check;
            if (std::string error = apply_onvif_settings(text, check); !error.empty()) return path + ": " + mac + ": " + error;
        }
        std::vector<std::string>& all = o.settings_texts[mac];
        all.insert(all.begin(), texts.begin(), texts.end());
    }
    return "";
}
