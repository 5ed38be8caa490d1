#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include "search/identity_pool.h"
#include "tests/discovery/fake_network.h"
#include "tests/search/fake_device.h"

namespace {

onvif::FoundEndpoint camera_at(int n) {
    std::string ip = "10.1.0." + std::to_string(n);
    return {"urn:uuid:cam-" + std::to_string(n), "http://" + ip + "/onvif/device_service", ip, 80, {}, 1};
}

class IdentityPoolTest : public testing::Test {
protected:
    void SetUp() override { rt_set_time_speed(100); }
    void TearDown() override { rt_set_time_speed(1); }

    std::unique_ptr<CIdentityPool> pool(int workers, std::int64_t budget_ms) {
        return std::make_unique<CIdentityPool>(
            [this](const std::string& xaddr) { return cameras.open(xaddr); },
            [this](const IdentityJob& job, const IdentityReading& reading) {
                std::lock_guard<std::mutex> guard(lock);
                readings[job.found.endpoint] = reading;
            },
            workers, budget_ms);
    }
    // `n` cameras that never answer (unless their calls are aborted), no
    // budget to speak of, the pool busy with `workers` of them.
    std::unique_ptr<CIdentityPool> hanging(int n, int workers) {
        FakeCamera never;
        never.call_ms = std::int64_t{1} << 50;
        for (int i = 1; i <= n; ++i) cameras.set(camera_at(i).xaddr, never);
        auto p = pool(workers, std::int64_t{1} << 50);
        for (int i = 1; i <= n; ++i) EXPECT_TRUE(p->submit({camera_at(i), 0}));
        EXPECT_TRUE(wait_for([&] { return cameras.count.open.load() == workers; }));
        return p;
    }
    std::size_t settled() {
        std::lock_guard<std::mutex> guard(lock);
        return readings.size();
    }
    IdentityReading reading_of(int n) {
        std::lock_guard<std::mutex> guard(lock);
        return readings.at(camera_at(n).endpoint);
    }

    FakeCameras cameras;
    std::mutex lock;
    std::map<std::string, IdentityReading> readings;
};

}  // namespace

TEST_F(IdentityPoolTest, ReadsMacFirmwareAndModelOfTheInterfaceTheCameraAnsweredOn) {
    FakeCamera camera;
    camera.mac = "02-0a-00-00-00-2a";
    camera.address = "10.1.0.1";
    cameras.set(camera_at(1).xaddr, camera);
    camera.address = "";  // answers on no interface of its list: the first enabled one counts
    camera.mac = "020a0000002b";
    cameras.set(camera_at(2).xaddr, camera);
    auto p = pool(4, 10000);
    ASSERT_TRUE(p->submit({camera_at(1), 1}));
    ASSERT_TRUE(p->submit({camera_at(2), 2}));
    ASSERT_TRUE(wait_for([&] { return settled() == 2; }));
    IdentityReading a = reading_of(1);
    EXPECT_EQ(IdentityState::known, a.state);
    EXPECT_EQ("02:0A:00:00:00:2A", a.mac);
    EXPECT_EQ("V5.7.3 build 240101", a.information.firmware_version);
    EXPECT_EQ("NVT-210", a.information.model);
    EXPECT_TRUE(a.dhcp);
    EXPECT_EQ(24, a.prefix_length);
    EXPECT_EQ("02:0A:00:00:00:2B", reading_of(2).mac);
    EXPECT_TRUE(wait_for([&] { return p->idle(); }));
}

