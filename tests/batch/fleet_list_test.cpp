#include "cli/fleet_list.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

ListedDevice camera(int number, const char* version = "1.0.0") {
    char mac[32], ip[32];
    std::snprintf(mac, sizeof mac, "00:11:22:00:%02x:%02x", number / 256, number % 256);
    std::snprintf(ip, sizeof ip, "10.77.%d.%d", number / 200, 1 + number % 200);
    return ListedDevice{mac, ip, 34567, version, 1, 5};
}

TEST(FleetList, ListsMoreDevicesThanOneJobTakesAndSplitsThemIntoWaves) {
    FleetList fleet;
    for (int number = 0; number < 250; ++number) fleet.add(camera(number));
    fleet.add(camera(7, "1.0.1"));  // heard again: updated, not listed twice
    ASSERT_EQ(fleet.size(), 250);
    EXPECT_EQ(fleet.devices()[7].software_ver, "1.0.1");

    const auto waves = split_into_waves(fleet.devices(), 100);
    ASSERT_EQ(waves.size(), 3u);
    EXPECT_EQ(waves[0].size(), 100u);
    EXPECT_EQ(waves[2].size(), 50u);
    EXPECT_EQ(waves[1].front().mac, fleet.devices()[100].mac);
    EXPECT_TRUE(split_into_waves({}, 100).empty());
    EXPECT_EQ(split_into_waves(fleet.devices(), 1).size(), 250u);
}

TEST(FleetList, OnlyTheRunningWavesDevicesReachItsTable) {
    FleetList fleet;
    for (int number = 0; number < 4; ++number) fleet.add(camera(number));
    const auto waves = split_into_waves(fleet.devices(), 2);
    {
        CDeviceTable table([](const std::string& key) { return key; });
        fleet.begin_wave(table, waves[1]);
        ASSERT_EQ(table.row_count(), 2);
        EXPECT_EQ(table.checked_count(), 2);
        EXPECT_EQ(table.row(0)->mac, waves[1][0].mac);
        // A flashed device of the wave comes back with its new version.
        ListedDevice back = waves[1][1];
        back.software_ver = "2.0.0";
        fleet.add(back);
        EXPECT_EQ(table.version_of(1), "2.0.0");
        fleet.add(camera(0, "9.9.9"));  // of another wave
        EXPECT_EQ(table.row_count(), 2);
        fleet.end_wave();
    }
    fleet.add(camera(2, "3.0.0"));  // after the wave's table is gone
    EXPECT_EQ(fleet.devices()[2].software_ver, "3.0.0");
}

}  // namespace
