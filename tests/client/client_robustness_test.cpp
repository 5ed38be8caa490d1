// The library against devices that misbehave: hung, killed, garbage, wrong
// lengths, floods; and against callers that share a handle between threads.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "client/event_dispatcher.h"
#include "client/kaltro_abort.h"
#include "client/login_auth.h"
#include "client/protocol.h"
#include "client/socket_io.h"
#include "tests/client/sim_fixture.h"

namespace {

using namespace kaltro;
using RobustnessTest = SimFixture;

// A scripted device on 127.0.0.1: logs anybody in, then answers each frame
// with whatever `script` returns (nothing for an empty vector).
class FakeDevice {
public:
    using Script = std::function<std::vector<std::uint8_t>(const FrameView&)>;

    explicit FakeDevice(Script script) : m_script(std::move(script)) {
        m_listen = listen_tcp("127.0.0.1", 0);
        sockaddr_in addr{};
        socklen_t len = sizeof(addr);
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len);
        m_port = ntohs(addr.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
    ~FakeDevice() {
        m_stop = true;
        m_thread.join();
        close(m_listen);
    }
    int port() const { return m_port; }

    // A device that knows the password "tovik" and logs "Admin" in, proving
    // the password in turn; its nonce is all ones.
    static std::vector<std::uint8_t> login_ok(const FrameView& f) {
        Nonce device_nonce;
        device_nonce.fill(1);
        std::vector<std::uint8_t> answer(device_nonce.begin(), device_nonce.end());
        if (f.header.type == MSG_LOGIN_PROOF) {
            Nonce client_nonce{};
            if (f.header.length >= kNonceSize) std::copy(f.payload, f.payload + kNonceSize, client_nonce.begin());
            Proof proof = device_proof("tovik", client_nonce, device_nonce, "Admin");
            answer.assign(proof.begin(), proof.end());
        }
        return encode_frame(f.header.type | kResponseBit, f.header.request_id, 0, answer);
    }

private:
    void serve() {
        while (!m_stop) {
            if (wait_readable(m_listen, 100) <= 0) continue;
            int fd = accept(m_listen, nullptr, nullptr);
            if (fd < 0) continue;
            set_nonblocking(fd);
            FrameReader reader;
            while (!m_stop) {
                int ready = wait_readable(fd, 100);
                if (ready < 0) break;
                if (ready == 0) continue;
                std::uint8_t buffer[70000];
                long n = read_some(fd, buffer, sizeof buffer);
                if (n == -2) continue;
                bool closed = false;
                if (n <= 0 || !reader.consume(buffer, static_cast<std::size_t>(n), [&](const FrameView& frame) {
                        std::vector<std::uint8_t> reply = m_script(frame);
                        closed = reply.size() == 1;  // one byte: the script wants the line cut
                        if (reply.size() > 1) send_all(fd, reply.data(), reply.size(), rt_clock_ms() + 5000);
                        return !closed;
                    }))
                    break;
                if (closed) break;
            }
            close(fd);
        }
    }

    Script m_script;
    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

std::vector<std::uint8_t> bytes_of(const char* text) { return std::vector<std::uint8_t>(text, text + std::strlen(text)); }

int32_t login_to(const FakeDevice& device, int32_t& handle) {
    return Network_ClientLogin(&handle, "127.0.0.1", device.port(), "Admin", "tovik");
}

TEST_F(RobustnessTest, GarbageFromTheDeviceIsRefused) {
    int32_t handle = 0;
    FakeDevice junk([](const FrameView&) { return bytes_of("HTTP/1.1 400 Bad Request\r\n\r\nnot a camera at all"); });
    EXPECT_EQ(login_to(junk, handle), NETWORK_ERR_PROTOCOL);
    EXPECT_EQ(handle, -1);
    FakeDevice huge([](const FrameView& f) {
        std::vector<std::uint8_t> frame = encode_frame(f.header.type | kResponseBit, f.header.request_id, 0, {});
        store_u32(frame.data() + 16, 0x7FFFFFFF);  // announces 2 GiB
        return frame;
    });
    EXPECT_EQ(login_to(huge, handle), NETWORK_ERR_PROTOCOL);
    FakeDevice wrong_version([](const FrameView& f) {
        std::vector<std::uint8_t> frame = encode_frame(f.header.type | kResponseBit, f.header.request_id, 0, {});
        frame[4] = 9;
        return frame;
    });
    EXPECT_EQ(login_to(wrong_version, handle), NETWORK_ERR_PROTOCOL);
    FakeDevice short_nonce([](const FrameView& f) {
        return encode_frame(f.header.type | kResponseBit, f.header.request_id, 0, {1, 2, 3});
    });
    EXPECT_EQ(login_to(short_nonce, handle), NETWORK_ERR_PROTOCOL);
}

TEST_F(RobustnessTest, DeviceThatClosesMidFrameOrNeverAnswers) {
    int32_t handle = 0;
    FakeDevice cut([](const FrameView&) { return std::vector<std::uint8_t>{0}; });
    EXPECT_EQ(login_to(cut, handle), NETWORK_ERR_NETWORK);
    FakeDevice silent([](const FrameView&) { return std::vector<std::uint8_t>{}; });
    std::int64_t start = rt_clock_ms();
    EXPECT_EQ(login_to(silent, handle), NETWORK_ERR_TIMEOUT);
    EXPECT_LT(rt_clock_ms() - start, 30000);
    // A flood of frames nobody asked for does not answer the login either.
    FakeDevice flood([](const FrameView&) {
        std::vector<std::uint8_t> many;
        for (int i = 0; i < 2000; ++i) {
            auto one = encode_frame(MSG_KEEPALIVE | kResponseBit, 0, 0, std::vector<std::uint8_t>(100, 7));
            many.insert(many.end(), one.begin(), one.end());
        }
        return many;
    });
    EXPECT_EQ(login_to(flood, handle), NETWORK_ERR_TIMEOUT);
}

TEST_F(RobustnessTest, WrongRecordLengthsAreRefusedUncopied) {
    FakeDevice device([](const FrameView& f) {
        if (f.header.type == MSG_LOGIN_BEGIN || f.header.type == MSG_LOGIN_PROOF) return FakeDevice::login_ok(f);
        return encode_frame(f.header.type | kResponseBit, f.header.request_id, 0, std::vector<std::uint8_t>(10, 0xEE));
    });
    int32_t handle = -1;
    ASSERT_EQ(login_to(device, handle), NETWORK_OK);
    IPC_DEVICE_INFO info{};
    EXPECT_EQ(Network_ClientGetDeviceConfig(handle, NETWORK_CMD_GET_DEVICE_INFO, 0, &info, sizeof(info)),
              NETWORK_ERR_PROTOCOL);
    EXPECT_EQ(info.mac[0], 0);
    CAMERA_ADVANCE_CONFIG cap{};
    EXPECT_EQ(Network_ClientGetCameraAdvanceConfig(handle, 0, &cap, 64), NETWORK_ERR_PROTOCOL);
    Network_ClientLogout(handle);
}

TEST_F(RobustnessTest, UnterminatedTextsComeBackTerminated) {
    FakeDevice device([](const FrameView& f) {
        if (f.header.type == MSG_LOGIN_BEGIN || f.header.type == MSG_LOGIN_PROOF) return FakeDevice::login_ok(f);
        return encode_frame(f.header.type | kResponseBit, f.header.request_id, 0,
                            std::vector<std::uint8_t>(sizeof(IPC_DEVICE_INFO), 'A'));
    });
    int32_t handle = -1;
    ASSERT_EQ(login_to(device, handle), NETWORK_OK);
    IPC_DEVICE_INFO info{};
    ASSERT_EQ(Network_ClientGetDeviceConfig(handle, NETWORK_CMD_GET_DEVICE_INFO, 0, &info, sizeof(info)), NETWORK_OK);
    EXPECT_EQ(std::strlen(info.uid), sizeof(info.uid) - 1);
    EXPECT_EQ(std::strlen(info.qrcode), sizeof(info.qrcode) - 1);
    Network_ClientLogout(handle);
}

TEST_F(RobustnessTest, HungDeviceTimesOutAndIsDisconnectedOnce) {
    start_cameras(1, [](DeviceSideOptions& o) { parse_device_faults("ignore_command=1000", o.faults["*"]); });
    int32_t h = login();
    EventLog events;
    Network_ClientSetEventCB(h, EventLog::callback, &events);
    DEVICE_TIME t{};
    std::int64_t start = rt_clock_ms();
    EXPECT_EQ(Network_ClientGetDeviceConfig(h, NETWORK_CMD_GET_TIME, 0, &t, sizeof(t)), NETWORK_ERR_TIMEOUT);
    EXPECT_LT(rt_clock_ms() - start, 30000);
    EXPECT_TRUE(wait_for([&] { return events.disconnects.load() == 1; }));
    EXPECT_EQ(Network_ClientIrcutControl(h, 1), NETWORK_ERR_NETWORK);
    Network_ClientLogout(h);
    EXPECT_EQ(events.disconnects.load(), 1);
}

TEST_F(RobustnessTest, KilledDeviceGivesOneDisconnectAndLoginWorksAfterwards) {
    start_cameras();
    int32_t h = login();
    int32_t quiet = login();  // logged out by the caller: no event for it
    EventLog events, quiet_events;
    Network_ClientSetEventCB(h, EventLog::callback, &events);
    Network_ClientSetEventCB(quiet, EventLog::callback, &quiet_events);
    Network_ClientLogout(quiet);
    server().kill_connections();
    EXPECT_TRUE(wait_for([&] { return events.disconnects.load() == 1; }));
    rt_sleep_ms(1000);
    EXPECT_EQ(events.disconnects.load(), 1);
    EXPECT_EQ(quiet_events.disconnects.load(), 0);
    EXPECT_EQ(Network_ClientLogout(h), NETWORK_OK);
    int32_t again = login();
    EXPECT_EQ(Network_ClientIrcutControl(again, 0), NETWORK_OK);
    Network_ClientLogout(again);
}

TEST_F(RobustnessTest, DisconnectBeforeTheCallbackIsKeptForIt) {
    start_cameras();
    int32_t h = login();
    server().kill_connections();
    EXPECT_TRUE(wait_for([&] { return Network_ClientIrcutControl(h, 1) == NETWORK_ERR_NETWORK; }));
    rt_sleep_ms(200);
    EventLog events;
    Network_ClientSetEventCB(h, EventLog::callback, &events);
    EXPECT_TRUE(wait_for([&] { return events.disconnects.load() == 1; }));
    Network_ClientLogout(h);
}

struct SelfLogout {
    std::atomic<int> calls{0};
    static int32_t callback(int32_t handle, DEVICE_EVENT*, void* user) {
        static_cast<SelfLogout*>(user)->calls++;
        Network_ClientLogout(handle);  // from the library's own thread
        return 0;
    }
};

TEST_F(RobustnessTest, CallbackMayLogOutItsOwnLogin) {
    start_cameras();
    int32_t h = login();
    SelfLogout self;
    Network_ClientSetEventCB(h, SelfLogout::callback, &self);
    server().kill_connections();
    EXPECT_TRUE(wait_for([&] { return self.calls.load() == 1; }));
    EXPECT_TRUE(wait_for([&] { return Network_ClientLogout(h) == NETWORK_ERR_INVALID_HANDLE; }));
}

TEST_F(RobustnessTest, ConcurrentCallsOnOneHandle) {
    start_cameras();
    int32_t h = login();
    constexpr int kThreads = 8, kCalls = 40;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i) {
                IPC_DEVICE_INFO info{};
                if (Network_ClientPlayVoiceData_test(h, 1) != NETWORK_OK) failures++;
                if (Network_ClientGetDeviceConfig(h, NETWORK_CMD_GET_DEVICE_INFO, 0, &info, sizeof(info)) != NETWORK_OK ||
                    mac() != info.mac)
                    failures++;
                if (t == 0 && i == kCalls / 2) Network_ClientSetEventCB(h, nullptr, nullptr);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(state()["voice_tests"], kThreads * kCalls);
    Network_ClientLogout(h);
}

TEST_F(RobustnessTest, LogoutWhileOtherThreadsUseTheHandle) {
    start_cameras();
    int32_t h = login();
    std::atomic<bool> stop{false};
    std::vector<std::thread> users;
    for (int t = 0; t < 4; ++t)
        users.emplace_back([&] {
            while (!stop.load()) {
                int32_t r = Network_ClientLDRControl(h, NETWORK_CMD_MIC, 1);
                if (r == NETWORK_ERR_INVALID_HANDLE) return;
                EXPECT_TRUE(r == NETWORK_OK || r == NETWORK_ERR_NETWORK) << r;
            }
        });
    rt_sleep_ms(200);
    EXPECT_EQ(Network_ClientLogout(h), NETWORK_OK);
    for (auto& user : users) user.join();
    stop = true;
}

TEST_F(RobustnessTest, UnInitWithOpenLoginsAndTransfersReleasesEverything) {
    start_cameras();
    int32_t h = login();
    int32_t transfer = -1;
    ASSERT_EQ(Network_ClientStartUpgrade(&transfer, h, firmware("3.0.0", 16 * 1024 * 1024).c_str()), NETWORK_OK);
    Network_ClientUnInit();
    int32_t progress = 0;
    EXPECT_EQ(Network_ClientGetUpgradeStatus(transfer, &progress), NETWORK_ERR_INVALID_HANDLE);
    EXPECT_EQ(Network_ClientLogout(h), NETWORK_ERR_INVALID_HANDLE);
    Network_ClientInit();
    EXPECT_TRUE(wait_for([&] { return state()["sessions"] == 0; }));
}

}  // namespace

namespace {

// A callback that holds the library's event thread until released, and
// records what it was given.
struct HeldCallback {
    std::atomic<bool> released{false};
    std::mutex lock;
    std::vector<DEVICE_EVENT> seen;

