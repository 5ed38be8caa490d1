// Live video end to end: a simulated camera streams, the library decodes and
// delivers pictures to a registered video target, live commands reach the
// camera, and stopping ends delivery.

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "client/kaltro_live.h"
#include "client/live_decoder.h"
#include "sim/live_picture.h"
#include "tests/client/sim_fixture.h"

namespace {

struct FrameSink {
    std::atomic<int> frames{0};
    std::mutex lock;
    KALTRO_VIDEO_FRAME last{};
    std::uint32_t centre_pixel = 0;

    static void callback(std::uint32_t, const KALTRO_VIDEO_FRAME* frame, void* user) {
        auto* sink = static_cast<FrameSink*>(user);
        std::lock_guard<std::mutex> guard(sink->lock);
        sink->last = *frame;
        sink->last.pixels = nullptr;  // valid only during the call
        const std::uint8_t* p = frame->pixels + (frame->height / 2) * frame->stride + (frame->width / 2) * 4;
        std::memcpy(&sink->centre_pixel, p, 4);
        sink->frames++;
    }
    KALTRO_VIDEO_FRAME snapshot() {
        std::lock_guard<std::mutex> guard(lock);
        return last;
    }
};

class LiveVideo : public SimFixture {
protected:
    void SetUp() override {
        SimFixture::SetUp();
        ASSERT_EQ(Network_ClientRegisterVideoTarget(&m_target, &FrameSink::callback, &m_sink), NETWORK_OK);
    }
    void TearDown() override {
        Network_ClientUnregisterVideoTarget(m_target);
        SimFixture::TearDown();
    }
    std::int32_t start_live(std::int32_t login) {
        LIVE_PARAM param{0, m_target, 2};
        std::int32_t live = -1;
        EXPECT_EQ(Network_ClientStartLive(&live, login, &param, nullptr, nullptr), NETWORK_OK);
        EXPECT_NE(live, -1);
        return live;
    }
    bool frames_reach(int count) {
        return wait_for([&] { return m_sink.frames.load() >= count; }, 100000);
    }

    std::uint32_t m_target = 0;
    FrameSink m_sink;
};

}  // namespace

TEST_F(LiveVideo, PicturesReachTheTargetWhole) {
    start_cameras();
    const std::int32_t handle = login();
    const std::int32_t live = start_live(handle);
    ASSERT_TRUE(frames_reach(3));
    const KALTRO_VIDEO_FRAME frame = m_sink.snapshot();
    EXPECT_EQ(frame.width, 640);
    EXPECT_EQ(frame.height, 360);
    EXPECT_EQ(frame.stride, 640 * 4);
    EXPECT_EQ(frame.crop_width, 640);
    EXPECT_EQ(frame.crop_height, 360);
    EXPECT_EQ(state()["live"]["streams_running"], 1);

    // A client that only watches sends nothing for minutes; the camera keeps it.
    rt_sleep_ms(90000);
    const int before = m_sink.frames.load();
    ASSERT_TRUE(frames_reach(before + 2));
    EXPECT_EQ(state()["sessions"], 1);

    EXPECT_EQ(Network_ClientStopLive(live), NETWORK_OK);
    EXPECT_EQ(Network_ClientStopLive(live), NETWORK_ERR_INVALID_HANDLE);
    EXPECT_TRUE(wait_for([&] { return state()["live"]["streams_running"] == 0; }));
    const int after_stop = m_sink.frames.load();
    rt_sleep_ms(2000);
    EXPECT_EQ(m_sink.frames.load(), after_stop);
    Network_ClientLogout(handle);
}

