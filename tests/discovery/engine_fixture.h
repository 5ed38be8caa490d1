#pragma once

// The discovery facade over the in-memory network: the callbacks it made, the
// datagrams it sent, replies arriving at the receive socket.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "discovery/discovery.h"
#include "discovery/xml_message.h"
#include "tests/runtime/trace_capture.h"
#include "runtime/rt_time.h"
#include "tests/discovery/fake_network.h"
#include "tests/discovery/reply_text.h"

namespace engine_fixture {

struct Report {
    DEV_INFO record;
    int is_new;
};

// Collects the facade's callbacks.
class Reports {
public:
    static int callback(DEV_INFO* record, int is_new, void* self) {
        auto* reports = static_cast<Reports*>(self);
        std::lock_guard<std::mutex> guard(reports->m_lock);
        reports->m_list.push_back({*record, is_new});
        return 0;
    }
    std::vector<Report> list() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_list;
    }
    std::size_t size() const { return list().size(); }

private:
    mutable std::mutex m_lock;
    std::vector<Report> m_list;
};

inline std::string body_of(const std::string& datagram) { return datagram.substr(PACKET_HEAD_SIZE); }

inline std::string read_file(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class EngineTest : public testing::Test {
protected:
    void SetUp() override {
        rt_set_time_speed(100);
        std::string base = testing::TempDir() + "disc_" + testing::UnitTest::GetInstance()->current_test_info()->name();
        options.send_log = base + "_send.txt";
        options.recv_log = base + "_recv.txt";
    }
    void TearDown() override { rt_set_time_speed(1); }

    void start(std::int32_t interval = 2147483647) {
        discovery = std::make_unique<CDiscovery>(&network, options);
        ASSERT_EQ(0, discovery->StartDiscovery(0, interval));
        ASSERT_EQ(0, discovery->SetDiscoveryCB(&Reports::callback, &reports));
    }
    // A reply arriving at the receive socket.
    void reply(const std::string& source, const std::string& datagram) {
        ASSERT_TRUE(network.deliver(source, "192.168.1.20", 12000, datagram));
    }
    std::vector<DEV_INFO> listed() {
        std::vector<DEV_INFO> list;
        int count = 0;
        discovery->GetDeviceList(&list, &count);
        EXPECT_EQ(static_cast<int>(list.size()), count);
        return list;
    }
    std::vector<FakeNetwork::Datagram> requests_sent(std::uint32_t command) {
        std::vector<FakeNetwork::Datagram> out;
        for (const auto& d : network.sent()) {
            PACKET_HEAD head;
            std::memcpy(&head, d.bytes.data(), sizeof head);
            each_ntohl(&head);
            if (head.command == command) out.push_back(d);
        }
        return out;
    }

    // Declared before the engine, so it outlives the engine's threads: a
    // capture that ends while they still trace would be written after its end.
    TraceCapture trace;
    FakeNetwork network;
    DiscoveryOptions options;
    Reports reports;
    std::unique_ptr<CDiscovery> discovery;
};

}  // namespace engine_fixture

using namespace engine_fixture;
