#include <gtest/gtest.h>

#include "batch/net_prefix.h"
#include "onvif/posix_time_zone.h"
#include "onvif/xaddr.h"

namespace {

TEST(OnvifTexts, PosixZonesCountHoursWest) {
    EXPECT_EQ(onvif::posix_tz_for_offset(8 * 3600), "UTC-8");
    EXPECT_EQ(onvif::posix_tz_for_offset(-5 * 3600), "UTC5");
    EXPECT_EQ(onvif::posix_tz_for_offset(0), "UTC0");
    EXPECT_EQ(onvif::posix_tz_for_offset(5 * 3600 + 1800), "UTC-5:30");
    EXPECT_EQ(onvif::posix_tz_for_offset(-12 * 3600), "UTC12");
}

TEST(OnvifTexts, ServiceAddressesAreReadStrictly) {
    auto parts = onvif::parse_xaddr("http://10.0.0.5:8080/onvif/device_service");
    ASSERT_TRUE(parts);
    EXPECT_EQ(parts->host, "10.0.0.5");
    EXPECT_EQ(parts->port, 8080);
    EXPECT_EQ(parts->path, "/onvif/device_service");
    EXPECT_EQ(onvif::parse_xaddr("HTTP://cam")->port, 80);
    EXPECT_EQ(onvif::parse_xaddr("https://cam")->port, 443);
    EXPECT_EQ(onvif::parse_xaddr("http://[fe80::1]:81/x")->host, "fe80::1");
    for (const char* bad : {"", "10.0.0.5/onvif", "ftp://cam/", "http:///path", "http://cam:0/", "http://cam:70000/",
                            "http://cam:8a/", "http://user:pw@cam/", "http://cam:/", "http://[fe80::1/"})
        EXPECT_FALSE(onvif::parse_xaddr(bad)) << bad;
    EXPECT_EQ(onvif::xaddr_with_host("http://10.0.0.5:8080/onvif/device_service", "10.0.1.9"),
              "http://10.0.1.9:8080/onvif/device_service");
    EXPECT_EQ(onvif::xaddr_with_host("http://10.0.0.5/onvif", "10.0.1.9"), "http://10.0.1.9/onvif");
    EXPECT_EQ(onvif::xaddr_with_host("garbage", "10.0.1.9"), "");
}

TEST(OnvifTexts, MasksGivePrefixLengthsAndHolesAreRefused) {
    EXPECT_EQ(prefix_length_of("255.255.255.0"), 24);
    EXPECT_EQ(prefix_length_of("255.255.0.0"), 16);
    EXPECT_EQ(prefix_length_of("255.255.255.255"), 32);
    EXPECT_EQ(prefix_length_of("0.0.0.0"), 0);
    EXPECT_EQ(prefix_length_of("255.0.255.0"), -1);
    EXPECT_EQ(prefix_length_of("255.255.255"), -1);
    EXPECT_EQ(prefix_length_of("mask"), -1);
}

}  // namespace
