#include "search/found_camera.h"

const char* protocol_name(CameraProtocol protocol) { return protocol == CameraProtocol::onvif ? "onvif" : "native"; }

const char* identity_name(CameraIdentity identity) {
    switch (identity) {
        case CameraIdentity::native: return "native";
        case CameraIdentity::known: return "known";
        case CameraIdentity::not_asked: return "not_asked";
        case CameraIdentity::refused: return "refused";
        case CameraIdentity::failed: return "failed";
        case CameraIdentity::timed_out: return "timed_out";
    }
    return "failed";
}
