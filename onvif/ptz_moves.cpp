#include "onvif/ptz_moves.h"

#include <algorithm>

namespace onvif {

namespace {

const PtzSpace* find_space(const std::vector<PtzSpace>& spaces, const char* uri) {
    auto it = std::find_if(spaces.begin(), spaces.end(), [uri](const PtzSpace& s) { return s.uri == uri; });
    return it == spaces.end() ? nullptr : &*it;
}

ZoomMove absolute(const PtzSpace& space, double x) {
    return {ZoomMove::Kind::absolute, std::clamp(x, space.min, space.max), space.uri};
}

// Min for 1x, Max beyond it: all a space without magnification can say.
ZoomMove end_of(const PtzSpace& space, ZoomMove::Kind kind, double magnification) {
    return {kind, magnification > 1 ? space.max : space.min, space.uri};
}

}  // namespace

std::optional<PtzVelocity> pan_tilt_velocity(const PtzNode& node, PanTiltDirection direction) {
    if (node.continuous_pan_tilt.empty()) return std::nullopt;
    const PtzSpace* space = find_space(node.continuous_pan_tilt, kGenericPanTiltVelocity);
    if (space == nullptr) space = &node.continuous_pan_tilt.front();
    // The X range stands for both axes: the generic space's are alike.
    const double speed = std::max(0.0, space->max) / 2;
    PtzVelocity velocity;
    velocity.pan_tilt_space = space->uri;
    velocity.pan = direction == PanTiltDirection::left    ? -speed
                   : direction == PanTiltDirection::right ? speed
                                                          : 0;
    velocity.tilt = direction == PanTiltDirection::down ? -speed
                    : direction == PanTiltDirection::up ? speed
                                                        : 0;
    return velocity;
}

std::optional<ZoomMove> zoom_move(const PtzNode& node, double magnification) {
    magnification = std::max(1.0, magnification);
    if (const PtzSpace* digital = find_space(node.absolute_zoom, kDigitalZoomPosition))
        return absolute(*digital, magnification);
    const PtzSpace* millimeter = find_space(node.absolute_zoom, kMillimeterZoomPosition);
    if (millimeter != nullptr && millimeter->min > 0)
        return absolute(*millimeter, millimeter->min * magnification);
    if (!node.absolute_zoom.empty()) {
        const PtzSpace* generic = find_space(node.absolute_zoom, kGenericZoomPosition);
        return end_of(generic ? *generic : node.absolute_zoom.front(), ZoomMove::Kind::absolute,
                      magnification);
    }
    if (!node.relative_zoom.empty()) {
        const PtzSpace* generic = find_space(node.relative_zoom, kGenericZoomTranslation);
        return end_of(generic ? *generic : node.relative_zoom.front(), ZoomMove::Kind::relative,
                      magnification);
    }
    return std::nullopt;
}

}  // namespace onvif
