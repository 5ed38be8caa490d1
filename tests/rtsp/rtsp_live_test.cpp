// RTSP live video end to end on loopback: the simulator's server streams the
// test picture, the client logs in, decodes and delivers to a video target;
// faults of the stream end it with their state and stop the delivery.

#include "tests/rtsp/rtsp_fixture.h"

using rtsp::LiveState;

TEST_F(RtspFixture, PicturesArriveWithAMovingClockAndStopSendsTeardown) {
    const std::string uri = serve(1);
    EXPECT_EQ(uri.rfind("rtsp://" + address(1) + ":", 0), 0u);
    rtsp::RtspLive& live = watch(uri, 1);
    ASSERT_TRUE(pictures_over(14));
    EXPECT_EQ(live.state(), LiveState::playing);
    {
        std::lock_guard<std::mutex> guard(m_seen.lock);
        EXPECT_EQ(m_seen.width, 640);
        EXPECT_EQ(m_seen.height, 360);
        EXPECT_TRUE(m_seen.opaque);
        EXPECT_EQ(m_seen.without_time_code, 0);  // every picture whole, its clock readable
        EXPECT_GT(m_seen.last_code, m_seen.first_code);
    }
    EXPECT_EQ(log(1)->plays.load(), 1);
    EXPECT_GE(log(1)->refused.load(), 1);  // the login probe and FFmpeg's first try go without a login

    live.stop();
    EXPECT_EQ(live.state(), LiveState::stopped);
    EXPECT_TRUE(wait_until([&] { return log(1)->teardowns.load() == 1; }));
    EXPECT_TRUE(wait_until([&] { return log(1)->streams_running.load() == 0; }));
    EXPECT_EQ(m_seen.end_count(), 1);
    const int after_stop = m_seen.picture_count();
    rt_sleep_ms(300);
    EXPECT_EQ(m_seen.picture_count(), after_stop);
    const rtsp::LiveCounts counts = live.counts();
    EXPECT_EQ(counts.delivered, static_cast<std::uint32_t>(after_stop));
    EXPECT_EQ(counts.broken, 0u);
}

TEST_F(RtspFixture, H265PicturesArriveToo) {
    const std::string uri = serve(1, {}, "s3cret:@ /%", RtspCodec::h265);  // starts GStreamer
    GstElementFactory* encoder = gst_element_factory_find("x265enc");
    if (!encoder) GTEST_SKIP() << "no x265enc (gstreamer1.0-plugins-bad)";
    gst_object_unref(encoder);
    watch(uri, 1);
    ASSERT_TRUE(pictures_over(9));
    std::lock_guard<std::mutex> guard(m_seen.lock);
    EXPECT_EQ(m_seen.without_time_code, 0);
    EXPECT_GT(m_seen.last_code, m_seen.first_code);
}

TEST_F(RtspFixture, WrongPasswordIsRefusedAndNothingPlays) {
    rtsp::RtspLive& live = watch(serve(1), 1, "wrong");
    EXPECT_TRUE(ends_as(LiveState::login_refused));
    EXPECT_EQ(m_seen.picture_count(), 0);
    EXPECT_GE(log(1)->refused.load(), 2);
    EXPECT_EQ(log(1)->plays.load(), 0);
    EXPECT_EQ(live.counts().packets, 0u);
}

TEST_F(RtspFixture, StallEndsTheStreamAndTheDelivery) {
    rtsp::RtspLive& live = watch(serve(1, {RtspFault::Kind::stall, 800}), 1, "s3cret:@ /%", 1000);
    ASSERT_TRUE(pictures_over(0));
    EXPECT_TRUE(ends_as(LiveState::stalled));
    const int at_end = m_seen.picture_count();
    EXPECT_EQ(m_seen.end_count(), 1);
    // The session was still up: the client closes it.
    EXPECT_TRUE(wait_until([&] { return log(1)->teardowns.load() == 1; }));
    live.stop();
    EXPECT_EQ(live.state(), LiveState::stalled);
    EXPECT_EQ(m_seen.picture_count(), at_end);
}

