#include "sim/onvif/sim_ptz.h"

#include <algorithm>

namespace {

constexpr double kRangePerSecond = 0.2;  // at velocity 1
constexpr std::size_t kKeptRequests = 50;

double rounded(double value) {
    return static_cast<double>(static_cast<long long>(value * 1000 + (value < 0 ? -0.5 : 0.5))) / 1000;
}

}  // namespace

void SimPtz::advance(std::int64_t now_ms) {
    std::int64_t end = std::min(now_ms, m_until_ms);
    if (end > m_since_ms) {
        const double seconds = static_cast<double>(end - m_since_ms) / 1000.0;
        m_pan = std::clamp(m_pan + m_v_pan * kRangePerSecond * seconds, -1.0, 1.0);
        m_tilt = std::clamp(m_tilt + m_v_tilt * kRangePerSecond * seconds, -1.0, 1.0);
        m_zoom = std::clamp(m_zoom + m_v_zoom * kRangePerSecond * seconds, 0.0, 1.0);
    }
    if (now_ms >= m_until_ms) m_v_pan = m_v_tilt = m_v_zoom = 0;
    m_since_ms = now_ms;
}

void SimPtz::note(nlohmann::json request) {
    if (m_requests.size() >= kKeptRequests) m_requests.pop_front();
    m_requests.push_back(std::move(request));
}

void SimPtz::continuous_move(double pan, double tilt, double zoom, std::int64_t timeout_ms,
                             std::int64_t now_ms) {
    advance(now_ms);
    m_v_pan = pan;
    m_v_tilt = tilt;
    m_v_zoom = zoom;
    m_until_ms = now_ms + timeout_ms;
    ++m_moves;
    note(
        {{"op", "ContinuousMove"}, {"pan", pan}, {"tilt", tilt}, {"zoom", zoom}, {"timeout_ms", timeout_ms}});
}

void SimPtz::stop(bool pan_tilt, bool zoom, std::int64_t now_ms) {
    advance(now_ms);
    if (pan_tilt) m_v_pan = m_v_tilt = 0;
    if (zoom) m_v_zoom = 0;
    ++m_stops;
    note({{"op", "Stop"}, {"pan_tilt", pan_tilt}, {"zoom", zoom}});
}

void SimPtz::zoom_to(double generic, const std::string& request, std::int64_t now_ms) {
    advance(now_ms);
    m_v_zoom = 0;
    m_zoom = std::clamp(generic, 0.0, 1.0);
    ++m_zoom_moves;
    note({{"op", request}, {"zoom", rounded(m_zoom)}});
}

void SimPtz::zoom_by(double translation, const std::string& request, std::int64_t now_ms) {
    zoom_to(m_zoom + translation, request, now_ms);
}

bool SimPtz::moving(std::int64_t now_ms) {
    advance(now_ms);
    return m_v_pan != 0 || m_v_tilt != 0 || m_v_zoom != 0;
}

nlohmann::json SimPtz::to_json(std::int64_t now_ms) {
    bool is_moving = moving(now_ms);
    return {
        {"moving", is_moving},
        {"velocity", {{"pan", m_v_pan}, {"tilt", m_v_tilt}, {"zoom", m_v_zoom}}},
        {"position", {{"pan", rounded(m_pan)}, {"tilt", rounded(m_tilt)}, {"zoom", rounded(m_zoom)}}},
        {"magnification", rounded(focal_mm(m_zoom) / kMinFocalMm)},
        {"moves", m_moves},
        {"stops", m_stops},
        {"zoom_moves", m_zoom_moves},
        {"requests", m_requests},
    };
}
