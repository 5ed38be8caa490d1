#pragma once

#include <string>
#include <string_view>

#include "onvif/device_replies.h"

namespace onvif {

// An answer judged as the session judges it, the envelope kept for a reader.
struct Read {
    Envelope envelope;
    Result result;
};

inline Read answer(const std::string& body, std::string_view operation, long status = 200) {
    Read out;
    out.result = read_answer({status, body, false}, operation, &out.envelope);
    return out;
}

}  // namespace onvif
