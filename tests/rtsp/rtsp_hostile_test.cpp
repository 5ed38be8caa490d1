// The RTSP client against cameras that misbehave before the stream: a
// clear-text login, a redirect elsewhere, silence.

#include "tests/rtsp/fake_rtsp_camera.h"
#include "tests/rtsp/rtsp_fixture.h"

using rtsp::LiveState;

namespace {

bool sent_a_login(const FakeRtspCamera& camera) {
    for (const std::string& request : camera.requests())
        if (request.find("Authorization:") != std::string::npos) return true;
    return false;
}

std::string uri_of(const FakeRtspCamera& camera, const std::string& address) {
    return "rtsp://" + address + ":" + std::to_string(camera.port()) + "/stream1";
}

}  // namespace

TEST_F(RtspFixture, ClearTextLoginIsNeverSent) {
    FakeRtspCamera camera(address(1), [](const std::string&, const std::string& cseq) {
        return FakeRtspCamera::reply("401 Unauthorized", cseq, "WWW-Authenticate: Basic realm=\"cam\"\r\n");
    });
    watch(uri_of(camera, address(1)), 1);
    EXPECT_TRUE(ends_as(LiveState::clear_text_only));
    EXPECT_FALSE(sent_a_login(camera));
}

TEST_F(RtspFixture, RedirectsAreNotFollowed) {
    FakeRtspCamera elsewhere(address(2), [](const std::string&, const std::string& cseq) {
        return FakeRtspCamera::reply("200 OK", cseq);
    });
    const std::string target = uri_of(elsewhere, address(2));
    // Asked without a login, the camera redirects at once.
    FakeRtspCamera at_once(address(1), [&](const std::string&, const std::string& cseq) {
        return FakeRtspCamera::reply("302 Found", cseq, "Location: " + target + "\r\n");
    });
    watch(uri_of(at_once, address(1)), 1);
    EXPECT_TRUE(ends_as(LiveState::redirected));

    // A camera that asks for a digest login first and redirects FFmpeg's
    // own requests: FFmpeg may not open a second connection.
    FakeRtspCamera later(address(3), [&](const std::string& method, const std::string& cseq) {
        if (method == "DESCRIBE")
            return FakeRtspCamera::reply("401 Unauthorized", cseq, "WWW-Authenticate: Digest realm=\"cam\", nonce=\"1\"\r\n");
        return FakeRtspCamera::reply("302 Found", cseq, "Location: " + target + "\r\n");
    });
    watch(uri_of(later, address(3)), 3);
    EXPECT_TRUE(wait_until([&] { return rtsp::live_state_final(m_live->state()); }));
    EXPECT_NE(m_live->state(), LiveState::playing);
    EXPECT_EQ(later.connections(), 2);  // the probe and FFmpeg
    EXPECT_EQ(elsewhere.connections(), 0);
}

TEST_F(RtspFixture, StopEndsAWaitForASilentCamera) {
    FakeRtspCamera silent(address(1), [](const std::string&, const std::string&) { return std::string(); });
    rtsp::RtspLive& live = watch(uri_of(silent, address(1)), 1);
    EXPECT_TRUE(wait_until([&] { return silent.connections() == 1; }));
    live.stop();
    EXPECT_EQ(live.state(), LiveState::stopped);
    EXPECT_EQ(m_seen.end_count(), 1);
}
