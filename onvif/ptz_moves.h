#pragma once

#include <optional>

#include "onvif/camera_control.h"

// Which requests make the bench's pan/tilt and zoom buttons on a given PTZ
// node, from the coordinate spaces the node lists (ONVIF's PTZ service).
namespace onvif {

enum class PanTiltDirection { up, down, left, right };

// A ContinuousMove at half the node's top speed in the direction, in the
// generic velocity space when the node lists it (else its first pan/tilt
// velocity space); nothing when the node moves no pan/tilt continuously.
std::optional<PtzVelocity> pan_tilt_velocity(const PtzNode& node, PanTiltDirection direction);

// The zoom move to `magnification` (1: the wide end, which is also the
// reset). Absolute positions win over relative translations, and of them
// the spaces that say what a magnification is:
//  1. NormalizedDigitalPosition: the position is the zoom factor itself;
//  2. PositionSpaceMillimeter: the factor is the focal length over the
//     shortest one, so the position is that many times the range's Min;
//  3. any other absolute space (the generic 0 wide .. 1 tele): its Min for
//     1x and its Max (the tele end) above 1x, since the space says nothing
//     of magnification;
//  4. a relative translation space: its Min (all the way to wide) for 1x,
//     its Max above it.
// Positions are kept within the space's range. Nothing when the node has no
// zoom space at all.
std::optional<ZoomMove> zoom_move(const PtzNode& node, double magnification);

// True when the node can do what the bench's zoom buttons ask.
inline bool offers_zoom(const PtzNode& node) { return zoom_move(node, 1).has_value(); }
inline bool offers_pan_tilt(const PtzNode& node) { return !node.continuous_pan_tilt.empty(); }

inline constexpr const char* kGenericPanTiltVelocity =
    "http://www.onvif.org/ver10/tptz/PanTiltSpaces/VelocityGenericSpace";
inline constexpr const char* kGenericZoomPosition =
    "http://www.onvif.org/ver10/tptz/ZoomSpaces/PositionGenericSpace";
inline constexpr const char* kMillimeterZoomPosition =
    "http://www.onvif.org/ver10/tptz/ZoomSpaces/PositionSpaceMillimeter";
inline constexpr const char* kDigitalZoomPosition =
    "http://www.onvif.org/ver10/tptz/ZoomSpaces/NormalizedDigitalPosition";
inline constexpr const char* kGenericZoomTranslation =
    "http://www.onvif.org/ver10/tptz/ZoomSpaces/TranslationGenericSpace";

}  // namespace onvif