TEST_F(RtspFixture, UndecodableStreamIsReportedAndNotShown) {
    rtsp::RtspLive& live = watch(serve(1, {RtspFault::Kind::garbage, 800}), 1, "s3cret:@ /%", 1000);
    ASSERT_TRUE(pictures_over(0));
    EXPECT_TRUE(ends_as(LiveState::garbage));
    EXPECT_GT(live.counts().packets, live.counts().pictures);
    EXPECT_EQ(m_seen.end_count(), 1);
    std::lock_guard<std::mutex> guard(m_seen.lock);
    EXPECT_EQ(m_seen.without_time_code, 0);  // no patched-up picture reached the target
}

TEST_F(RtspFixture, EndOfStreamFromTheCamera) {
    watch(serve(1, {RtspFault::Kind::end, 800}), 1);
    ASSERT_TRUE(pictures_over(0));
    EXPECT_TRUE(ends_as(LiveState::ended));
    EXPECT_EQ(m_seen.end_count(), 1);
}

TEST_F(RtspFixture, CameraGoneMidStream) {
    watch(serve(1), 1);
    ASSERT_TRUE(pictures_over(0));
    EXPECT_TRUE(server().stop_stream(mac(1)));
    EXPECT_TRUE(ends_as(LiveState::ended));
    EXPECT_TRUE(wait_until([&] { return log(1)->streams_running.load() == 0; }));
}

TEST_F(RtspFixture, MovingToAnotherCameraTearsTheFirstDown) {
    const std::string first = serve(1), second = serve(2);
    watch(first, 1);
    ASSERT_TRUE(pictures_over(0));
    m_live.reset();  // what the bench does when it brings up another camera
    EXPECT_TRUE(wait_until([&] { return log(1)->teardowns.load() == 1; }));
    const int from_first = m_seen.picture_count();
    watch(second, 2);
    ASSERT_TRUE(pictures_over(from_first));
    EXPECT_EQ(log(2)->plays.load(), 1);
    EXPECT_EQ(log(1)->plays.load(), 1);
    EXPECT_EQ(m_live->state(), LiveState::playing);
}

TEST_F(RtspFixture, OnlyTheCamerasOwnAddressIsOpened) {
    const std::string uri = serve(1);
    watch(uri, 2);  // the URI names camera 1, the stream is camera 2's
    EXPECT_TRUE(ends_as(LiveState::foreign_host));
    watch("rtsp://camera.local/stream1", 1);
    EXPECT_TRUE(ends_as(LiveState::bad_uri));
    watch("http://" + address(1) + "/stream1", 1);
    EXPECT_TRUE(ends_as(LiveState::bad_uri));
    EXPECT_EQ(log(1)->describes.load() + log(1)->refused.load(), 0);  // nothing reached the camera
    EXPECT_EQ(m_seen.picture_count(), 0);
}

TEST_F(RtspFixture, NoSuchStreamAndNobodyListening) {
    const std::string uri = serve(1);
    watch(uri.substr(0, uri.rfind('/')) + "/other", 1);
    EXPECT_TRUE(ends_as(LiveState::not_found));
    server().stop_stream(mac(1));
    watch(uri, 1);
    EXPECT_TRUE(ends_as(LiveState::unreachable));
}
// Other clients (and cameras' usual peers) take RTP on UDP; GStreamer's own
// RTSP client stands in for them.
TEST_F(RtspFixture, UdpClientsAreServedToo) {
    const std::string uri = serve(1);
    GstElement* pipeline = gst_parse_launch(
        ("rtspsrc name=src protocols=udp user-id=Admin location=" + uri +
         " ! rtph264depay ! fakesink name=sink signal-handoffs=true")
            .c_str(),
        nullptr);
    ASSERT_NE(pipeline, nullptr);
    GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline), "src");
    g_object_set(source, "user-pw", "s3cret:@ /%", nullptr);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    std::atomic<int> buffers{0};
    g_signal_connect(sink, "handoff", G_CALLBACK(+[](GstElement*, GstBuffer*, GstPad*, gpointer count) {
                         (*static_cast<std::atomic<int>*>(count))++;
                     }),
                     &buffers);
    gst_element_set_state(pipeline, GST_STATE_PLAYING);
    EXPECT_TRUE(wait_until([&] { return buffers.load() >= 10; }));
    EXPECT_EQ(log(1)->plays.load(), 1);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    EXPECT_TRUE(wait_until([&] { return log(1)->teardowns.load() == 1; }));
    gst_object_unref(sink);
    gst_object_unref(source);
    gst_object_unref(pipeline);
}