TEST_F(LiveVideo, LiveCommands) {
    start_cameras();
    const std::int32_t handle = login();
    const std::int32_t live = start_live(handle);
    EXPECT_EQ(Network_ClientLiveControl(live, LIVE_CTRL_MIC_TEST_START, nullptr), NETWORK_OK);
    EXPECT_EQ(state()["live"]["mic_test_on"], true);
    EXPECT_EQ(Network_ClientLiveControl(live, LIVE_CTRL_MIC_TEST_STOP, nullptr), NETWORK_OK);
    EXPECT_EQ(state()["live"]["mic_test_on"], false);
    EXPECT_EQ(state()["live"]["mic_tests_started"], 1);

    // 5x zoom about the centre of a 400 x 200 area shows the middle fifth.
    ASSERT_EQ(Network_ClientSetVideoTargetSize(m_target, 400, 200), NETWORK_OK);
    ZOOM_PARAM zoom{1000, 200, 100};
    EXPECT_EQ(Network_ClientLiveControl(live, LIVE_CTRL_ZOOM, &zoom), NETWORK_OK);
    const int seen = m_sink.frames.load();
    ASSERT_TRUE(frames_reach(seen + 2));
    KALTRO_VIDEO_FRAME frame = m_sink.snapshot();
    EXPECT_EQ(frame.crop_width, 128);
    EXPECT_EQ(frame.crop_height, 72);
    EXPECT_EQ(frame.crop_x, 256);
    EXPECT_EQ(frame.crop_y, 144);

    // A target id given later with command 6 redirects the pictures.
    std::uint32_t none = 0;
    EXPECT_EQ(Network_ClientLiveControl(live, LIVE_CTRL_VIDEO_TARGET, &none), NETWORK_OK);
    EXPECT_EQ(Network_ClientLiveControl(live, 99, nullptr), NETWORK_ERR_NOT_SUPPORTED);
    EXPECT_EQ(Network_ClientLiveControl(live, LIVE_CTRL_ZOOM, nullptr), NETWORK_ERR_INVALID_ARG);
    EXPECT_EQ(Network_ClientLiveControl(-1, LIVE_CTRL_MIC_TEST_STOP, nullptr), NETWORK_ERR_INVALID_HANDLE);
    Network_ClientStopLive(live);
    Network_ClientLogout(handle);
}

TEST_F(LiveVideo, LogoutEndsTheStreamAndStopStaysSafe) {
    start_cameras();
    const std::int32_t handle = login();
    const std::int32_t live = start_live(handle);
    ASSERT_TRUE(frames_reach(1));
    Network_ClientLogout(handle);
    EXPECT_TRUE(wait_for([&] { return state()["live"]["streams_running"] == 0; }));
    // The live handle outlives its login; stopping it is harmless.
    EXPECT_EQ(Network_ClientStopLive(live), NETWORK_OK);
}

TEST(LiveTargets, UnregisterAndBadArguments) {
    std::uint32_t target = 0;
    EXPECT_EQ(Network_ClientRegisterVideoTarget(&target, nullptr, nullptr), NETWORK_ERR_INVALID_ARG);
    ASSERT_EQ(Network_ClientRegisterVideoTarget(&target, &FrameSink::callback, nullptr), NETWORK_OK);
    EXPECT_NE(target, 0u);
    EXPECT_EQ(Network_ClientSetVideoTargetSize(target, -1, 5), NETWORK_ERR_INVALID_ARG);
    EXPECT_EQ(Network_ClientUnregisterVideoTarget(target), NETWORK_OK);
    EXPECT_EQ(Network_ClientUnregisterVideoTarget(target), NETWORK_ERR_INVALID_HANDLE);
    LIVE_PARAM param{0, 0, 2};
    std::int32_t live = 7;
    EXPECT_EQ(Network_ClientStartLive(&live, -1, &param, nullptr, nullptr), NETWORK_ERR_INVALID_HANDLE);
    EXPECT_EQ(live, -1);
}

TEST(LiveDecoder, RejectsBrokenAndMismatchedPictures) {
    LivePicture picture({64, 32});
    const std::vector<std::uint8_t> jpeg = picture.render_jpeg(0, "02:00:00:00:00:01", "12:00:00.000");
    ASSERT_FALSE(jpeg.empty());
    kaltro::JpegDecoder decoder;
    std::vector<std::uint8_t> pixels;
    EXPECT_TRUE(decoder.decode(jpeg.data(), jpeg.size(), 64, 32, pixels));
    EXPECT_EQ(pixels.size(), 64u * 32u * 4u);
    EXPECT_FALSE(decoder.decode(jpeg.data(), jpeg.size(), 640, 360, pixels));  // not the announced size
    EXPECT_FALSE(decoder.decode(jpeg.data(), jpeg.size() / 3, 64, 32, pixels));
    std::vector<std::uint8_t> junk(200, 0xAB);
    EXPECT_FALSE(decoder.decode(junk.data(), junk.size(), 64, 32, pixels));
}

TEST(LiveZoom, CutOutStaysInsideThePicture) {
    const kaltro::TargetSize area{400, 200};
    EXPECT_EQ(kaltro::zoom_crop({0, 200, 100}, 640, 360, area).width, 640);
    EXPECT_EQ(kaltro::zoom_crop({200, 200, 100}, 640, 360, area).width, 640);  // "1x"
    const kaltro::CropRect corner = kaltro::zoom_crop({1000, 399, 0}, 640, 360, area);
    EXPECT_EQ(corner.x + corner.width, 640);
    EXPECT_EQ(corner.y, 0);
    const kaltro::CropRect unknown_area = kaltro::zoom_crop({1000, 5, 5}, 640, 360, {});
    EXPECT_EQ(unknown_area.x, 256);  // the picture's centre
}
