#pragma once

// The pan/tilt/zoom mechanics of a simulated ONVIF camera: where it points,
// how it moves, what it was asked. Positions are in the generic spaces
// (pan and tilt -1..1, zoom 0 wide .. 1 tele); a velocity of 1 moves a
// fifth of the range per second of runtime time. A continuous move ends by
// Stop or, when none comes, after its timeout, as the PTZ service asks of a
// node. Not thread-safe: the camera holds it under its lock.

#include <cstdint>
#include <deque>
#include <nlohmann/json.hpp>
#include <string>

class SimPtz {
public:
    // The optics the zoom stands for: focal length from 4 to 40 mm, so
    // magnification 1x to 10x across the generic range.
    static constexpr double kMinFocalMm = 4.0;
    static constexpr double kMaxFocalMm = 40.0;
    static constexpr std::int64_t kDefaultTimeoutMs = 10000;

    void continuous_move(double pan, double tilt, double zoom, std::int64_t timeout_ms, std::int64_t now_ms);
    void stop(bool pan_tilt, bool zoom, std::int64_t now_ms);
    // Zoom to a position of the generic space, or by a translation of it.
    void zoom_to(double generic, const std::string& request, std::int64_t now_ms);
    void zoom_by(double translation, const std::string& request, std::int64_t now_ms);

    // Millimetres and magnification of a generic zoom position, and back.
    static double focal_mm(double generic) { return kMinFocalMm + generic * (kMaxFocalMm - kMinFocalMm); }
    static double generic_of_mm(double mm) { return (mm - kMinFocalMm) / (kMaxFocalMm - kMinFocalMm); }

    bool moving(std::int64_t now_ms);
    // {"moving", "velocity", "position", "magnification", "moves", "stops",
    //  "zoom_moves", "requests": the newest 50, oldest first}
    nlohmann::json to_json(std::int64_t now_ms);

private:
    // Brings the position up to `now_ms` (ending a move whose time is up).
    void advance(std::int64_t now_ms);
    void note(nlohmann::json request);

    double m_pan = 0, m_tilt = 0, m_zoom = 0;
    double m_v_pan = 0, m_v_tilt = 0, m_v_zoom = 0;
    std::int64_t m_since_ms = 0;  // when the position was last brought up to date
    std::int64_t m_until_ms = 0;  // when the running move times out
    int m_moves = 0, m_stops = 0, m_zoom_moves = 0;
    std::deque<nlohmann::json> m_requests;
};
