#include "sim/rtsp/rtsp_fault.h"

#include <cstdlib>

namespace {

struct FaultName {
    RtspFault::Kind kind;
    const char* name;
};
constexpr FaultName kFaultNames[] = {{RtspFault::Kind::stall, "stall"},
                                     {RtspFault::Kind::end, "end"},
                                     {RtspFault::Kind::garbage, "garbage"}};

}  // namespace

bool parse_rtsp_fault(const std::string& text, RtspFault* out) {
    if (text == "none") {
        *out = RtspFault{};
        return true;
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals + 1 == text.size()) return false;
    char* end = nullptr;
    const long long ms = std::strtoll(text.c_str() + equals + 1, &end, 10);
    if (*end != '\0' || ms < 0 || ms > 86400000) return false;
    for (const FaultName& entry : kFaultNames)
        if (text.compare(0, equals, entry.name) == 0) {
            *out = RtspFault{entry.kind, ms};
            return true;
        }
    return false;
}

std::string rtsp_fault_text(const RtspFault& fault) {
    for (const FaultName& entry : kFaultNames)
        if (entry.kind == fault.kind) return std::string(entry.name) + "=" + std::to_string(fault.after_ms);
    return "none";
}