    static int32_t callback(int32_t, DEVICE_EVENT* event, void* user) {
        auto* self = static_cast<HeldCallback*>(user);
        while (!self->released.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::lock_guard<std::mutex> guard(self->lock);
        self->seen.push_back(*event);
        return 0;
    }
    std::size_t count(std::int32_t main) {
        std::lock_guard<std::mutex> guard(lock);
        return std::count_if(seen.begin(), seen.end(), [main](const DEVICE_EVENT& e) { return e.main == main; });
    }
    std::size_t total() {
        std::lock_guard<std::mutex> guard(lock);
        return seen.size();
    }
};

std::vector<std::uint8_t> event_frames(int count, std::int32_t main, bool distinct) {
    std::vector<std::uint8_t> frames;
    for (int i = 0; i < count; ++i) {
        std::vector<std::uint8_t> one =
            encode_frame(MSG_EVENT, 0, 0, ByteWriter().i32(main).i32(distinct ? i : 0).i32(7).data());
        frames.insert(frames.end(), one.begin(), one.end());
    }
    return frames;
}

// Logs in, then answers the IR-cut request with `flood` ahead of its answer,
// and cuts the line at the voice test.
std::vector<std::uint8_t> flood_script(const FrameView& f, const std::vector<std::uint8_t>& flood) {
    if (f.header.type == MSG_LOGIN_BEGIN || f.header.type == MSG_LOGIN_PROOF) return FakeDevice::login_ok(f);
    if (f.header.type == MSG_VOICE_TEST) return {0};
    std::vector<std::uint8_t> out = f.header.type == MSG_IRCUT ? flood : std::vector<std::uint8_t>{};
    if (f.header.request_id != 0) {
        std::vector<std::uint8_t> answer = encode_frame(f.header.type | kResponseBit, f.header.request_id, 0, {});
        out.insert(out.end(), answer.begin(), answer.end());
    }
    return out;
}

}  // namespace

TEST_F(RobustnessTest, EventFloodStaysBoundedAndTheDisconnectStillComes) {
    // 20,000 different events while the callback is busy with the first.
    const std::vector<std::uint8_t> flood = event_frames(20000, 0x20001, true);
    FakeDevice flooder([&](const FrameView& f) { return flood_script(f, flood); });
    int32_t handle = -1;
    ASSERT_EQ(login_to(flooder, handle), NETWORK_OK);
    HeldCallback held;
    ASSERT_EQ(Network_ClientSetEventCB(handle, HeldCallback::callback, &held), NETWORK_OK);
    // Its answer follows the flood, so every event has reached the library.
    ASSERT_EQ(Network_ClientIrcutControl(handle, 1), NETWORK_OK);
    Network_ClientPlayVoiceData_test(handle, 1);  // the device cuts the line
    held.released = true;
    EXPECT_TRUE(wait_for([&] { return held.count(EVENT_DISCONNECTED) == 1; }));
    rt_sleep_ms(500);
    EXPECT_EQ(held.count(EVENT_DISCONNECTED), 1u);
    std::size_t delivered = held.count(0x20001);
    EXPECT_GE(delivered, 1u);
    EXPECT_LE(delivered, 1 + EventTarget::kMaxWaiting);
    {
        std::lock_guard<std::mutex> guard(held.lock);
        EXPECT_EQ(held.seen.back().main, EVENT_DISCONNECTED);  // after the events before it
    }
    Network_ClientLogout(handle);
}

TEST_F(RobustnessTest, RepeatedEventsAreMergedWhileTheyWait) {
    std::vector<std::uint8_t> flood = event_frames(1, 0x30001, true);  // taken at once, holds the callback
    for (int i = 0; i < 5000; ++i) {
        for (std::int32_t main : {0x30002, 0x30003}) {
            auto one = encode_frame(MSG_EVENT, 0, 0, ByteWriter().i32(main).i32(1).i32(2).data());
            flood.insert(flood.end(), one.begin(), one.end());
        }
    }
    FakeDevice flooder([&](const FrameView& f) { return flood_script(f, flood); });
    int32_t handle = -1;
    ASSERT_EQ(login_to(flooder, handle), NETWORK_OK);
    HeldCallback held;
    Network_ClientSetEventCB(handle, HeldCallback::callback, &held);
    ASSERT_EQ(Network_ClientIrcutControl(handle, 1), NETWORK_OK);
    held.released = true;
    EXPECT_TRUE(wait_for([&] { return held.count(0x30003) == 1; }));
    rt_sleep_ms(500);
    EXPECT_EQ(held.total(), 3u);
    EXPECT_EQ(held.count(0x30002), 1u);
    Network_ClientLogout(handle);
}

// Hosts that answer in a camera's place and accept any login: none of them
// can prove the password, so none is logged in.
TEST_F(RobustnessTest, DeviceThatCannotProveThePasswordIsRefused) {
    auto spoofer = [](std::function<std::vector<std::uint8_t>(const FrameView&)> proof_answer) {
        return [proof_answer](const FrameView& f) {
            if (f.header.type != MSG_LOGIN_PROOF) return FakeDevice::login_ok(f);
            return encode_frame(f.header.type | kResponseBit, f.header.request_id, 0, proof_answer(f));
        };
    };
    FakeDevice accepts_all(spoofer([](const FrameView&) { return std::vector<std::uint8_t>{}; }));
    FakeDevice random_proof(spoofer([](const FrameView&) { return std::vector<std::uint8_t>(kProofSize, 0x5A); }));
    // Sends the client's own proof back.
    FakeDevice reflector(spoofer([](const FrameView& f) {
        return std::vector<std::uint8_t>(f.payload + kNonceSize, f.payload + kNonceSize + kProofSize);
    }));
    FakeDevice long_answer(spoofer([](const FrameView& f) {
        std::vector<std::uint8_t> ok = FakeDevice::login_ok(f);
        std::vector<std::uint8_t> proof(ok.begin() + kHeaderSize, ok.end());
        proof.push_back(0);  // the right proof, one byte too many
        return proof;
    }));
    FakeDevice other_password(spoofer([](const FrameView& f) {
        Nonce device_nonce, client_nonce;
        device_nonce.fill(1);
        std::copy(f.payload, f.payload + kNonceSize, client_nonce.begin());
        Proof proof = device_proof("tovil", client_nonce, device_nonce, "Admin");
        return std::vector<std::uint8_t>(proof.begin(), proof.end());
    }));
    for (FakeDevice* device : {&accepts_all, &random_proof, &reflector, &long_answer, &other_password}) {
        int32_t handle = 0;
        EXPECT_EQ(login_to(*device, handle), NETWORK_ERR_PASSWORD) << device->port();
        EXPECT_EQ(handle, -1);
    }
    FakeDevice honest(FakeDevice::login_ok);
    int32_t handle = -1;
    EXPECT_EQ(login_to(honest, handle), NETWORK_OK);
    Network_ClientLogout(handle);
}

namespace {
std::int32_t flag_set(void* flag) { return static_cast<std::atomic<int>*>(flag)->load(); }

// Runs `call` on a thread whose abort check is `stop`, raises `stop` after
// `after_ms` (runtime time) and returns the call's result.
int32_t call_then_stop(const std::function<int32_t()>& call, std::int64_t after_ms) {
    std::atomic<int> stop{0};
    int32_t result = -1;
    std::thread caller([&] {
        Network_ClientSetThreadAbortCB(flag_set, &stop);
        result = call();
        Network_ClientSetThreadAbortCB(nullptr, nullptr);
    });
    rt_sleep_ms(after_ms);
    stop = 1;
    caller.join();
    return result;
}
}  // namespace

// A timed-out call answers 7; one given up because its caller stopped answers
// 17, so the two tell apart which ended the wait.
TEST_F(RobustnessTest, StoppingCallerGetsItsThreadBackFromAHungDevice) {
    FakeDevice accepts_and_hangs([](const FrameView&) { return std::vector<std::uint8_t>{}; });
    int32_t handle = 0;
    EXPECT_EQ(call_then_stop([&] { return login_to(accepts_and_hangs, handle); }, 2000), NETWORK_ERR_NETWORK);
    EXPECT_EQ(handle, -1);

    start_cameras(1, [](DeviceSideOptions& o) { parse_device_faults("ignore_command=1000", o.faults["*"]); });
    int32_t h = login();
    EventLog events;
    Network_ClientSetEventCB(h, EventLog::callback, &events);
    DEVICE_TIME t{};
    EXPECT_EQ(call_then_stop([&] { return Network_ClientGetDeviceConfig(h, NETWORK_CMD_GET_TIME, 0, &t, sizeof t); },
                             2000),
              NETWORK_ERR_NETWORK);
    // The abandoned request closed the connection: its answer could only come to nobody.
    EXPECT_TRUE(wait_for([&] { return events.disconnects.load() == 1; }));
    Network_ClientLogout(h);
    // A thread without a check still waits the request's time out.
    int32_t again = login();
    EXPECT_EQ(Network_ClientGetDeviceConfig(again, NETWORK_CMD_GET_TIME, 0, &t, sizeof t), NETWORK_ERR_TIMEOUT);
    Network_ClientLogout(again);
}

TEST_F(RobustnessTest, StopUpgradeOfAStoppingCallerDoesNotWaitForTheDevice) {
    rt_set_time_speed(1);  // the stalled write's 10 s limit in real time, far above the stop
    // Takes the image's start, then reads no more until released: the
    // transfer's writes stall.
    std::atomic<bool> released{false};
    FakeDevice stalls([&](const FrameView& f) -> std::vector<std::uint8_t> {
        if (f.header.type == MSG_LOGIN_BEGIN || f.header.type == MSG_LOGIN_PROOF) return FakeDevice::login_ok(f);
        if (f.header.type == MSG_UPGRADE_BEGIN)
            return encode_frame(f.header.type | kResponseBit, f.header.request_id, 0, {});
        while (!released.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return {};
    });
    int32_t handle = -1;
    ASSERT_EQ(login_to(stalls, handle), NETWORK_OK);
    int32_t transfer = -1;
    ASSERT_EQ(Network_ClientStartUpgrade(&transfer, handle, firmware("3.0.0", 64 * 1024 * 1024).c_str()), NETWORK_OK);
    rt_sleep_ms(1000);  // the socket buffers fill; the transfer's write waits
    std::atomic<int> stop{1};
    Network_ClientSetThreadAbortCB(flag_set, &stop);
    std::int64_t start = rt_clock_ms();
    EXPECT_EQ(Network_ClientStopUpgrade(transfer), NETWORK_OK);
    EXPECT_EQ(Network_ClientLogout(handle), NETWORK_OK);
    Network_ClientSetThreadAbortCB(nullptr, nullptr);
    EXPECT_LT(rt_clock_ms() - start, 5000);  // without the check: the rest of the write's 10 s
    released = true;
}
