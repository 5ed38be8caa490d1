#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace onvif {

// Reads an xs:duration ("PT5S", "P0DT0H1M", "PT0.5S", "-PT1S") as
// milliseconds. Years count 365 days and months 30: ONVIF devices give
// waits in seconds or minutes, and a calendar-exact reading would need a
// start date the value does not have. Fractions past the millisecond are
// dropped. Nothing for text that is not a duration or would overflow.
std::optional<std::int64_t> parse_xs_duration(std::string_view text);

}  // namespace onvif
