#include "onvif/xs_duration.h"

#include <gtest/gtest.h>

namespace onvif {
namespace {

TEST(XsDuration, ReadsTheWaitsDevicesGive) {
    const std::pair<const char*, std::int64_t> cases[] = {
        {"PT5S", 5000},
        {"P0DT0H1M", 60000},
        {"PT0.5S", 500},
        {"PT1M30S", 90000},
        {"PT0S", 0},
        {"P1D", 86400000},
        {"PT2H", 7200000},
        {"P1DT1H1M1.001S", 90061001},
        {"PT0.0005S", 0},
        {"PT120S", 120000},
        {"-PT1S", -1000},
        {"P1M", 30LL * 86400000},   // months count 30 days
        {"P1Y", 365LL * 86400000},  // and years 365
        {"P1Y2M3DT4H5M6.7S", ((365 + 60 + 3) * 86400LL + 4 * 3600 + 5 * 60 + 6) * 1000 + 700},
    };
    for (const auto& [text, ms] : cases) EXPECT_EQ(parse_xs_duration(text), ms) << text;
}

TEST(XsDuration, RefusesWhatIsNotADuration) {
    for (const char* text : {"", "P", "PT", "5S", "T5S", "P5S", "PT5", "PT5s", "pt5s", "PT1.5M", "P1.5D", "PT.5S",
                             "PT5.S", "PT1S1M", "P1D1M", "PTT5S", "P1DT", "PT5S ", "+PT5S", "--PT5S", "PT-5S",
                             "P99999999999999999999D", "PT9999999999999999S"})
        EXPECT_FALSE(parse_xs_duration(text)) << text;
}

}  // namespace
}  // namespace onvif