TEST_F(IdentityPoolTest, RefusalsSilenceAndOddAnswersSettleWithTheirReason) {
    FakeCamera refused;
    refused.login = onvif::Status::AuthRefused;
    cameras.set(camera_at(1).xaddr, refused);
    FakeCamera silent;
    silent.clock = onvif::Status::Unreachable;
    cameras.set(camera_at(2).xaddr, silent);
    FakeCamera no_clock;  // will not tell its clock without a login: still read
    no_clock.clock = onvif::Status::NotSupported;
    cameras.set(camera_at(3).xaddr, no_clock);
    FakeCamera odd_mac;
    odd_mac.mac = "not a mac";
    cameras.set(camera_at(4).xaddr, odd_mac);
    auto p = pool(4, 10000);
    for (int n = 1; n <= 4; ++n) ASSERT_TRUE(p->submit({camera_at(n), 0}));
    ASSERT_TRUE(wait_for([&] { return settled() == 4; }));
    EXPECT_EQ(IdentityState::refused, reading_of(1).state);
    EXPECT_EQ("GetDeviceInformation: HTTP 401", reading_of(1).error);
    EXPECT_EQ(IdentityState::failed, reading_of(2).state);
    EXPECT_EQ("GetSystemDateAndTime: no answer", reading_of(2).error);
    EXPECT_EQ(IdentityState::known, reading_of(3).state);
    EXPECT_EQ(IdentityState::failed, reading_of(4).state);
    EXPECT_EQ("GetNetworkInterfaces: MAC \"not a mac\" not understood", reading_of(4).error);
}

TEST_F(IdentityPoolTest, NoMoreCamerasAreAskedAtOnceThanThePoolHasWorkers) {
    FakeCamera slow;
    slow.call_ms = 300;
    for (int n = 1; n <= 40; ++n) cameras.set(camera_at(n).xaddr, slow);
    auto p = pool(6, 10000);
    for (int n = 1; n <= 40; ++n) ASSERT_TRUE(p->submit({camera_at(n), 0}));
    ASSERT_TRUE(wait_for([&] { return settled() == 40; }, 20000));
    EXPECT_LE(cameras.count.most.load(), 6);
    EXPECT_GT(cameras.count.most.load(), 1);
    EXPECT_EQ(40, cameras.count.made.load());
    for (int n = 1; n <= 40; ++n) EXPECT_EQ(IdentityState::known, reading_of(n).state);
}

TEST_F(IdentityPoolTest, ASlowCameraIsReadWithinItsBudgetAndOnePastItTimesOut) {
    FakeCamera slow;
    slow.call_ms = 1000;  // three calls: 3 s
    cameras.set(camera_at(1).xaddr, slow);
    slow.call_ms = 5000;  // 15 s
    cameras.set(camera_at(2).xaddr, slow);
    auto p = pool(2, 10000);
    ASSERT_TRUE(p->submit({camera_at(1), 0}));
    ASSERT_TRUE(p->submit({camera_at(2), 0}));
    ASSERT_TRUE(wait_for([&] { return settled() == 2; }, 20000));
    EXPECT_EQ(IdentityState::known, reading_of(1).state);
    EXPECT_EQ(IdentityState::timed_out, reading_of(2).state);
    EXPECT_TRUE(reading_of(2).error.ends_with(": aborted")) << reading_of(2).error;
}

TEST_F(IdentityPoolTest, AStopEndsTheRunningCamerasAndReportsNone) {
    auto p = hanging(20, 8);
    p->stop();  // returns only once every hanging camera gave up
    EXPECT_EQ(0, cameras.count.open.load());
    EXPECT_EQ(0u, settled());
    EXPECT_FALSE(p->submit({camera_at(1), 0}));
}

TEST_F(IdentityPoolTest, ACancelDropsTheWaitingAndTheRunningAndThePoolGoesOn) {
    auto p = hanging(6, 2);
    p->cancel();
    ASSERT_TRUE(wait_for([&] { return p->idle(); }));
    EXPECT_EQ(2, cameras.count.made.load());
    EXPECT_EQ(0u, settled());
    ASSERT_TRUE(p->submit({camera_at(7), 0}));
    ASSERT_TRUE(wait_for([&] { return settled() == 1; }));
    EXPECT_EQ(IdentityState::known, reading_of(7).state);
}
